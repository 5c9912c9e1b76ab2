#include "config/DesignLayout.h"

#include <algorithm>
#include <cmath>

void TDesignLayout::Add(QWidget* Control, const QRect& Design, TMeasure Measure) {
    FItems.push_back({Control, Design, Measure});
    Control->setGeometry(Design);
}

QSizeF TDesignLayout::Required() const {
    double Sx = 1.0;
    double Sy = 1.0;
    for (const auto& Item : FItems) {
        if (!Item.Control || Item.Design.isEmpty())
            continue;
        const QSize Hint = Item.Control->sizeHint().expandedTo(Item.Control->minimumSizeHint());
        if (Item.Measure & MeasureWidth)
            Sx = std::max(Sx, double(Hint.width()) / Item.Design.width());
        if (Item.Measure & MeasureHeight)
            Sy = std::max(Sy, double(Hint.height()) / Item.Design.height());
    }
    return {Sx, Sy};
}

void TDesignLayout::Apply(const QSizeF& Scale) {
    for (const auto& Item : FItems)
        if (Item.Control)
            Item.Control->setGeometry(Scaled(Item.Design, Scale));
}

QRect TDesignLayout::Scaled(const QRect& Design, const QSizeF& Scale) {
    // Edges are scaled, not sizes, so neighbours that touched at design size still touch.
    const int Left = int(std::lround(Design.left() * Scale.width()));
    const int Top = int(std::lround(Design.top() * Scale.height()));
    const int Right = int(std::lround((Design.left() + Design.width()) * Scale.width()));
    const int Bottom = int(std::lround((Design.top() + Design.height()) * Scale.height()));
    return {Left, Top, Right - Left, Bottom - Top};
}

QSize TDesignLayout::Scaled(const QSize& Design, const QSizeF& Scale) {
    return {int(std::ceil(Design.width() * Scale.width())),
            int(std::ceil(Design.height() * Scale.height()))};
}
