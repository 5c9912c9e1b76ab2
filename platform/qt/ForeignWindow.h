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
class TForeignWindow {
public:
    TForeignWindow(QWidget& Widget, std::uint32_t Parent, QSize DeviceSize);
    ~TForeignWindow();

    TForeignWindow(const TForeignWindow&) = delete;
    TForeignWindow& operator=(const TForeignWindow&) = delete;

private:
    QPointer<QWidget> FWidget;
    QWindow* FHost;
};
