#include "platform/Profile.h"

#include "platform/Errors.h"
#include "platform/ProfileFile.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* UnableToWriteText = "Unable to write to ";
constexpr const char* ConfigFolder = "/.config/";
constexpr const char* TempSuffix = ".tmp";
// Settings may hold personal choices; the folder gets the mode the XDG rules ask for, and
// a new file stays private to its owner.
constexpr mode_t NewFolderMode = 0700;
constexpr mode_t NewFileMode = 0600;
constexpr mode_t PermissionBits = 07777;
constexpr std::size_t FallbackPasswdBuffer = 16384;
constexpr std::size_t ReadBuffer = 65536;
// The kernel's own limit on the links it follows in one path.
constexpr int MaxLinks = 40;
// How long a write waits for another process's write of the same file, and how often it
// looks again. A write takes milliseconds; a holder that does not let go within the wait
// is stuck, and the settings are better reported unsaved than the program hung.
constexpr auto LockWait = std::chrono::seconds(2);
constexpr auto LockPoll = std::chrono::milliseconds(5);

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

void MakeFolders(const std::string& Path) {
    for (auto Slash = Path.find('/', 1); Slash != std::string::npos;
         Slash = Path.find('/', Slash + 1)) {
        const auto Folder = Path.substr(0, Slash);
        if (::mkdir(Folder.c_str(), NewFolderMode) != 0 && errno != EEXIST)
            UnableToWrite(Path, errno);
    }
}

std::string FolderOf(const std::string& Path) {
    const auto Slash = Path.rfind('/');
    if (Slash == std::string::npos)
        return ".";
    return Slash == 0 ? "/" : Path.substr(0, Slash);
}

// Where a write to Path lands. Replacing a symbolic link would cut the user's link, so a
// link is followed to the end of its chain, a relative target taken from the folder of the
// link that names it, and the target is written or created there. Refused, because there
// is nothing sound to write to: a chain that does not end (a loop), an end that is not a
// regular file (a folder, a device), and a missing target in a missing folder: folders are
// created only for the name we were given, never at the far end of someone's link.
std::string WriteTarget(const std::string& Path) {
    std::string Current = Path;
    for (int Hops = 0;; ++Hops) {
        struct stat Info {};
        if (::lstat(Current.c_str(), &Info) != 0) {
            if (errno != ENOENT)
                UnableToWrite(Path, errno);
            if (Hops == 0)
                MakeFolders(Current);
            return Current;
        }
        if (!S_ISLNK(Info.st_mode)) {
            if (!S_ISREG(Info.st_mode))
                UnableToWrite(Path, S_ISDIR(Info.st_mode) ? EISDIR : EINVAL);
            return Current;
        }
        if (Hops == MaxLinks)
            UnableToWrite(Path, ELOOP);
        std::string Target(PATH_MAX, '\0');
        const auto Length = ::readlink(Current.c_str(), Target.data(), Target.size());
        if (Length <= 0 || static_cast<std::size_t>(Length) == Target.size())
            UnableToWrite(Path, Length < 0 ? errno : ENAMETOOLONG);
        Target.resize(static_cast<std::size_t>(Length));
        Current = Target.front() == '/' ? Target : FolderOf(Current) + "/" + Target;
    }
}

// The temporary file, open and locked. It has one fixed name beside the target, so that
// the temporary file of a write that was killed is found and reused by the next write
// instead of staying behind. The lock keeps two processes from filling it at once, and
// dies with its holder.
int OpenTemporary(const std::string& TempName, const std::string& Path) {
    const auto Deadline = std::chrono::steady_clock::now() + LockWait;
    for (;;) {
        // Never through a link: the name must be a file of our own.
        const int File =
            ::open(TempName.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, NewFileMode);
        if (File < 0)
            UnableToWrite(Path, errno);
        if (::flock(File, LOCK_EX | LOCK_NB) == 0) {
            // While we waited, the holder may have renamed it into place: then the name
            // stands for another file, or for none.
            struct stat Opened {};
            struct stat Named {};
            const bool Current = ::fstat(File, &Opened) == 0 &&
                                 ::lstat(TempName.c_str(), &Named) == 0 &&
                                 Opened.st_dev == Named.st_dev && Opened.st_ino == Named.st_ino;
            if (Current && S_ISREG(Opened.st_mode) && Opened.st_nlink == 1 &&
                Opened.st_uid == ::geteuid())
                return File;
            ::close(File);
            if (Current) // someone else's file: neither ours to fill nor to put in place
                UnableToWrite(Path, EPERM);
        } else {
            const int Error = errno;
            ::close(File);
            if (Error != EWOULDBLOCK)
                UnableToWrite(Path, Error);
            std::this_thread::sleep_for(LockPoll);
        }
        if (std::chrono::steady_clock::now() >= Deadline)
            UnableToWrite(Path, EBUSY);
    }
}

} // namespace

