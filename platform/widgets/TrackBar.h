#pragma once

#include <QSlider>

// A horizontal slider with the property names the settings store uses ("Position").
class TTrackBar : public QSlider {
    Q_OBJECT
    Q_PROPERTY(int Min READ Min WRITE SetMin)
    Q_PROPERTY(int Max READ Max WRITE SetMax)
    Q_PROPERTY(int Position READ Position WRITE SetPosition)
    Q_PROPERTY(int Frequency READ Frequency WRITE SetFrequency)
    Q_PROPERTY(int PageSize READ PageSize WRITE SetPageSize)

public:
    explicit TTrackBar(QWidget* Parent = nullptr);

    int Min() const { return minimum(); }
    void SetMin(int Value) { setMinimum(Value); }
    int Max() const { return maximum(); }
    void SetMax(int Value) { setMaximum(Value); }
    int Position() const { return value(); }
    // Kept within Min and Max.
    void SetPosition(int Value) { setValue(Value); }
    int Frequency() const { return tickInterval(); }
    void SetFrequency(int Value) { setTickInterval(Value); }
    int PageSize() const { return pageStep(); }
    void SetPageSize(int Value) { setPageStep(Value); }

signals:
    // The position really changed; setting the same position announces nothing.
    void Change(QObject* Sender);
};
