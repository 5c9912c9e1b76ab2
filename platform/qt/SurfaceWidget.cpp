#include "platform/qt/SurfaceWidget.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <cmath>

TSurfaceWidget::TSurfaceWidget(QWidget* Parent, TColour Background)
    : QWidget(Parent), FWindow(TSurfaceWindow::Create(0, 0, Background)) {
    // We paint every pixel ourselves; no need for Qt to clear first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&FRefresh, &QTimer::timeout, this, &TSurfaceWidget::CopyDirtyTiles);
    FRefresh.start(RefreshInterval);
    SyncSurfaceSize();
}

QSize TSurfaceWidget::DeviceSize() const {
    const qreal Ratio = devicePixelRatioF();
    return {static_cast<int>(std::lround(width() * Ratio)),
            static_cast<int>(std::lround(height() * Ratio))};
}

void TSurfaceWidget::SetBackground(TColour Colour) {
    FWindow->SetBackground(Colour);
    FWindow->Surface()->Fill(Colour);
    CopyDirtyTiles();
}

void TSurfaceWidget::SyncSurfaceSize() {
    const QSize Size = DeviceSize();
    FWindow->Resize(Size.width(), Size.height());
    FShown = FWindow->Surface();
    FImage = QImage(FShown->Width(), FShown->Height(), QImage::Format_RGB32);
    FImage.setDevicePixelRatio(devicePixelRatioF());
    FShown->TakeDirtyTiles();
    for (int Y = 0; Y < FShown->Height(); ++Y) {
        auto* Line = reinterpret_cast<std::uint32_t*>(FImage.scanLine(Y));
        for (int X = 0; X < FShown->Width(); ++X)
            Line[X] = FShown->Argb(X, Y);
    }
    update();
}

void TSurfaceWidget::CopyDirtyTiles() {
    if (DeviceSize() != QSize(FShown->Width(), FShown->Height()) ||
        !qFuzzyCompare(FImage.devicePixelRatio(), devicePixelRatioF())) {
        // Moved to a screen of another scale: follow the new device size.
        SyncSurfaceSize();
        return;
    }
    if (!FShown->AnyDirty())
        return;
    const qreal Ratio = devicePixelRatioF();
    for (const auto& Tile : FShown->TakeDirtyTiles()) {
        for (int Y = Tile.Top; Y < Tile.Top + Tile.Height; ++Y) {
            auto* Line = reinterpret_cast<std::uint32_t*>(FImage.scanLine(Y));
            for (int X = Tile.Left; X < Tile.Left + Tile.Width; ++X)
                Line[X] = FShown->Argb(X, Y);
        }
        // Widget coordinates are logical; round outwards so no device pixel is missed.
        update(QRectF(Tile.Left / Ratio, Tile.Top / Ratio, Tile.Width / Ratio, Tile.Height / Ratio)
                   .toAlignedRect());
    }
}

QImage TSurfaceWidget::Snapshot() const {
    return FImage;
}

void TSurfaceWidget::paintEvent(QPaintEvent* Event) {
    QPainter Painter(this);
    Painter.drawImage(Event->rect(), FImage,
                      QRectF(Event->rect().topLeft() * devicePixelRatioF(),
                             QSizeF(Event->rect().size()) * devicePixelRatioF()));
}

void TSurfaceWidget::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    SyncSurfaceSize();
}
