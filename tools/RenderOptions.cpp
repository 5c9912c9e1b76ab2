#include "tools/RenderOptions.h"

#include "engine/BigReal.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>
#include <stdexcept>

const char* const RenderUsage =
    "usage: ystrelo-render [options]\n"
    "  --size WxH            area in pixels (default 640x480)\n"
    "  --views N             consecutive views to paint (default 8)\n"
    "  --start X,Y,R         first view: centre and radius (default 0,0,4); with --deep\n"
    "                        as many digits as the depth needs\n"
    "  --deep                zoom on past the reach of 80-bit numbers (deep zoom)\n"
    "  --seed N              seed of the random generator (default: its fixed start)\n"
    "  --max-age N           maximum iterations per pixel (default 10000)\n"
    "  --limit L             escape bound on |z|^2 (default 10000)\n"
    "  --step N              initial grid step, a power of two (default 64)\n"
    "  --zoom-frame          draw the outline of the next view\n"
    "  --colours LIST        comma-separated: red,green,blue,white,magenta,aqua,yellow\n"
    "                        (default: the painter's grey ramp)\n"
    "  --bands N             colours per gradient, 4 to 100 (default 32)\n"
    "  --no-fade             gradients from colour to colour instead of from black\n"
    "  --out DIR             folder for the PNG files (default .)\n"
    "  --prefix NAME         file names NAME-000.png, ... (default view)\n";

namespace {

const std::map<std::string, TColour>& ColourNames() {
    // The base colours a user can tick, by their names.
    static const std::map<std::string, TColour> Names = {
        {"red", 0x0000FF},     {"green", 0x00FF00}, {"blue", 0xFF0000},  {"white", 0xFFFFFF},
        {"magenta", 0xFF00FF}, {"aqua", 0xFFFF00},  {"yellow", 0x00FFFF}};
    return Names;
}

std::vector<std::string> Split(const std::string& Text, char Separator) {
    std::vector<std::string> Parts;
    std::stringstream Stream(Text);
    for (std::string Part; std::getline(Stream, Part, Separator);)
        Parts.push_back(Part);
    return Parts;
}

long long Integer(const std::string& Text, const std::string& Option, long long Low,
                  long long High) {
    std::size_t Used = 0;
    long long Value = 0;
    try {
        Value = std::stoll(Text, &Used);
    } catch (const std::exception&) {
        Used = 0;
    }
    if (Used != Text.size() || Text.empty() || Value < Low || Value > High)
        throw std::invalid_argument(Option + ": expected a whole number from " +
                                    std::to_string(Low) + " to " + std::to_string(High) +
                                    ", got \"" + Text + "\"");
    return Value;
}

Extended Real(const std::string& Text, const std::string& Option) {
    std::size_t Used = 0;
    Extended Value = 0;
    try {
        Value = std::stold(Text, &Used);
    } catch (const std::exception&) {
        Used = 0;
    }
    if (Used != Text.size() || Text.empty())
        throw std::invalid_argument(Option + ": expected a number, got \"" + Text + "\"");
    return Value;
}

} // namespace

TRenderOptions ParseRenderOptions(const std::vector<std::string>& Args) {
    constexpr int MaxSide = 16384;
    TRenderOptions Options;
    for (std::size_t i = 0; i < Args.size(); ++i) {
        const std::string& Option = Args[i];
        const auto Value = [&]() -> const std::string& {
            if (i + 1 >= Args.size())
                throw std::invalid_argument(Option + ": value missing");
            return Args[++i];
        };
        if (Option == "--size") {
            const auto Parts = Split(Value(), 'x');
            if (Parts.size() != 2)
                throw std::invalid_argument("--size: expected WxH");
            Options.Width = static_cast<int>(Integer(Parts[0], Option, 1, MaxSide));
            Options.Height = static_cast<int>(Integer(Parts[1], Option, 1, MaxSide));
        } else if (Option == "--views") {
            Options.Views = static_cast<int>(Integer(Value(), Option, 1, 1000000));
        } else if (Option == "--start") {
            const auto Parts = Split(Value(), ',');
            if (Parts.size() != 3)
                throw std::invalid_argument("--start: expected X,Y,R");
            Options.StartX = Parts[0];
            Options.StartY = Parts[1];
            Options.StartRadius = Parts[2];
        } else if (Option == "--seed") {
            Options.Seeded = true;
            Options.Seed = static_cast<std::uint64_t>(Integer(Value(), Option, 0, INT64_MAX));
        } else if (Option == "--max-age") {
            Options.MaxAge = static_cast<std::int32_t>(Integer(Value(), Option, 1, INT32_MAX));
        } else if (Option == "--limit") {
            Options.DistanceLimit = Real(Value(), Option);
        } else if (Option == "--step") {
            const long long Step = Integer(Value(), Option, 1, 256);
            if ((Step & (Step - 1)) != 0)
                throw std::invalid_argument("--step: must be a power of two");
            Options.InitialStep = static_cast<std::int32_t>(Step);
        } else if (Option == "--deep") {
            Options.Deep = true;
        } else if (Option == "--zoom-frame") {
            Options.ZoomFrame = true;
        } else if (Option == "--colours") {
            Options.Colours.clear();
            for (std::string Name : Split(Value(), ',')) {
                std::transform(Name.begin(), Name.end(), Name.begin(),
                               [](unsigned char c) { return std::tolower(c); });
                const auto Found = ColourNames().find(Name);
                if (Found == ColourNames().end())
                    throw std::invalid_argument("--colours: unknown colour \"" + Name + "\"");
                Options.Colours.push_back(Found->second);
            }
        } else if (Option == "--bands") {
            Options.Bands = static_cast<std::int32_t>(Integer(Value(), Option, 4, 100));
        } else if (Option == "--no-fade") {
            Options.FadeFromBlack = false;
        } else if (Option == "--out") {
            Options.OutputDir = Value();
        } else if (Option == "--prefix") {
            Options.Prefix = Value();
        } else {
            throw std::invalid_argument("unknown option \"" + Option + "\"");
        }
    }
    // Read once the options are known: a deep view may lie beyond the 80-bit range.
    if (!Options.Deep) {
        Options.CentreX = Real(Options.StartX, "--start");
        Options.CentreY = Real(Options.StartY, "--start");
        Options.Radius = Real(Options.StartRadius, "--start");
        return Options;
    }
    try {
        for (const std::string* Text : {&Options.StartX, &Options.StartY})
            TBigReal::Parse(*Text);
        if (TBigReal::Parse(Options.StartRadius).Sign() <= 0)
            throw std::invalid_argument("the radius must be above 0");
    } catch (const std::invalid_argument& Error) {
        throw std::invalid_argument(std::string("--start: ") + Error.what());
    }
    return Options;
}
