#pragma once

#include <QPointer>
#include <QSize>

#include <cstdint>

class QWidget;
class QWindow;

// Makes a widget a child window of another program's X window (a screen-saver host's),
// at its top-left corner with the given size in device pixels, for as long as this object
// lives. Mouse and keyboard stay the host's: the window takes no input at all and never
// the focus, so clicks, moves and keys reach the host's own window beneath. The server
// destroys our window with the host's, or with our connection.
//
// Qt keeps a stand-in for the host's window, the parent of the widget's window; it must
// outlive that window, and this object frees it after giving the widget's window up. Own
// one in the widget (a member is destroyed before the widget's window is).
//
// A screen's root window is no host's: there the window is a top-level window of ours
// that window managers leave alone, below every other, as a desktop background.
class TForeignWindow {
public:
    TForeignWindow(QWidget& Widget, std::uint32_t Parent, QSize DeviceSize);
    ~TForeignWindow();

    TForeignWindow(const TForeignWindow&) = delete;
    TForeignWindow& operator=(const TForeignWindow&) = delete;

    // Whether the server has made the widget's window the parent's child, as asked:
    // false when it refused (a parent on another screen). True off X11.
    bool Embedded() const;

private:
    QPointer<QWidget> FWidget;
    std::uint32_t FParent;
    QWindow* FHost = nullptr;
};
