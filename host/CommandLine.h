#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum TSaverMode : std::uint8_t { smNone = 0, smSaver = 1, smConfigure = 2, smPreview = 3 };

// Where XScreenSaver's own options for its display modes say to paint.
enum class THostOption {
    None,
    WindowId, // "--window-id ID": that window, whatever XSCREENSAVER_WINDOW says
    Root      // "-root": XSCREENSAVER_WINDOW when set, otherwise the screen's root window
};

// What the arguments ask for.
struct TCommandLine {
    TSaverMode Mode = smNone;
    // The host's preview window, in preview mode; otherwise 0.
    std::uint32_t PreviewWindow = 0;
    // Whether the preview's window came with the switch ("/p 1234").
    bool PreviewHandle = false;
    // The saver and preview modes only: XScreenSaver's options, and the window of
    // "--window-id".
    THostOption HostOption = THostOption::None;
    std::uint32_t WindowId = 0;
    // "--idle DURATION": the idle watcher, with the time DURATION gives; none when it
    // gives none.
    bool Idle = false;
    std::optional<std::chrono::seconds> IdleAfter;
};

// The idle watcher's option, and what it says of a DURATION it cannot read.
inline constexpr const char* IdleOption = "--idle";
inline constexpr const char* IdleDurationMessage =
    "--idle needs a time from 1 second to 24 hours: minutes (\"--idle 10\") or seconds "
    "(\"--idle 20s\")";
// DURATION: whole minutes, or seconds with an "s" suffix.
std::optional<std::chrono::seconds> ParseIdleDuration(const std::string& Text);

// Does Argument name the one-letter Switch ("/c:1234", "-Config", "\s" and "s" all do)?
bool MatchesSwitch(const std::string& Argument, const std::string& Switch);

// An integer as hosts write window handles: leading blanks, an optional sign, then decimal
// digits, or hexadecimal digits after "$", "x" or "0x".
struct TIntegerText {
    enum TKind { Invalid, Valid, TooLarge };
    TKind Kind = Invalid;
    // Valid only: the value.
    std::int64_t Value = 0;
};
// Anything else, or no digit at all, is Invalid; digits whose value lies outside the
// signed 64-bit range are TooLarge: still a number, only too large a one.
TIntegerText ReadInteger(const std::string& Text);
// The value of a Valid text; nothing otherwise.
std::optional<std::int64_t> TryStrToInt64(const std::string& Text);

// Arguments without the program's own path. "--idle DURATION" stands alone.
// Raises ERangeError for a preview handle
// that is a valid integer but no 32-bit unsigned value.
//
// XScreenSaver's options ("--window-id ID" or "-window-id ID", "-root" or "--root"),
// which its programs append to a display mode's command, are taken out first, and count
// only when the rest is a saver or preview switch; otherwise the whole list is read as it
// stands. Raises EYstreloError when the ID of a counted "--window-id" is no window id.
TCommandLine ParseCommandLine(const std::vector<std::string>& Arguments);

// The window a screen-saver host names in XSCREENSAVER_WINDOW or after "--window-id"
// ("0x40000E" or decimal). Raises EYstreloError with a message naming Source and the text
// when it is no window id.
std::uint32_t ParseHostWindow(const std::string& Text,
                              const std::string& Source = "XSCREENSAVER_WINDOW");
