#pragma once

#include "platform/Colour.h"

#include <cstdint>
#include <vector>

class TFunctionPaint;

// Base colours used when a caller gives none: red, green, blue.
std::vector<TColour> DefaultBaseColours();

// Refills Painter's colour table with one gradient of Bands entries per base colour.
// With FadeFromBlack every gradient rises from black; without it each starts at the
// previous base colour (the first at the last one), so the table is cyclic.
// BaseColours must not be empty and Bands must be at least 2; the panel ensures both.
// The caller must hold the painter idle or suspended.
void BuildColourTable(TFunctionPaint& Painter, const std::vector<TColour>& BaseColours,
                      bool FadeFromBlack, std::int32_t Bands);
