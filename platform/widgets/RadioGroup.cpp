#include "platform/widgets/RadioGroup.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

TRadioGroup::TRadioGroup(QWidget* Parent)
    : QGroupBox(Parent), FButtons(new QButtonGroup(this)), FLayout(new QVBoxLayout(this)) {
    connect(FButtons, &QButtonGroup::idToggled, this, &TRadioGroup::ButtonToggled);
}

void TRadioGroup::SetItems(const QStringList& Value) {
    for (auto* Button : FButtons->buttons()) {
        FButtons->removeButton(Button);
        delete Button;
    }
    FItems = Value;
    for (int I = 0; I < FItems.size(); ++I) {
        auto* Button = new QRadioButton(FItems[I], this);
        FLayout->addWidget(Button);
        FButtons->addButton(Button, I);
    }
    FItemIndex = std::min(FItemIndex, static_cast<int>(FItems.size()) - 1);
    ShowSelection();
}

void TRadioGroup::SetItemIndex(int Value) {
    Value = std::clamp(Value, -1, static_cast<int>(FItems.size()) - 1);
    if (Value == FItemIndex)
        return;
    // Set first, so that the toggled button does not announce the change a second time.
    FItemIndex = Value;
    ShowSelection();
    if (FItemIndex >= 0)
        emit Click(this);
}

void TRadioGroup::ShowSelection() {
    if (FItemIndex >= 0) {
        FButtons->button(FItemIndex)->setChecked(true);
        return;
    }
    // An exclusive group refuses to uncheck its last checked button.
    FButtons->setExclusive(false);
    for (auto* Button : FButtons->buttons())
        Button->setChecked(false);
    FButtons->setExclusive(true);
}

void TRadioGroup::ButtonToggled(int Id, bool Checked) {
    if (!Checked || Id == FItemIndex)
        return;
    FItemIndex = Id;
    emit Click(this);
}
