#include "config/SettingsPage.h"

#include "config/ComponentState.h"
#include "config/Form.h"
#include "platform/widgets/CheckBox.h"

#include <QLabel>

TSettingsPage::TSettingsPage(QWidget* Owner, const QString& FormName, const QSize& DesignSize)
    : TFrame(Owner), FDesignSize(DesignSize) {
    setObjectName(FormName);
    resize(DesignSize);
}

void TSettingsPage::Changed() {
    if (OnChange)
        OnChange(this);
}

void TSettingsPage::ApplyScale(const QSizeF& Scale) {
    FLayout.Apply(Scale);
    setMinimumSize(TDesignLayout::Scaled(FDesignSize, Scale));
}

TComponentState* TSettingsPage::MakeState(const QString& Name, const QString& Section,
                                          const QStringList& StoredProperties) {
    FState = new TComponentState(this);
    FState->setObjectName(Name);
    FState->SetSection(Section);
    FState->SetStoredProperties(StoredProperties);
    return FState;
}

TCheckBox* TSettingsPage::MakeCheckBox(const char* Name, const QString& Caption,
                                       const QRect& Design, bool Checked) {
    auto* Box = new TCheckBox(this);
    Box->setObjectName(Name);
    Box->setText(Caption);
    Box->SetChecked(Checked);
    FLayout.Add(Box, Design);
    return Box;
}

QLabel* TSettingsPage::MakeLabel(const char* Name, const QString& Caption, const QRect& Design,
                                 Qt::Alignment Alignment) {
    auto* Label = new QLabel(Caption, this);
    Label->setObjectName(Name);
    Label->setAlignment(Alignment | Qt::AlignVCenter);
    FLayout.Add(Label, Design);
    return Label;
}

void TSettingsPage::Guarded(const std::function<void()>& Handler) {
    try {
        Handler();
    } catch (const std::exception& Error) {
        TForm::ShowException(Error);
    }
}
