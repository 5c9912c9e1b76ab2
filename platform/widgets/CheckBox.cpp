#include "platform/widgets/CheckBox.h"

TCheckBox::TCheckBox(QWidget* Parent) : QCheckBox(Parent) {
    connect(this, &QCheckBox::toggled, this, [this] { emit Click(this); });
}
