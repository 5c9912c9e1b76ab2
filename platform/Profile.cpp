#include "platform/Profile.h"

#include "platform/Errors.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* UnableToWrite = "Unable to write to ";
constexpr const char* ConfigFolder = "/.config/";
constexpr const char* TempSuffix = ".XXXXXX";
// A carriage return without its line feed counts as a blank, so that a damaged line break
// never becomes part of a value.
constexpr std::string_view Blanks = " \t\r";
// Settings may hold personal choices; the folder gets the mode the XDG rules ask for.
constexpr mode_t NewFolderMode = 0700;
constexpr mode_t PermissionBits = 07777;
constexpr std::size_t FallbackPasswdBuffer = 16384;

[[noreturn]] void UnableToWriteTo(const std::string& Path) {
    throw EInOutError(UnableToWrite + Path);
}

std::string_view Trim(std::string_view Text) {
    const auto First = Text.find_first_not_of(Blanks);
    if (First == std::string_view::npos)
        return {};
    const auto Last = Text.find_last_not_of(Blanks);
    return Text.substr(First, Last - First + 1);
}

char Lower(char C) {
    return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C;
}

bool SameText(std::string_view A, std::string_view B) {
    return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(),
                                              [](char X, char Y) { return Lower(X) == Lower(Y); });
}

enum class TLineKind { Blank, Comment, Section, Key, Other };

struct TLine {
    std::size_t Begin; // first byte of the line
    std::size_t End;   // one past its last byte before the line break
    std::size_t Next;  // first byte of the following line
    TLineKind Kind;
    std::string_view Name; // section name or key
    std::string_view Value;
};

TLine Classify(std::string_view Text, std::size_t Begin, std::size_t End, std::size_t Next) {
    TLine Line{Begin, End, Next, TLineKind::Other, {}, {}};
    const auto Content = Trim(Text.substr(Begin, End - Begin));
    if (Content.empty()) {
        Line.Kind = TLineKind::Blank;
    } else if (Content.front() == ';') {
        Line.Kind = TLineKind::Comment;
    } else if (Content.front() == '[' && Content.find(']') != std::string_view::npos) {
        // A "[" without "]" is no header: the line stays an ordinary line of its section.
        Line.Kind = TLineKind::Section;
        Line.Name = Trim(Content.substr(1, Content.find(']') - 1));
    } else if (const auto Equals = Content.find('='); Equals != std::string_view::npos) {
        Line.Kind = TLineKind::Key;
        Line.Name = Trim(Content.substr(0, Equals));
        Line.Value = Trim(Content.substr(Equals + 1));
    }
    return Line;
}

std::vector<TLine> Parse(std::string_view Text) {
    std::vector<TLine> Lines;
    std::size_t Begin = 0;
    while (Begin < Text.size()) {
        const auto Break = Text.find('\n', Begin);
        const auto Next = Break == std::string_view::npos ? Text.size() : Break + 1;
        auto End = Break == std::string_view::npos ? Text.size() : Break;
        if (Break != std::string_view::npos && End > Begin && Text[End - 1] == '\r')
            --End;
        Lines.push_back(Classify(Text, Begin, End, Next));
        Begin = Next;
    }
    return Lines;
}

// Index of the first line of the first key named Key in a section named Section.
std::ptrdiff_t FindKey(const std::vector<TLine>& Lines, std::string_view Section,
                       std::string_view Key) {
    bool Inside = false; // keys before the first header belong to no section
    for (std::size_t I = 0; I < Lines.size(); ++I) {
        if (Lines[I].Kind == TLineKind::Section)
            Inside = SameText(Lines[I].Name, Section);
        else if (Inside && Lines[I].Kind == TLineKind::Key && SameText(Lines[I].Name, Key))
            return static_cast<std::ptrdiff_t>(I);
    }
    return -1;
}

std::ptrdiff_t FindSection(const std::vector<TLine>& Lines, std::string_view Section) {
    for (std::size_t I = 0; I < Lines.size(); ++I)
        if (Lines[I].Kind == TLineKind::Section && SameText(Lines[I].Name, Section))
            return static_cast<std::ptrdiff_t>(I);
    return -1;
}

