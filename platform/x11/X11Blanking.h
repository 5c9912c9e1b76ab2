#pragma once

#include "platform/BlankingSource.h"

#include <QObject>

// The X server blanks the screen by itself: its own screen saver after `xset s` seconds
// (600 by default), and DPMS after the first of its standby, suspend and off times, when
// DPMS is on (`xset dpms`). Read from the server $DISPLAY names.
class TX11Blanking : public QObject, public TBlankingSource {
    Q_OBJECT

public:
    static constexpr const char* Setting = "the X server's blanking with xset s and xset dpms";
    void Read(std::function<void(std::optional<TBlanking>)> Found) override;

private:
    static std::optional<TBlanking> Find();
};
