#pragma once

#include <exception>
#include <functional>
#include <initializer_list>

// Runs every action, also after one has failed, and then raises the first failure: each
// hook of a chain, and the write that ends a session, get their turn whatever came first.
inline void RunAll(std::initializer_list<std::function<void()>> Actions) {
    std::exception_ptr First;
    for (const auto& Action : Actions) {
        try {
            if (Action)
                Action();
        } catch (...) {
            if (!First)
                First = std::current_exception();
        }
    }
    if (First)
        std::rethrow_exception(First);
}
