#include "platform/widgets/Shape.h"

#include <QPainter>

#include <algorithm>

namespace {
// Corner radius as a share of the shorter side, as the classic rounded-rectangle shape.
constexpr double CornerShare = 0.15;
constexpr double PenHalf = 0.5;
} // namespace

TShape::TShape(QWidget* Parent) : QWidget(Parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TShape::paintEvent(QPaintEvent*) {
    QPainter Painter(this);
    Painter.setRenderHint(QPainter::Antialiasing);
    Painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
    Painter.setBrush(palette().color(QPalette::Base));
    const QRectF Box = QRectF(rect()).adjusted(PenHalf, PenHalf, -PenHalf, -PenHalf);
    const double Radius = std::min(Box.width(), Box.height()) * CornerShare;
    Painter.drawRoundedRect(Box, Radius, Radius);
}
