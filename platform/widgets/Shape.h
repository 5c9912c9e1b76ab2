#pragma once

#include <QWidget>

// A drawing-only rounded rectangle outline, as a frame around other controls.
class TShape : public QWidget {
    Q_OBJECT

public:
    explicit TShape(QWidget* Parent = nullptr);

protected:
    void paintEvent(QPaintEvent* Event) override;
};
