#include "platform/EventWait.h"

#include <poll.h>
#include <vector>

void WaitForInput(std::initializer_list<int> Files, int TimeoutMs) {
    std::vector<pollfd> Polled;
    Polled.reserve(Files.size());
    for (int File : Files)
        Polled.push_back({File, POLLIN, 0});
    poll(Polled.data(), Polled.size(), TimeoutMs);
}
