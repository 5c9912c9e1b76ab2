#include "host/SaverStartup.h"

#include "config/frConfigure.h"
#include "host/Application.h"
#include "host/FR_Main_Unit.h"
#include "host/StartupState.h"
#include "panel/FractalPanel.h"
#include "platform/Errors.h"
#include "platform/qt/Monitors.h"

#include <QPointer>

#include <cstddef>
#include <string>

namespace {
constexpr const char* PrimaryCaption = "Primary";
constexpr const char* SecondaryCaption = "Secondary ";
// Where a desktop without a primary monitor is reported: the program's own source name
// and the line its users know the report by.
constexpr const char* AssertMessage = "Assertion failure";
constexpr const char* AssertSource = "Ystrelo";
constexpr int NoPrimaryLine = 151;

TApplication& Application() {
    TApplication* Result = TApplication::Instance();
    if (!Result)
        throw EYstreloError("TApplication: no application object");
    return *Result;
}
} // namespace

QWidget* StartConfigureMode() {
    ConfigureFrame = Application().CreateForm<TConfigureFrame>();
    return ConfigureFrame;
}

QWidget* StartSaverMode() {
    TApplication& App = Application();
    const std::vector<TMonitor> Monitors = TMonitors::List();
    PrimaryWindow = nullptr;
    for (const TMonitor& Monitor : Monitors) {
        if (!Monitor.Primary)
            continue;
        TFR_Saver* Window = App.CreateForm<TFR_Saver>();
        Window->setWindowTitle(PrimaryCaption);
        Window->SetMonitor(Monitor);
        Window->ShowOnMonitor();
        Window->Primary = true;
        PrimaryWindow = Window;
        break;
    }
    if (!PrimaryWindow)
        throw EAssertionFailed(std::string(AssertMessage) + " (" + AssertSource + ", line " +
                               std::to_string(NoPrimaryLine) + ")");

    ConfigureFrame = App.CreateForm<TConfigureFrame>();
    ConfigureFrame->ApplyToPanel(*PrimaryWindow->Panel, *PrimaryWindow->Monitor());

    for (std::size_t Index = 0; Index < Monitors.size(); ++Index) {
        const TMonitor& Monitor = Monitors[Index];
        if (Monitor.Primary)
            continue;
        TFR_Saver* Window = App.CreateForm<TFR_Saver>();
        Window->setWindowTitle(QString::fromStdString(SecondaryCaption + std::to_string(Index)));
        Window->SetMonitor(Monitor);
        Window->ShowOnMonitor();
        // Every movement, over any monitor, is measured by the primary window from the
        // one first position it recorded, and ends the whole saver.
        const auto ToPrimary = [Primary = QPointer<TFR_Saver>(PrimaryWindow)](
                                   QObject* Sender, Qt::KeyboardModifiers Shift, std::int32_t X,
                                   std::int32_t Y) {
            if (Primary)
                Primary->FormMouseMove(Sender, Shift, X, Y);
        };
        Window->WindowMouse->OnMouseMove = ToPrimary;
        Window->PanelMouse->OnMouseMove = ToPrimary;
        ConfigureFrame->ApplyToPanel(*Window->Panel, *Window->Monitor());
        PrimaryWindow->Panel->LinkPanel(Window->Panel);
    }
    // The secondary windows were shown later and may have taken the focus; keys belong to
    // the primary monitor's window.
    PrimaryWindow->activateWindow();
    return PrimaryWindow;
}

void EndWindowedMode() {
    if (TApplication* App = TApplication::Instance())
        App->FreeForms();
    PrimaryWindow = nullptr;
    ConfigureFrame = nullptr;
}
