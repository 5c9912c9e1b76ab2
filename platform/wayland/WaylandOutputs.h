#pragma once

#include <QtGlobal>

class QWindow;

// The scales the compositor gives its outputs. Qt's public interface tells a window's
// device pixel ratio only: the output's scale times a factor of Qt's own
// (QT_SCALE_FACTOR, QT_SCREEN_SCALE_FACTORS), of which the compositor knows nothing. Each
// call reads the outputs on a connection of its own, with a few round trips: for the GUI
// thread, and not for every event.
class TWaylandOutputs {
public:
    // The scale of the output Window is on, found by its name (wl_output 4, as Qt names
    // its screens); failing that, the scale all outputs share. 0 when neither is known.
    static int Scale(const QWindow* Window);
    // Qt's own factor on Window: its device pixel ratio over its output's scale. 0 when
    // the output's scale is not known.
    static qreal QtFactor(const QWindow* Window);
};
