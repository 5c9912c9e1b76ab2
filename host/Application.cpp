#include "host/Application.h"

#include "platform/ErrorLine.h"
#include "platform/Errors.h"
#include "platform/qt/ErrorReport.h"

#include <exception>

TApplication::TApplication(int& Argc, char** Argv, TReport Report)
    : QApplication(Argc, Argv), FReport(Report) {
    setApplicationName(Title);
    setApplicationDisplayName(Title);
    // Every queued mouse move is its own event: merged into one, the moves of a user who
    // came back while the saver was still busy would count as the first event alone. (Qt
    // sets the attribute while it constructs the application, so it is turned off here.)
    setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
    TErrorReport::SetHandler([this](const std::exception& Error) { this->Report(Error); });
}

void TApplication::Report(const std::exception& Error) {
    FErrorsReported = true;
    // The windowed modes' standard error report: a line on standard error for whoever
    // started us, and a message box for the user at the screen while there is one.
    WriteErrorLine(Error.what());
    if (FReport == TReport::Windowed && !FTearingDown && FMainForm && FMainForm->isVisible())
        TErrorReport::MessageBox(Error);
}

TApplication::~TApplication() {
    FreeForms();
    TErrorReport::SetHandler(nullptr);
}

TApplication* TApplication::Instance() {
    return qobject_cast<TApplication*>(QCoreApplication::instance());
}

bool TApplication::notify(QObject* Receiver, QEvent* Event) {
    try {
        return QApplication::notify(Receiver, Event);
    } catch (const std::exception& Error) {
        TErrorReport::Show(Error);
    } catch (...) {
        TErrorReport::Show(EYstreloError("unknown error"));
    }
    return false;
}

void TApplication::AddForm(QWidget* Form) {
    const bool Main = !FMainForm;
    // Qt ends the loop when the last window marked so closes; only the main window is.
    Form->setAttribute(Qt::WA_QuitOnClose, Main);
    if (Main)
        FMainForm = Form;
    FForms.emplace_back(Form);
}

void TApplication::FreeForms() {
    FTearingDown = true;
    // Hiding first: every window stops its painter while all the panels of a painting
    // rotation still exist.
    for (const auto& Form : FForms)
        if (Form)
            Form->hide();
    while (!FForms.empty()) {
        delete FForms.back().data();
        FForms.pop_back();
    }
    FMainForm = nullptr;
}
