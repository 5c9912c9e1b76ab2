#pragma once

#include "platform/IdleSource.h"

#include <memory>

// The X server's own idle clock: the SYNC extension's IDLETIME counter, with an alarm.
// Where the session bus has no org.freedesktop.ScreenSaver, the source serves that name
// itself and honours its inhibitors (video players and browsers call it).
class TX11IdleSource : public TIdleSource {
public:
    // Raises EYstreloError when $DISPLAY's server does not answer or has no IDLETIME.
    static std::unique_ptr<TIdleSource> Open();
};