// New keys go after the section's last line of substance, so that blank lines and comments
// that introduce the next section stay in front of it.
std::size_t LastLineOfSection(const std::vector<TLine>& Lines, std::size_t Header) {
    std::size_t Last = Header;
    for (std::size_t I = Header + 1; I < Lines.size() && Lines[I].Kind != TLineKind::Section; ++I)
        if (Lines[I].Kind != TLineKind::Blank && Lines[I].Kind != TLineKind::Comment)
            Last = I;
    return Last;
}

// Lines we add follow the file's own convention.
std::string LineBreakOf(std::string_view Text) {
    const auto Break = Text.find('\n');
    return (Break != std::string_view::npos && Break > 0 && Text[Break - 1] == '\r') ? "\r\n"
                                                                                     : "\n";
}

enum class TReadStatus { Read, Missing, Failed };

TReadStatus ReadWholeFile(const std::string& Path, std::string& Text) {
    Text.clear();
    const int File = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (File < 0)
        return (errno == ENOENT || errno == ENOTDIR) ? TReadStatus::Missing : TReadStatus::Failed;
    char Buffer[65536];
    for (;;) {
        const auto Count = ::read(File, Buffer, sizeof Buffer);
        if (Count < 0 && errno == EINTR)
            continue;
        if (Count < 0) {
            ::close(File);
            return TReadStatus::Failed;
        }
        if (Count == 0)
            break;
        Text.append(Buffer, static_cast<std::size_t>(Count));
    }
    ::close(File);
    return TReadStatus::Read;
}

// A name or value that would break the line structure cannot be stored faithfully; writing
// it anyway would plant a different key or section in the file.
bool Representable(std::string_view Section, std::string_view Key, std::string_view Value) {
    const auto Breaks = [](std::string_view S) { return S.find_first_of("\r\n") != S.npos; };
    if (Section.empty() || Breaks(Section) || Section.find(']') != Section.npos)
        return false;
    if (Key.empty() || Breaks(Key) || Key.find('=') != Key.npos || Key.front() == '[' ||
        Key.front() == ';')
        return false;
    return !Breaks(Value);
}

void MakeFolders(const std::string& Path) {
    for (auto Slash = Path.find('/', 1); Slash != std::string::npos;
         Slash = Path.find('/', Slash + 1)) {
        const auto Folder = Path.substr(0, Slash);
        if (::mkdir(Folder.c_str(), NewFolderMode) != 0 && errno != EEXIST)
            UnableToWriteTo(Path);
    }
}

std::string HomeFolder() {
    if (const char* Home = std::getenv("HOME"); Home && *Home)
        return Home;
    const long Suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> Buffer(Suggested > 0 ? static_cast<std::size_t>(Suggested)
                                           : FallbackPasswdBuffer);
    passwd Entry{};
    passwd* Found = nullptr;
    if (::getpwuid_r(::getuid(), &Entry, Buffer.data(), Buffer.size(), &Found) == 0 && Found &&
        Found->pw_dir)
        return Found->pw_dir;
    return {};
}

// Replacing a symbolic link would cut the user's link; write through it instead.
std::string ResolveLink(const std::string& Path) {
    struct stat Info {};
    if (::lstat(Path.c_str(), &Info) != 0 || !S_ISLNK(Info.st_mode))
        return Path;
    char Target[PATH_MAX];
    return ::realpath(Path.c_str(), Target) ? std::string(Target) : Path;
}

} // namespace

std::string ProfilePath(const std::string& FileName) {
    if (FileName.find('/') != std::string::npos)
        return FileName;
    // The XDG rules ignore a relative value.
    if (const char* Config = std::getenv("XDG_CONFIG_HOME"); Config && Config[0] == '/')
        return std::string(Config) + "/" + FileName;
    const auto Home = HomeFolder();
    return Home.empty() ? std::string() : Home + ConfigFolder + FileName;
}

std::string GetPrivateProfileString(const std::string& Section, const std::string& Key,
                                    const std::string& Default, const std::string& FileName) {
    const auto Limit = [](std::string_view S) {
        return std::string(S.substr(0, ProfileValueLength));
    };
    const auto Path = ProfilePath(FileName);
    std::string Text;
    if (Path.empty() || ReadWholeFile(Path, Text) != TReadStatus::Read)
        return Limit(Default);
    const auto Lines = Parse(Text);
    const auto Found = FindKey(Lines, Trim(Section), Trim(Key));
    return Found < 0 ? Limit(Default) : Limit(Lines[static_cast<std::size_t>(Found)].Value);
}

