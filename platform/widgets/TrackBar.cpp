#include "platform/widgets/TrackBar.h"

TTrackBar::TTrackBar(QWidget* Parent) : QSlider(Qt::Horizontal, Parent) {
    setTickPosition(QSlider::TicksBelow);
    connect(this, &QSlider::valueChanged, this, [this] { emit Change(this); });
}
