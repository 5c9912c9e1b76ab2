#pragma once

class QWidget;

// Hides the mouse cursor over a widget and its children, from the moment the pointer
// first enters it.
//
// On X11 that is Qt::BlankCursor. Qt 6.4's Wayland platform keeps the last cursor shape
// it sent per seat and skips a request for the same shape; a shape set before the window
// had the pointer is never sent with the enter serial the compositor demands, so the
// compositor's arrow stays over the window. A cursor made of one transparent pixel is a
// bitmap cursor, which Qt sends again at every enter.
class TBlankCursor {
public:
    static void Apply(QWidget* Widget);
};
