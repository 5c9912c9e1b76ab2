#pragma once

#include <QWidget>

#include <utility>

// Base of the embeddable pages. A frame's state objects hook into the form that holds it,
// so the frame only has to tell its components when its layout is complete.
class TFrame : public QWidget {
    Q_OBJECT

public:
    explicit TFrame(QWidget* Parent = nullptr);

    template <class T, class... TArgs> static T* Create(TArgs&&... Args) {
        auto* Frame = new T(std::forward<TArgs>(Args)...);
        Frame->AfterConstruction();
        return Frame;
    }

    void AfterConstruction();
};
