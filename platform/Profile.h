#pragma once

#include <cstddef>
#include <functional>
#include <string>

// Single-key access to INI text files, with the behaviour of the classic profile functions:
// section and key names match ignoring ASCII letter case, and everything a call does not
// address (other keys, comments, blank lines, junk) is kept byte for byte. Each call reads
// the file once and writes it at most once; TProfileFile (ProfileFile.h) does the same for
// any number of calls.

// A value read is cut to this many characters, the size the profile functions were always
// called with (a 2048-byte buffer including its terminator).
constexpr std::size_t ProfileValueLength = 2047;

// A settings file larger than this is damage, not settings: it is neither read nor
// replaced, so that reading it costs no time or memory and nothing of it is lost. None
// larger is written either.
constexpr std::size_t ProfileSizeLimit = 8 * 1024 * 1024;

// Where a bare file name lives: $XDG_CONFIG_HOME, else ~/.config. A name with a folder is
// taken as it stands. Empty when no home folder can be found at all.
std::string ProfilePath(const std::string& FileName);

// The value of Key in Section, trimmed of blanks; Default when the file, the section or the
// key is missing or the file cannot be read.
std::string GetPrivateProfileString(const std::string& Section, const std::string& Key,
                                    const std::string& Default, const std::string& FileName);

// Replaces Key where it stands, or appends it to its section, or appends the section to the
// file; creates the file and its folder when needed. Raises EInOutError "Unable to write to
// <path>" when the file cannot be written or the text cannot be expressed as one key line.
void WritePrivateProfileString(const std::string& Section, const std::string& Key,
                               const std::string& Value, const std::string& FileName);

// Removes every section of that name with all its lines. A missing file is left missing.
void EraseProfileSection(const std::string& Section, const std::string& FileName);

// Raises EInOutError "Unable to write to <Path>", with Reason (an errno value) when known.
[[noreturn]] void UnableToWrite(const std::string& Path, int Reason = 0);

enum class TReadStatus { Read, Missing, Failed };

// The whole contents of the file at Path. Failed for anything that is not a regular file
// (a folder, a pipe, a device) and for a file larger than ProfileSizeLimit; none of these
// is read, so that nothing can hang or fill the memory.
TReadStatus ReadFileContents(const std::string& Path, std::string& Text);

// Renames From over To; returns false (errno set) on failure, like ::rename.
using TRenameFunction = std::function<bool(const std::string& From, const std::string& To)>;

// Writes Text to a temporary file beside Path and renames it over Path, so that Path holds
// either its old or its new contents whenever the process dies. A symbolic link is written
// through; see docs/config.md for the links that are refused. Rename is a seam for tests.
void ReplaceFileContents(const std::string& Path, const std::string& Text,
                         const TRenameFunction& Rename = {});
