#include "platform/x11/ForeignWindow.h"

#include "platform/qt/QtMessages.h"
#include "platform/x11/X11Display.h"
#include "platform/x11/XcbReply.h"

#include <QWidget>
#include <QWindow>

#include <cmath>
#include <xcb/xcb.h>

namespace {
// The parent of Window as the server has it; none when unknown.
std::uint32_t ParentOf(xcb_connection_t* Connection, std::uint32_t Window, std::uint32_t* Root) {
    TReply<xcb_query_tree_reply_t> Tree(
        xcb_query_tree_reply(Connection, xcb_query_tree(Connection, Window), nullptr));
    if (!Tree)
        return XCB_NONE;
    if (Root)
        *Root = Tree->root;
    return Tree->parent;
}
} // namespace

TForeignWindow::TForeignWindow(QWidget& Widget, std::uint32_t Parent, QSize DeviceSize)
    : FWidget(&Widget), FParent(Parent) {
    std::uint32_t Root = XCB_NONE;
    if (xcb_connection_t* Connection = QtConnection())
        ParentOf(Connection, Parent, &Root);
    // An empty input shape (transparent for input) lets every pointer event fall through
    // to the host's window; no focus means no keys either.
    Qt::WindowFlags Flags = Qt::Window | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                            Qt::WindowDoesNotAcceptFocus;
    if (Parent == Root)
        Flags |= Qt::BypassWindowManagerHint;
    Widget.setWindowFlags(Flags);
    Widget.setAttribute(Qt::WA_NativeWindow);
    Widget.setAttribute(Qt::WA_ShowWithoutActivating);
    Widget.winId();
    if (Parent == Root) {
        // Mapped where it is stacked now: at the bottom.
        Widget.lower();
    } else {
        FHost = QWindow::fromWinId(static_cast<WId>(Parent));
        Widget.windowHandle()->setParent(FHost);
    }
    const qreal Ratio = Widget.devicePixelRatioF();
    Widget.setGeometry(0, 0, static_cast<int>(std::lround(DeviceSize.width() / Ratio)),
                       static_cast<int>(std::lround(DeviceSize.height() / Ratio)));
}

bool TForeignWindow::Embedded() const {
    xcb_connection_t* Connection = QtConnection();
    if (!Connection || !FWidget)
        return true;
    // A round trip on Qt's own connection: the server has handled the reparenting then.
    const std::uint32_t Parent =
        ParentOf(Connection, static_cast<std::uint32_t>(FWidget->winId()), nullptr);
    // A server that went away before it answered is a lost server, not a window we
    // cannot paint in; Qt's own handler may not have seen it yet.
    if (xcb_connection_has_error(Connection))
        EndOnLostDisplay();
    return Parent == FParent;
}

TForeignWindow::~TForeignWindow() {
    // The stand-in deletes the windows parented to it: the widget's window is taken back
    // first (hidden, so that it never shows on its own), or the widget would free it twice.
    if (FWidget && FHost) {
        FWidget->hide();
        if (QWindow* Own = FWidget->windowHandle())
            Own->setParent(nullptr);
    }
    delete FHost;
}
