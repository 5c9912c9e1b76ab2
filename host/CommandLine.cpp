#include "host/CommandLine.h"

#include "platform/Errors.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace {
constexpr int HexBase = 16;
constexpr int DecimalBase = 10;

bool IsBlank(char C) {
    return C == ' ' || C == '\t';
}

char Upper(char C) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
}

int DigitValue(char C) {
    if (C >= '0' && C <= '9')
        return C - '0';
    const char U = Upper(C);
    if (U >= 'A' && U <= 'F')
        return U - 'A' + DecimalBase;
    return HexBase; // never a digit
}
bool FitsWindow(std::int64_t Value) {
    return Value >= 0 && Value <= std::numeric_limits<std::uint32_t>::max();
}
} // namespace

bool MatchesSwitch(const std::string& Argument, const std::string& Switch) {
    if (Argument.empty())
        return false;
    std::string Rest = Argument;
    if (Rest[0] == '-' || Rest[0] == '/' || Rest[0] == '\\')
        Rest.erase(0, 1);
    if (Rest.size() < Switch.size())
        return false;
    for (std::size_t I = 0; I < Switch.size(); ++I)
        if (Upper(Rest[I]) != Upper(Switch[I]))
            return false;
    return true;
}

TIntegerText ReadInteger(const std::string& Text) {
    std::size_t I = 0;
    while (I < Text.size() && IsBlank(Text[I]))
        ++I;
    bool Negative = false;
    if (I < Text.size() && (Text[I] == '+' || Text[I] == '-')) {
        Negative = Text[I] == '-';
        ++I;
    }
    int Base = DecimalBase;
    if (I < Text.size() && (Text[I] == '$' || Upper(Text[I]) == 'X')) {
        Base = HexBase;
        ++I;
    } else if (I + 1 < Text.size() && Text[I] == '0' && Upper(Text[I + 1]) == 'X') {
        Base = HexBase;
        I += 2;
    }
    if (I == Text.size())
        return {};
    // Accumulate the magnitude unsigned so that the most negative value still fits.
    const std::uint64_t Limit =
        Negative ? static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1
                 : static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    std::uint64_t Magnitude = 0;
    bool TooLarge = false;
    for (; I < Text.size(); ++I) {
        const int Digit = DigitValue(Text[I]);
        if (Digit >= Base)
            return {};
        // Read on to the end: a later character that is no digit still makes it no
        // number at all.
        if (TooLarge || Magnitude > (Limit - static_cast<std::uint64_t>(Digit)) /
                                        static_cast<std::uint64_t>(Base)) {
            TooLarge = true;
            continue;
        }
        Magnitude =
            Magnitude * static_cast<std::uint64_t>(Base) + static_cast<std::uint64_t>(Digit);
    }
    if (TooLarge)
        return {TIntegerText::TooLarge};
    if (!Negative)
        return {TIntegerText::Valid, static_cast<std::int64_t>(Magnitude)};
    return {TIntegerText::Valid,
            Magnitude == 0 ? 0 : -static_cast<std::int64_t>(Magnitude - 1) - 1};
}

std::optional<std::int64_t> TryStrToInt64(const std::string& Text) {
    const TIntegerText Read = ReadInteger(Text);
    if (Read.Kind != TIntegerText::Valid)
        return std::nullopt;
    return Read.Value;
}

namespace {
constexpr const char* WindowIdOptions[] = {"--window-id", "-window-id"};
constexpr const char* RootOptions[] = {"-root", "--root"};

template <std::size_t N> bool OneOf(const std::string& Argument, const char* const (&Options)[N]) {
    for (const char* Option : Options)
        if (Argument == Option)
            return true;
    return false;
}

TCommandLine ParseSwitches(const std::vector<std::string>& Arguments) {
    TCommandLine Result;
    switch (Arguments.size()) {
    case 0:
        Result.Mode = smConfigure;
        break;
    case 1:
        if (MatchesSwitch(Arguments[0], "C"))
            Result.Mode = smConfigure;
        else if (MatchesSwitch(Arguments[0], "S"))
            Result.Mode = smSaver;
        break;
    case 2:
        if (MatchesSwitch(Arguments[0], "P")) {
            const TIntegerText Handle = ReadInteger(Arguments[1]);
            if (Handle.Kind == TIntegerText::Invalid)
                break;
            if (Handle.Kind == TIntegerText::TooLarge || !FitsWindow(Handle.Value))
                throw ERangeError();
            Result.Mode = smPreview;
            Result.PreviewWindow = static_cast<std::uint32_t>(Handle.Value);
            Result.PreviewHandle = true;
        }
        break;
    default:
        break;
    }
    return Result;
}
} // namespace

std::optional<std::chrono::seconds> ParseIdleDuration(const std::string& Text) {
    using namespace std::chrono;
    constexpr seconds Least{1};
    constexpr seconds Most = hours(24);
    const bool InSeconds = !Text.empty() && Text.back() == 's';
    const std::string Digits = InSeconds ? Text.substr(0, Text.size() - 1) : Text;
    if (Digits.empty() || Digits.size() > 6 ||
        !std::all_of(Digits.begin(), Digits.end(), [](char C) { return C >= '0' && C <= '9'; }))
        return std::nullopt;
    const seconds Time = InSeconds ? seconds(std::stol(Digits)) : minutes(std::stol(Digits));
    if (Time < Least || Time > Most)
        return std::nullopt;
    return Time;
}

TCommandLine ParseCommandLine(const std::vector<std::string>& Arguments) {
    if (Arguments.size() == 2 && Arguments[0] == IdleOption) {
        TCommandLine Result;
        Result.Idle = true;
        Result.IdleAfter = ParseIdleDuration(Arguments[1]);
        return Result;
    }
    std::vector<std::string> Rest;
    THostOption Option = THostOption::None;
    std::string WindowText;
    for (std::size_t I = 0; I < Arguments.size(); ++I) {
        if (OneOf(Arguments[I], WindowIdOptions) && I + 1 < Arguments.size()) {
            Option = THostOption::WindowId;
            WindowText = Arguments[++I];
        } else if (OneOf(Arguments[I], RootOptions)) {
            if (Option == THostOption::None)
                Option = THostOption::Root;
        } else {
            Rest.push_back(Arguments[I]);
        }
    }
    if (Option == THostOption::None)
        return ParseSwitches(Arguments);
    TCommandLine Result;
    // The preview switch alone: the options name its window.
    if (Rest.size() == 1 && MatchesSwitch(Rest[0], "P"))
        Result.Mode = smPreview;
    else
        Result = ParseSwitches(Rest);
    if (Result.Mode != smSaver && Result.Mode != smPreview)
        return ParseSwitches(Arguments);
    Result.HostOption = Option;
    if (Option == THostOption::WindowId)
        Result.WindowId = ParseHostWindow(WindowText, WindowIdOptions[0]);
    return Result;
}

std::uint32_t ParseHostWindow(const std::string& Text, const std::string& Source) {
    const TIntegerText Window = ReadInteger(Text);
    // Window 0 is none at all; hosts never hand it out.
    if (Window.Kind != TIntegerText::Valid || !FitsWindow(Window.Value) || Window.Value == 0)
        throw EYstreloError(Source + " is not a window id: \"" + Text + "\"");
    return static_cast<std::uint32_t>(Window.Value);
}
