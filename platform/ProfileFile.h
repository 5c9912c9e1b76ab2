#pragma once

#include "platform/Profile.h"

#include <string>
#include <string_view>

// One INI file read once and changed in memory, by the rules of the profile functions
// (Profile.h); UpdateFile writes it back in one atomic replace. The file is read at the
// first call that needs it, so that creating the object does not touch the disk.
class TProfileFile {
public:
    // FileName as the profile functions take it: a bare name lives in the configuration
    // folder.
    explicit TProfileFile(const std::string& FileName);

    // The file's path; empty when there is no home folder to resolve a bare name in.
    const std::string& Path() const { return FPath; }

    std::string ReadString(std::string_view Section, std::string_view Key,
                           std::string_view Default);
    // Raises "Unable to write to <path>" for text that cannot be one key line; the text in
    // memory is then unchanged.
    void WriteString(std::string_view Section, std::string_view Key, std::string_view Value);
    void EraseSection(std::string_view Section);

    // The text in memory differs from the file's as it was read.
    bool Modified() const { return FText != FOriginal; }
    // Writes the text in memory to the file when it differs from what was read; raises
    // "Unable to write to <path>" when it cannot, or when the file exists but could not be
    // read, since replacing it would lose what it holds. A failure leaves the file as it was.
    void UpdateFile();

private:
    void Load();

    std::string FFileName;
    std::string FPath;
    bool FLoaded = false;
    TReadStatus FStatus = TReadStatus::Missing;
    // A write or an erase was asked for, whether or not it changed the text.
    bool FChangeAsked = false;
    std::string FOriginal;
    std::string FText;
};
