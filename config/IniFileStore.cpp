#include "config/IniFileStore.h"

#include "config/StoreSession.h"

#include <filesystem>

namespace {

constexpr const char* IniExtension = ".INI";
constexpr const char* ProgramLink = "/proc/self/exe";

std::filesystem::path ProgramFile() {
    std::error_code Error;
    return std::filesystem::read_symlink(ProgramLink, Error);
}

} // namespace

TIniFileStore::TIniFileStore(QObject* Owner) : TAbstractStore(Owner) {}

QString TIniFileStore::FileName() const {
    std::filesystem::path Name = FIniFileName.toStdString();
    if (Name.empty())
        Name = ProgramFile().filename().replace_extension(IniExtension);
    // Only the file's own name counts: a dot in a folder name is no extension.
    if (Name.filename().string().find('.') == std::string::npos)
        Name += IniExtension;
    if (FUseExeDir)
        Name = ProgramFile().parent_path() / Name.filename();
    return QString::fromStdString(Name.string());
}

void TIniFileStore::DoOpen() {
    FFile.emplace(FileName().toStdString());
}

void TIniFileStore::DoClose() {
    // Freed first, so that a failed write leaves the store closed.
    TProfileFile File = std::move(*FFile);
    FFile.reset();
    if (!FReadOnly)
        File.UpdateFile();
}

void TIniFileStore::DoAbandon() noexcept {
    FFile.reset();
}

QString TIniFileStore::ReadString(const QString& Section, const QString& Key,
                                  const QString& Default) {
    TStoreSession Session(*this);
    const auto Value =
        FFile->ReadString(Section.toStdString(), Key.toStdString(), Default.toStdString());
    Session.Close();
    return QString::fromStdString(Value);
}

void TIniFileStore::WriteString(const QString& Section, const QString& Key, const QString& Value) {
    TStoreSession::Run(*this, [&] {
        FFile->WriteString(Section.toStdString(), Key.toStdString(), Value.toStdString());
    });
}

void TIniFileStore::EraseSection(const QString& Section) {
    TStoreSession::Run(*this, [&] { FFile->EraseSection(Section.toStdString()); });
}
