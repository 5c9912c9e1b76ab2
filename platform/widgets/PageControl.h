#pragma once

#include <QTabWidget>

// A tab control whose shown page the settings store reaches as "ActivePage". The page is a
// reference to another component, which the store neither writes nor reads.
class TPageControl : public QTabWidget {
    Q_OBJECT
    Q_PROPERTY(QWidget* ActivePage READ ActivePage WRITE SetActivePage)

public:
    explicit TPageControl(QWidget* Parent = nullptr);

    QWidget* ActivePage() const { return currentWidget(); }
    void SetActivePage(QWidget* Value) { setCurrentWidget(Value); }
    // Appends a sheet with the caption and returns it.
    QWidget* AddSheet(const QString& Caption, const QString& Name);
};
