#pragma once

#include "config/AbstractStore.h"
#include "platform/ProfileFile.h"

#include <optional>

// Keeps the settings in an INI file. A session reads the file once, at its first read or
// write, serves everything from that text, and its last close writes the text back in one
// atomic replace when it changed.
class TIniFileStore : public TAbstractStore {
    Q_OBJECT
    Q_PROPERTY(QString IniFileName READ IniFileName WRITE SetIniFileName)
    Q_PROPERTY(bool UseExeDir READ UseExeDir WRITE SetUseExeDir)

public:
    explicit TIniFileStore(QObject* Owner = nullptr);

    QString IniFileName() const { return FIniFileName; }
    void SetIniFileName(const QString& Value) { FIniFileName = Value; }
    bool UseExeDir() const { return FUseExeDir; }
    void SetUseExeDir(bool Value) { FUseExeDir = Value; }
    // While read-only, sessions read as usual and drop their changes: nothing on disk is
    // created or changed, and no error is raised. For copies of the program that must
    // leave the settings file alone. Not a stored property.
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool Value) { FReadOnly = Value; }

    // The name handed to the profile functions: IniFileName, or the program's name with
    // ".INI"; ".INI" added when the name has no extension; in the program's folder when
    // UseExeDir is set. A bare name lives in the user's configuration folder.
    QString FileName() const;

    QString ReadString(const QString& Section, const QString& Key, const QString& Default) override;
    void WriteString(const QString& Section, const QString& Key, const QString& Value) override;
    void EraseSection(const QString& Section) override;

protected:
    void DoOpen() override;
    void DoClose() override;
    void DoAbandon() noexcept override;

private:
    QString FIniFileName;
    bool FUseExeDir = false;
    bool FReadOnly = false;
    // The open file, named at the first open of a session.
    std::optional<TProfileFile> FFile;
};
