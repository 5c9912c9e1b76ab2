#include "config/Form.h"

#include "config/AbstractState.h"
#include "platform/qt/ErrorReport.h"

#include <QCloseEvent>

TForm::TForm(QWidget* Parent) : QWidget(Parent) {}

TForm::~TForm() {
    DoDestroy();
    emit Destroying();
}

void TForm::AfterConstruction() {
    if (FCreated)
        return;
    FCreated = true;
    TAbstractState::LoadOwned(this);
    // A copy, because a handler may hook new state objects in while it runs.
    if (auto Handler = OnCreate) {
        try {
            Handler(this);
        } catch (const std::exception& Error) {
            HandleException(Error);
        }
    }
}

void TForm::DoDestroy() {
    if (FDestroyed)
        return;
    FDestroyed = true;
    if (auto Handler = OnDestroy) {
        try {
            Handler(this);
        } catch (const std::exception& Error) {
            HandleException(Error);
        }
    }
}

void TForm::ShowException(const std::exception& Error) {
    TErrorReport::Show(Error);
}

void TForm::HandleException(const std::exception& Error) {
    if (FHoldDepth == 0)
        ShowException(Error);
    else if (!FHeldError)
        FHeldError = std::current_exception();
}

void TForm::HoldErrors(const std::function<void()>& Action) noexcept {
    ++FHoldDepth;
    try {
        Action();
    } catch (const std::exception& Error) {
        HandleException(Error);
    }
    if (--FHoldDepth > 0 || !FHeldError)
        return;
    try {
        std::rethrow_exception(std::exchange(FHeldError, nullptr));
    } catch (const std::exception& Error) {
        ShowException(Error);
    }
}

void TForm::closeEvent(QCloseEvent* Event) {
    bool CanClose = true;
    if (auto Handler = OnCloseQuery) {
        // A failing handler is reported and the close goes on as far as it had decided.
        try {
            Handler(this, CanClose);
        } catch (const std::exception& Error) {
            HandleException(Error);
        }
    }
    if (CanClose)
        Event->accept();
    else
        Event->ignore();
}
