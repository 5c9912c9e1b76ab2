#pragma once

#include "panel/FractalPanel.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

// Runs the Qt event loop (timers, repaints) until Done holds or TimeoutMs passed.
inline bool RunEventsUntil(const std::function<bool()>& Done, int TimeoutMs) {
    constexpr int SliceMs = 10;
    QElapsedTimer Clock;
    Clock.start();
    while (!Done()) {
        if (Clock.elapsed() > TimeoutMs)
            return false;
        QEventLoop Loop;
        QTimer::singleShot(SliceMs, &Loop, &QEventLoop::quit);
        Loop.exec();
    }
    return true;
}

// Waits for the painter without running the event loop, so the panel's own timer
// cannot hand out a frame meanwhile.
inline bool WaitIdle(const TMandelPaint& Painter, int TimeoutMs) {
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (Painter.Busy()) {
        if (std::chrono::steady_clock::now() > Deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Threads of this process, leaving out Qt's pooled workers, which the raster paint
// engine starts and retires on its own schedule.
inline int ThreadCount() {
    int Count = 0;
    for (const auto& Entry : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream Comm(Entry.path() / "comm");
        std::string Name;
        std::getline(Comm, Name);
        Count += Name.rfind("Thread (pooled)", 0) != 0;
    }
    return Count;
}

// Whether every pixel of the frame on its panel's surface differs from Background.
inline bool FramePainted(const TFractalFrame& Frame, TColour Background) {
    const auto Surface = Frame.Panel->SurfaceWindow()->Surface();
    for (int Y = Frame.Top; Y < Frame.Top + Frame.Height; ++Y)
        for (int X = Frame.Left; X < Frame.Left + Frame.Width; ++X)
            if (Surface->Pixel(X, Y) == Background)
                return false;
    return true;
}

inline int CountPixels(const TFractalPanel& Panel, TColour Colour) {
    const auto Surface = Panel.SurfaceWindow()->Surface();
    int Count = 0;
    for (int Y = 0; Y < Surface->Height(); ++Y)
        for (int X = 0; X < Surface->Width(); ++X)
            Count += Surface->Pixel(X, Y) == Colour;
    return Count;
}
