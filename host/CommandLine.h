#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum TSaverMode : std::uint8_t { smNone = 0, smSaver = 1, smConfigure = 2, smPreview = 3 };

// What the arguments ask for.
struct TCommandLine {
    TSaverMode Mode = smNone;
    // The host's preview window, in preview mode; otherwise 0.
    std::uint32_t PreviewWindow = 0;
};

// Does Argument name the one-letter Switch ("/c:1234", "-Config", "\s" and "s" all do)?
bool MatchesSwitch(const std::string& Argument, const std::string& Switch);

// Reads an integer as hosts write window handles: leading blanks, an optional sign, then
// decimal digits, or hexadecimal digits after "$", "x" or "0x". Anything else, no digit
// at all, or a value outside the signed 64-bit range gives nothing.
std::optional<std::int64_t> TryStrToInt64(const std::string& Text);

// Arguments without the program's own path. Raises ERangeError for a preview handle
// that is a valid integer but no 32-bit unsigned value.
TCommandLine ParseCommandLine(const std::vector<std::string>& Arguments);
