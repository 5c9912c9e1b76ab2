#include "platform/widgets/UpDown.h"

#include "platform/widgets/Edit.h"

#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

TUpDown::TUpDown(QWidget* Parent) : QWidget(Parent) {
    auto* Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->setSpacing(0);
    for (const auto Arrow : {Qt::UpArrow, Qt::DownArrow}) {
        auto* Button = new QToolButton(this);
        Button->setArrowType(Arrow);
        Button->setAutoRepeat(true);
        Button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        Layout->addWidget(Button);
        const int Step = Arrow == Qt::UpArrow ? 1 : -1;
        // Saturates at the ends: Max is at most INT_MAX, so Position + 1 is checked first.
        connect(Button, &QToolButton::clicked, this, [this, Step] {
            if ((Step > 0 && FPosition < FMax) || (Step < 0 && FPosition > FMin))
                SetPosition(FPosition + Step);
        });
    }
}

void TUpDown::SetMin(int Value) {
    FMin = Value;
    FMax = std::max(FMax, FMin);
    SetPosition(FPosition);
}

void TUpDown::SetMax(int Value) {
    FMax = Value;
    FMin = std::min(FMin, FMax);
    SetPosition(FPosition);
}

void TUpDown::SetPosition(int Value) {
    FPosition = std::clamp(Value, FMin, FMax);
    ShowPosition();
}

void TUpDown::SetAssociate(TEdit* Value) {
    if (FAssociate)
        disconnect(FBuddyConnection);
    FAssociate = Value;
    if (!FAssociate)
        return;
    FBuddyConnection = connect(FAssociate, &QLineEdit::textEdited, this, &TUpDown::BuddyEdited);
    ShowPosition();
}

void TUpDown::ShowPosition() {
    const auto Text = QString::number(FPosition);
    if (FAssociate && FAssociate->text() != Text)
        FAssociate->setText(Text);
}

void TUpDown::BuddyEdited(const QString& Text) {
    bool Ok = false;
    const int Value = Text.trimmed().toInt(&Ok);
    if (Ok && Value >= FMin && Value <= FMax)
        FPosition = Value;
}
