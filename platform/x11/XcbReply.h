#pragma once

#include <cstdlib>
#include <memory>

// xcb hands out malloc'ed replies, events and errors; this owns one of them.
struct TXcbFree {
    void operator()(void* P) const { std::free(P); }
};
template <typename T> using TReply = std::unique_ptr<T, TXcbFree>;
