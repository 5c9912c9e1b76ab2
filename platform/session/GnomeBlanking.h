#pragma once

#include "platform/BlankingSource.h"

#include <QObject>

class QProcess;

// GNOME blanks the screen once the session has been idle for org.gnome.desktop.session
// idle-delay (seconds, 0 never), "Screen Blank" in its Settings. Read with gsettings,
// which knows the desktop's settings back-end (dconf), as GNOME's own programs do.
class TGnomeBlanking : public QObject, public TBlankingSource {
    Q_OBJECT

public:
    static constexpr const char* Program = "gsettings";
    static constexpr const char* Setting = "Screen Blank in Settings, Power";

    ~TGnomeBlanking() override;
    void Read(std::function<void(std::optional<TBlanking>)> Found) override;

private:
    QProcess* FProcess = nullptr;
};
