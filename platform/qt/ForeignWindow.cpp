#include "platform/qt/ForeignWindow.h"

#include <QWidget>
#include <QWindow>

#include <cmath>

TForeignWindow::TForeignWindow(QWidget& Widget, std::uint32_t Parent, QSize DeviceSize)
    : FWidget(&Widget), FHost(QWindow::fromWinId(static_cast<WId>(Parent))) {
    // An empty input shape (transparent for input) lets every pointer event fall through
    // to the host's window; no focus means no keys either.
    Widget.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                          Qt::WindowDoesNotAcceptFocus);
    Widget.setAttribute(Qt::WA_NativeWindow);
    Widget.setAttribute(Qt::WA_ShowWithoutActivating);
    Widget.winId();
    Widget.windowHandle()->setParent(FHost);
    const qreal Ratio = Widget.devicePixelRatioF();
    Widget.setGeometry(0, 0, static_cast<int>(std::lround(DeviceSize.width() / Ratio)),
                       static_cast<int>(std::lround(DeviceSize.height() / Ratio)));
}

TForeignWindow::~TForeignWindow() {
    // The stand-in deletes the windows parented to it: the widget's window is taken back
    // first (hidden, so that it never shows on its own), or the widget would free it twice.
    if (FWidget) {
        FWidget->hide();
        if (QWindow* Own = FWidget->windowHandle())
            Own->setParent(nullptr);
    }
    delete FHost;
}
