#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

// When a desktop turns its screens dark by itself after a time without input, and the
// setting the user changes that with. A saver that starts no sooner starts behind a dark
// screen, where it shows nothing (docs/visibility.md).
struct TBlanking {
    std::chrono::seconds After{0};
    // Where the user changes it, as the desktop names it: "Screen Blank in Settings, Power".
    std::string Setting;
};

// One desktop's blanking, as its settings say (GNOME's, KDE's, the X server's).
class TBlankingSource {
public:
    virtual ~TBlankingSource() = default;

    // Calls Found once, from the event loop, never from within Read: with the desktop's
    // blanking, or with none when it never blanks by itself or does not tell.
    virtual void Read(std::function<void(std::optional<TBlanking>)> Found) = 0;
};
