#pragma once

#include "config/Form.h"
#include "config/IdleControl.h"
#include "platform/BlankingSource.h"
#include "platform/qt/Monitors.h"

#include <QPointer>

#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QPushButton;
class QWidget;
class TCheckBox;
class TComponentState;
class TConfigureColoursFrame;
class TConfigureFractalFrame;
class TConfigureMonitorFrame;
class TEdit;
class TFractalPanel;
class TIniFileStore;
class TPageControl;
class TUpDown;

// The configuration dialog, and at the same time the holder of the current settings for
// every saver window: its pages keep the values, its store keeps them in the settings
// file. In configure mode it is shown with a live preview; in saver mode it stays hidden
// and only hands the settings to the saver windows' panels.
class TConfigureFrame : public TForm {
    Q_OBJECT

public:
    // Design-time client size.
    static constexpr int DesignWidth = 480;
    static constexpr int DesignHeight = 470;

    explicit TConfigureFrame(QWidget* Owner = nullptr);
    ~TConfigureFrame() override;

    // Hands the Colour and Fractal settings and Monitor's frame layout to Panel. A monitor
    // without a Frames page leaves the panel's layout as it is.
    void ApplyToPanel(TFractalPanel& Panel, const TMonitor& Monitor);
    void RestoreSettings();
    // One write of the file at the end, unless a session is open already. Raises when a
    // value cannot be written: the state objects after the failing one are not saved by
    // this call, those before it are.
    void SaveSettings();
    void PlacePage(QWidget* Sheet, QWidget* Page);
    void UpdatePreview(TConfigureMonitorFrame* Page);

    // The pages' change handlers.
    void ColoursChanged(QObject* Sender);
    void FractalChanged(QObject* Sender);
    // Sender must be a Frames page.
    void MonitorChanged(QObject* Sender);

    void FormCreate(QObject* Sender);
    void FormShow(QObject* Sender);
    void FormHide(QObject* Sender);
    void PB_OKClick(QObject* Sender);

    // Design-time components.
    QWidget* pPreviewContainer = nullptr;
    QWidget* pPreview = nullptr;
    QWidget* pFrames = nullptr;
    TPageControl* pcFrames = nullptr;
    QWidget* tsColour = nullptr;
    QWidget* tsFractal = nullptr;
    QWidget* tsFrames = nullptr;
    QWidget* pButtons = nullptr;
    QPushButton* PB_OK = nullptr;
    // Starting on idle: no setting of the file, but the session's autostart entry and
    // watcher, shown as found and changed when the dialog closes.
    TCheckBox* ckIdleStart = nullptr;
    TEdit* eIdleMinutes = nullptr;
    TUpDown* spIdleMinutes = nullptr;
    QLabel* lIdleMinutes = nullptr;
    QLabel* lIdleWatcher = nullptr;
    // Only where a screen-saver host would start the saver itself.
    QLabel* lSaverHost = nullptr;
    // Only where the desktop turns the screen dark before the saver would start.
    QLabel* lScreenBlank = nullptr;
    TIdleControl* IdleControl = nullptr;
    TComponentState* csConfigure = nullptr;
    TIniFileStore* fsConfiguration = nullptr;

    // Built at run time.
    TConfigureColoursFrame* ColoursPage = nullptr;
    TConfigureFractalFrame* FractalPage = nullptr;
    TConfigureMonitorFrame* MonitorPage = nullptr;
    // Every Frames page, the primary's first; not owning.
    std::vector<TConfigureMonitorFrame*> MonitorPages;
    // The live preview; exists only while the dialog is shown.
    QPointer<TFractalPanel> PreviewPanel;

protected:
    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    void BuildLayout();
    // Sizes the dialog and its pages so that every caption fits the desktop's font.
    void FitLayout();
    // None: the Colour and Fractal settings only.
    void ApplyToPanel(TFractalPanel& Panel, const TMonitor* Monitor);
    // The Frames page whose layout Monitor's panel shows.
    TConfigureMonitorFrame* LayoutPage(const TMonitor& Monitor) const;
    // Every state component, in the order RestoreSettings and SaveSettings take them.
    std::vector<TComponentState*> States() const;
    // Runs Action, a close or a teardown, as one session of the settings store: every
    // save on the way shares one read and one write of the file, and of the errors on the
    // way only the first is reported. Never raises.
    void InOneSession(const std::function<void()>& Action);
    void ShowIdleState();
    void ShowScreenBlank();
    // Brings the session to the idle controls' choice when the dialog closes.
    void ApplyIdleChoice();

    bool FCentred = false;
    // What the idle controls showed when the dialog opened; none when it could not be read,
    // and then a close leaves the session alone.
    std::optional<TIdleState> FIdleFound;
    // The desktop's own blanking, once read.
    std::unique_ptr<TBlankingSource> FBlankingSource;
    std::optional<TBlanking> FBlanking;
};
