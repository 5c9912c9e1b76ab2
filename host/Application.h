#pragma once

#include "config/Form.h"

#include <QApplication>
#include <QPointer>

#include <vector>

// The application object of the windowed modes. An error that leaves an event handler
// is reported on standard error and the program goes on, instead of unwinding through
// the toolkit's event loop.
//
// It owns the program's top-level forms: the first one created is the main window,
// whose closing ends the message loop; closing any other only hides it.
class TApplication : public QApplication {
    Q_OBJECT
public:
    static constexpr const char* Title = "Ystrelo";

    TApplication(int& Argc, char** Argv);
    ~TApplication() override;

    // The running application object; none outside the windowed modes.
    static TApplication* Instance();

    bool notify(QObject* Receiver, QEvent* Event) override;

    // Creates a form owned by the application; the first becomes the main window.
    template <class T, class... TArgs> T* CreateForm(TArgs&&... Args) {
        T* Form = TForm::Create<T>(std::forward<TArgs>(Args)...);
        AddForm(Form);
        return Form;
    }
    QWidget* MainForm() const { return FMainForm; }
    // The teardown: hides every form (so each stops what it runs), then frees them, the
    // last created first.
    void FreeForms();

private:
    void AddForm(QWidget* Form);

    std::vector<QPointer<QWidget>> FForms;
    QPointer<QWidget> FMainForm;
};
