#pragma once

#include "engine/MandelPaint.h"
#include "host/CommandLine.h"
#include "platform/NamedMutex.h"

#include <cstdint>
#include <memory>

class TConfigureFrame;
class TFR_Saver;

// The process-wide start-up state, owned by the entry point.

// What the command line asked for; smNone until it is read.
extern TSaverMode SaverMode;
// The host's preview window (an X window id); 0 until the command line is read.
extern std::uint32_t PreviewWindow;
// The single-instance guard "Korvanel" while we hold it; empty otherwise.
extern std::unique_ptr<TNamedMutex> InstanceMutex;
// The guard of the host's window a copy paints into, while we hold it; empty otherwise.
extern std::unique_ptr<TNamedMutex> WindowMutex;
// The rectangle the preview painter paints, inclusive.
extern TRect PreviewRect;
// The painter of preview mode; it exists only during the preview loop.
extern std::unique_ptr<TMandelPaint> PreviewPainter;
// The primary monitor's saver window, the main window of saver mode; none until
// created. The application owns it.
extern TFR_Saver* PrimaryWindow;
// The configuration dialog of the saver and configure modes; none until created. The
// application owns it.
extern TConfigureFrame* ConfigureFrame;
