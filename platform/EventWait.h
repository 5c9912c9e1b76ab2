#pragma once

#include <initializer_list>

// Blocks until one of the descriptors is readable or TimeoutMs passed (negative: no
// limit). Interrupted waits simply return; the caller looks at its sources again.
void WaitForInput(std::initializer_list<int> Files, int TimeoutMs);

constexpr int WaitForever = -1;
