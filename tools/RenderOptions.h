#pragma once

#include "engine/Extended.h"
#include "platform/Colour.h"

#include <cstdint>
#include <string>
#include <vector>

// What the renderer is asked to do; parsed from its command line.
struct TRenderOptions {
    int Width = 640;
    int Height = 480;
    int Views = 8;
    Extended CentreX = 0;
    Extended CentreY = 0;
    Extended Radius = 4;
    // Past the reach of the 80-bit numbers: the first view as typed, in arbitrary precision.
    bool Deep = false;
    std::string StartX = "0";
    std::string StartY = "0";
    std::string StartRadius = "4";
    bool Seeded = false;
    std::uint64_t Seed = 0;
    std::int32_t MaxAge = 10000;
    Extended DistanceLimit = 10000;
    std::int32_t InitialStep = 64;
    bool ZoomFrame = false;
    // Empty: the painter's own grey ramp.
    std::vector<TColour> Colours;
    std::int32_t Bands = 32;
    bool FadeFromBlack = true;
    std::string OutputDir = ".";
    std::string Prefix = "view";
};

// Parses the arguments (without the program name). Raises std::invalid_argument with a
// message for the user on anything it does not understand.
TRenderOptions ParseRenderOptions(const std::vector<std::string>& Args);

extern const char* const RenderUsage;
