#pragma once

#include <cstdint>

// The edge set of AddEdges, one bit per member, exactly as the Frames page stores it in
// one byte. Bit 16 is unused; bits outside the members are ignored.
using TFrameEdges = std::uint8_t;

constexpr TFrameEdges LeftColumn = 1;
constexpr TFrameEdges TopRow = 2;
constexpr TFrameEdges RightColumn = 4;
constexpr TFrameEdges BottomRow = 8;
constexpr TFrameEdges InnerLast = 32;

// The sets the Frames page offers.
constexpr TFrameEdges EdgesLeftColumn = LeftColumn | InnerLast;                                // 33
constexpr TFrameEdges EdgesTopRow = TopRow | InnerLast;                                        // 34
constexpr TFrameEdges EdgesRightColumn = RightColumn | InnerLast;                              // 36
constexpr TFrameEdges EdgesPillar = LeftColumn | RightColumn | InnerLast;                      // 37
constexpr TFrameEdges EdgesBottomRow = BottomRow | InnerLast;                                  // 40
constexpr TFrameEdges EdgesLetterbox = TopRow | BottomRow | InnerLast;                         // 42
constexpr TFrameEdges EdgesBorder = LeftColumn | TopRow | RightColumn | BottomRow | InnerLast; // 47