void WritePrivateProfileString(const std::string& Section, const std::string& Key,
                               const std::string& Value, const std::string& FileName) {
    const auto Path = ProfilePath(FileName);
    const auto SectionName = Trim(Section);
    const auto KeyName = Trim(Key);
    if (Path.empty())
        UnableToWriteTo(FileName);
    if (!Representable(SectionName, KeyName, Value))
        UnableToWriteTo(Path);
    std::string Text;
    const auto Status = ReadWholeFile(Path, Text);
    // A file we cannot read would be lost by writing a new one in its place.
    if (Status == TReadStatus::Failed)
        UnableToWriteTo(Path);

    const auto Lines = Parse(Text);
    const auto Break = LineBreakOf(Text);
    const auto KeyLine = std::string(KeyName) + "=" + Value;
    std::string NewText;
    if (const auto Found = FindKey(Lines, SectionName, KeyName); Found >= 0) {
        const auto& Line = Lines[static_cast<std::size_t>(Found)];
        if (Line.Value == Value && Line.Name == KeyName)
            return; // nothing would change; spare the disk
        NewText = Text.substr(0, Line.Begin) + KeyLine + Text.substr(Line.End);
    } else if (const auto Header = FindSection(Lines, SectionName); Header >= 0) {
        const auto& Last = Lines[LastLineOfSection(Lines, static_cast<std::size_t>(Header))];
        const bool Broken = Last.Next > Last.End; // the line has its line break
        NewText = Text.substr(0, Last.Next) + (Broken ? "" : Break) + KeyLine + Break +
                  Text.substr(Last.Next);
    } else {
        const bool Open = !Text.empty() && Text.back() != '\n';
        NewText = Text + (Open ? Break : "") + "[" + std::string(SectionName) + "]" + Break +
                  KeyLine + Break;
    }
    if (Status == TReadStatus::Missing)
        MakeFolders(Path);
    ReplaceFileContents(Path, NewText);
}

void EraseProfileSection(const std::string& Section, const std::string& FileName) {
    const auto Path = ProfilePath(FileName);
    if (Path.empty())
        UnableToWriteTo(FileName);
    std::string Text;
    const auto Status = ReadWholeFile(Path, Text);
    if (Status == TReadStatus::Missing)
        return;
    if (Status == TReadStatus::Failed)
        UnableToWriteTo(Path);
    const auto Lines = Parse(Text);
    const auto SectionName = Trim(Section);
    std::string NewText;
    bool Dropping = false;
    for (const auto& Line : Lines) {
        if (Line.Kind == TLineKind::Section)
            Dropping = SameText(Line.Name, SectionName);
        if (!Dropping)
            NewText.append(Text, Line.Begin, Line.Next - Line.Begin);
    }
    if (NewText != Text)
        ReplaceFileContents(Path, NewText);
}

void ReplaceFileContents(const std::string& Path, const std::string& Text,
                         const TRenameFunction& Rename) {
    const auto Target = ResolveLink(Path);
    std::string TempName = Target + TempSuffix;
    const int File = ::mkstemp(TempName.data());
    if (File < 0)
        UnableToWriteTo(Path);
    const auto Fail = [&](bool Open) {
        if (Open)
            ::close(File);
        ::unlink(TempName.c_str());
        UnableToWriteTo(Path);
    };
    // The new file keeps the old one's permissions; a new file stays private to its owner.
    if (struct stat Old{}; ::stat(Target.c_str(), &Old) == 0)
        ::fchmod(File, Old.st_mode & PermissionBits);
    std::size_t Done = 0;
    while (Done < Text.size()) {
        const auto Count = ::write(File, Text.data() + Done, Text.size() - Done);
        if (Count < 0 && errno == EINTR)
            continue;
        if (Count <= 0)
            Fail(true);
        Done += static_cast<std::size_t>(Count);
    }
    // Flushed before the rename, so that a crash never finds the new name on empty data.
    if (::fsync(File) != 0)
        Fail(true);
    if (::close(File) != 0)
        Fail(false);
    const bool Renamed =
        Rename ? Rename(TempName, Target) : ::rename(TempName.c_str(), Target.c_str()) == 0;
    if (!Renamed)
        Fail(false);
}
