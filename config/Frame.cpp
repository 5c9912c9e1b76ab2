#include "config/Frame.h"

#include "config/AbstractState.h"

TFrame::TFrame(QWidget* Parent) : QWidget(Parent) {}

void TFrame::AfterConstruction() {
    TAbstractState::LoadOwned(this);
}
