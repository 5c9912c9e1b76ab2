#pragma once

#include "config/AbstractStore.h"

#include <optional>
#include <string>

// Keeps the settings in an INI file through the profile functions.
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

private:
    QString FIniFileName;
    bool FUseExeDir = false;
    // The open file: the name resolved at the first open. Every write reaches the disk at
    // once, so closing has nothing left to flush.
    std::optional<std::string> FFile;
};
