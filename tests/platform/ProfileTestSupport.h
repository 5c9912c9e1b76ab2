#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

// A private folder that XDG_CONFIG_HOME points at for the life of one test.
class TProfileFolder {
public:
    TProfileFolder() {
        std::string Pattern = (std::filesystem::temp_directory_path() / "ystrelo-XXXXXX").string();
        Path = ::mkdtemp(Pattern.data());
        if (const char* Old = std::getenv("XDG_CONFIG_HOME"))
            FOldConfig = Old;
        ::setenv("XDG_CONFIG_HOME", Path.c_str(), 1);
    }
    ~TProfileFolder() {
        if (FOldConfig)
            ::setenv("XDG_CONFIG_HOME", FOldConfig->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        std::error_code Ignored;
        std::filesystem::remove_all(Path, Ignored);
    }

    std::string File(const std::string& Name = "Ystrelo.ini") const { return Path + "/" + Name; }

    std::string Path;

private:
    std::optional<std::string> FOldConfig;
};

inline void WriteText(const std::string& Path, const std::string& Text) {
    std::ofstream(Path, std::ios::binary) << Text;
}

inline std::string ReadText(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

// The names in Folder, sorted.
inline std::vector<std::string> FolderEntries(const std::string& Folder) {
    std::vector<std::string> Names;
    for (const auto& Entry : std::filesystem::directory_iterator(Folder))
        Names.push_back(Entry.path().filename().string());
    std::sort(Names.begin(), Names.end());
    return Names;
}
