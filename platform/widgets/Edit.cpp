#include "platform/widgets/Edit.h"

TEdit::TEdit(QWidget* Parent) : QLineEdit(Parent) {
    connect(this, &QLineEdit::textChanged, this, [this] { emit Change(this); });
}
