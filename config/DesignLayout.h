#pragma once

#include <QPointer>
#include <QRect>
#include <QSizeF>
#include <QWidget>

#include <vector>

// Places controls at their design-time rectangles, stretched by one factor per axis. The
// design was drawn for an 8-point bitmap font; the desktop's font is usually larger, so the
// factors are chosen so that every caption fits its control (Required), and since every
// rectangle grows by the same factors, controls that did not overlap at design size do
// not overlap at any size.
class TDesignLayout {
public:
    enum TMeasure { MeasureNone = 0, MeasureWidth = 1, MeasureHeight = 2, MeasureBoth = 3 };

    void Add(QWidget* Control, const QRect& Design, TMeasure Measure = MeasureBoth);
    // The smallest factors, each at least 1, at which every measured control gets the size
    // its content asks for.
    QSizeF Required() const;
    void Apply(const QSizeF& Scale);
    static QRect Scaled(const QRect& Design, const QSizeF& Scale);
    static QSize Scaled(const QSize& Design, const QSizeF& Scale);

private:
    struct TItem {
        QPointer<QWidget> Control;
        QRect Design;
        TMeasure Measure;
    };
    std::vector<TItem> FItems;
};
