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

    // How errors that leave handlers are reported: always a line on standard error, and
    // a message box for the user at the screen while the main window is up (Windowed), or
    // never (Hosted: the window belongs to a screen-saver host and nobody answers a box).
    enum class TReport { Windowed, Hosted };

    TApplication(int& Argc, char** Argv, TReport Report = TReport::Windowed);
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
    // last created first. From here on errors are never shown in a box: the windows are
    // going, and a modal box would hold the program (and its guard) until someone came.
    void FreeForms();
    // Whether any error was reported: the program then does not end with success.
    bool ErrorsReported() const { return FErrorsReported; }

private:
    void AddForm(QWidget* Form);
    void Report(const std::exception& Error);

    TReport FReport;
    bool FTearingDown = false;
    bool FErrorsReported = false;
    std::vector<QPointer<QWidget>> FForms;
    QPointer<QWidget> FMainForm;
};
