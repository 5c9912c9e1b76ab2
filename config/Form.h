#pragma once

#include <QWidget>

#include <exception>
#include <functional>
#include <utility>

class QCloseEvent;

// Base of the program's top-level windows. It offers the three moments that state objects
// hook into - creation finished, close requested, destruction - as handler fields that a
// newcomer replaces after keeping the old one, so that any number of hooks chain.
class TForm : public QWidget {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;
    using TCloseQueryEvent = std::function<void(QObject* Sender, bool& CanClose)>;

    explicit TForm(QWidget* Parent = nullptr);
    ~TForm() override;

    // C++ has no moment after the most derived constructor; forms are built through here so
    // that their components are told they are loaded and OnCreate runs on a complete form.
    template <class T, class... TArgs> static T* Create(TArgs&&... Args) {
        auto* Form = new T(std::forward<TArgs>(Args)...);
        Form->AfterConstruction();
        return Form;
    }

    void AfterConstruction();
    // Runs OnDestroy once. ~TForm calls it, but only after the derived parts are gone: a
    // derived destructor that frees what the handlers need calls it first.
    void DoDestroy();

    // The application's standard report of an error that left an event handler.
    static void ShowException(const std::exception& Error);
    // Where an error that left one of this form's handlers goes; call it while handling
    // the error. Reported at once, or, inside HoldErrors, kept if it is the first.
    void HandleException(const std::exception& Error);
    // Runs Action as one event: the errors that leave this form's handlers meanwhile, and
    // Action's own, give one report, of the first, when the outermost HoldErrors ends.
    // Never raises, so that a destructor may use it.
    void HoldErrors(const std::function<void()>& Action) noexcept;

    TNotifyEvent OnCreate;
    TCloseQueryEvent OnCloseQuery;
    TNotifyEvent OnDestroy;

signals:
    // The handler fields are about to go; whoever hooked them must not touch them again.
    void Destroying();

protected:
    void closeEvent(QCloseEvent* Event) override;

private:
    bool FCreated = false;
    bool FDestroyed = false;
    int FHoldDepth = 0;
    std::exception_ptr FHeldError;
};
