#pragma once

#include <QCheckBox>

// A check box whose state the settings store reaches as "Checked".
class TCheckBox : public QCheckBox {
    Q_OBJECT
    Q_PROPERTY(bool Checked READ Checked WRITE SetChecked)

public:
    explicit TCheckBox(QWidget* Parent = nullptr);

    bool Checked() const { return isChecked(); }
    void SetChecked(bool Value) { setChecked(Value); }

signals:
    // The state changed, by the user or by the program: both mean the same to a page.
    void Click(QObject* Sender);
};
