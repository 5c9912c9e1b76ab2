#include "host/CommandLine.h"

#include "platform/Errors.h"

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

std::optional<std::int64_t> TryStrToInt64(const std::string& Text) {
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
        return std::nullopt;
    // Accumulate the magnitude unsigned so that the most negative value still fits.
    const std::uint64_t Limit =
        Negative ? static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1
                 : static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    std::uint64_t Magnitude = 0;
    for (; I < Text.size(); ++I) {
        const int Digit = DigitValue(Text[I]);
        if (Digit >= Base)
            return std::nullopt;
        if (Magnitude >
            (Limit - static_cast<std::uint64_t>(Digit)) / static_cast<std::uint64_t>(Base))
            return std::nullopt;
        Magnitude =
            Magnitude * static_cast<std::uint64_t>(Base) + static_cast<std::uint64_t>(Digit);
    }
    if (!Negative)
        return static_cast<std::int64_t>(Magnitude);
    return Magnitude == 0 ? 0 : -static_cast<std::int64_t>(Magnitude - 1) - 1;
}

TCommandLine ParseCommandLine(const std::vector<std::string>& Arguments) {
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
            if (const auto Handle = TryStrToInt64(Arguments[1])) {
                if (*Handle < 0 || *Handle > std::numeric_limits<std::uint32_t>::max())
                    throw ERangeError();
                Result.Mode = smPreview;
                Result.PreviewWindow = static_cast<std::uint32_t>(*Handle);
            }
        }
        break;
    default:
        break;
    }
    return Result;
}
