#pragma once

#include "../platform/ProfileTestSupport.h"

#include <QApplication>

#include <sys/inotify.h>
#include <unistd.h>

// Widgets need an application object; one for the whole test program.
inline void EnsureApplication() {
    static int Argc = 1;
    static char Name[] = "config_tests";
    static char* Argv[] = {Name, nullptr};
    static QApplication Application(Argc, Argv);
}

// Counts the files renamed into a folder: every atomic replace is one. The kernel queues
// the event as the rename happens, so a count taken afterwards needs no waiting.
class TReplaceWatch {
public:
    explicit TReplaceWatch(const std::string& Folder)
        : FWatch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        ::inotify_add_watch(FWatch, Folder.c_str(), IN_MOVED_TO);
    }
    ~TReplaceWatch() { ::close(FWatch); }
    TReplaceWatch(const TReplaceWatch&) = delete;
    TReplaceWatch& operator=(const TReplaceWatch&) = delete;

    // The replaces since the last call.
    int Count() {
        int Result = 0;
        alignas(inotify_event) char Buffer[4096];
        for (ssize_t Length; (Length = ::read(FWatch, Buffer, sizeof Buffer)) > 0;)
            for (ssize_t At = 0; At < Length;
                 At += static_cast<ssize_t>(sizeof(inotify_event) +
                                            reinterpret_cast<inotify_event*>(Buffer + At)->len))
                ++Result;
        return Result;
    }

private:
    int FWatch;
};
