#include "platform/widgets/PageControl.h"

TPageControl::TPageControl(QWidget* Parent) : QTabWidget(Parent) {}

QWidget* TPageControl::AddSheet(const QString& Caption, const QString& Name) {
    auto* Sheet = new QWidget(this);
    Sheet->setObjectName(Name);
    addTab(Sheet, Caption);
    return Sheet;
}