void UnableToWrite(const std::string& Path, int Reason) {
    throw EInOutError(UnableToWriteText + Path, Reason);
}

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
    return TProfileFile(FileName).ReadString(Section, Key, Default);
}

void WritePrivateProfileString(const std::string& Section, const std::string& Key,
                               const std::string& Value, const std::string& FileName) {
    TProfileFile File(FileName);
    File.WriteString(Section, Key, Value);
    File.UpdateFile();
}

void EraseProfileSection(const std::string& Section, const std::string& FileName) {
    TProfileFile File(FileName);
    File.EraseSection(Section);
    File.UpdateFile();
}

TReadStatus ReadFileContents(const std::string& Path, std::string& Text) {
    Text.clear();
    // Not blocking, so that a pipe in place of the file does not wait for a writer.
    const int File = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (File < 0)
        return (errno == ENOENT || errno == ENOTDIR) ? TReadStatus::Missing : TReadStatus::Failed;
    const auto Finish = [&](TReadStatus Status) {
        ::close(File);
        if (Status != TReadStatus::Read)
            Text.clear();
        return Status;
    };
    struct stat Info {};
    if (::fstat(File, &Info) != 0 || !S_ISREG(Info.st_mode) ||
        static_cast<std::size_t>(Info.st_size) > ProfileSizeLimit)
        return Finish(TReadStatus::Failed);
    Text.reserve(static_cast<std::size_t>(Info.st_size));
    char Buffer[ReadBuffer];
    for (;;) {
        const auto Count = ::read(File, Buffer, sizeof Buffer);
        if (Count < 0 && errno == EINTR)
            continue;
        if (Count < 0)
            return Finish(TReadStatus::Failed);
        if (Count == 0)
            return Finish(TReadStatus::Read);
        Text.append(Buffer, static_cast<std::size_t>(Count));
        if (Text.size() > ProfileSizeLimit) // it grew while we read
            return Finish(TReadStatus::Failed);
    }
}

void ReplaceFileContents(const std::string& Path, const std::string& Text,
                         const TRenameFunction& Rename) {
    const auto Target = WriteTarget(Path);
    const auto TempName = Target + TempSuffix;
    const int File = OpenTemporary(TempName, Path);
    // Removed while the lock is still ours, so that no other writer is using it. Error is
    // the failed call's errno, taken before the clean-up can change it.
    const auto Fail = [&](int Error) {
        ::unlink(TempName.c_str());
        ::close(File);
        UnableToWrite(Path, Error);
    };
    // The new file keeps the old one's permissions.
    struct stat Old {};
    const mode_t Mode =
        ::stat(Target.c_str(), &Old) == 0 ? (Old.st_mode & PermissionBits) : NewFileMode;
    // A temporary file left by a killed write still holds its text.
    if (::ftruncate(File, 0) != 0 || ::fchmod(File, Mode) != 0)
        Fail(errno);
    std::size_t Done = 0;
    while (Done < Text.size()) {
        const auto Count = ::write(File, Text.data() + Done, Text.size() - Done);
        if (Count < 0 && errno == EINTR)
            continue;
        if (Count <= 0)
            Fail(Count < 0 ? errno : EIO);
        Done += static_cast<std::size_t>(Count);
    }
    // Flushed before the rename, so that a crash never finds the new name on empty data.
    if (::fsync(File) != 0)
        Fail(errno);
    const bool Renamed =
        Rename ? Rename(TempName, Target) : ::rename(TempName.c_str(), Target.c_str()) == 0;
    if (!Renamed)
        Fail(errno);
    // The data is flushed and in place; closing only lets go of the lock.
    ::close(File);
}
