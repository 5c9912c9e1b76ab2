#include "config/frConfigure.h"

#include "config/ComponentState.h"
#include "config/DesignLayout.h"
#include "config/IniFileStore.h"
#include "config/StoreSession.h"
#include "config/frConfigureColours.h"
#include "config/frConfigureFractal.h"
#include "config/frConfigureMonitor.h"
#include "panel/FractalPanel.h"
#include "platform/Colour.h"
#include "platform/Errors.h"
#include "platform/session/SaverHosts.h"
#include "platform/widgets/CheckBox.h"
#include "platform/widgets/Edit.h"
#include "platform/widgets/PageControl.h"
#include "platform/widgets/UpDown.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTabBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

namespace {
constexpr int ContainerHeight = 254;
constexpr QRect PreviewDesign(100, 22, 280, 210);
constexpr int PreviewBorder = 8;
constexpr int FramesHeight = 187;
constexpr int FramesBorder = 4;
constexpr int ButtonsHeight = 29;
constexpr QRect OkDesign(401, 0, 75, 25);
constexpr QRect IdleStartDesign(8, 4, 73, 17);
constexpr QRect IdleMinutesEditDesign(84, 2, 29, 21);
constexpr QRect IdleMinutesUpDownDesign(113, 2, 16, 21);
constexpr QRect IdleMinutesDesign(136, 4, 112, 17);
constexpr QRect IdleWatcherDesign(256, 4, 80, 17);
// A second row, under the idle controls, only while a host is named.
constexpr QRect SaverHostDesign(8, 27, 468, 17);
constexpr int SaverHostHeight = 21;

QWidget* MakePanel(QWidget* Parent, const char* Name) {
    auto* Panel = new QWidget(Parent);
    Panel->setObjectName(Name);
    return Panel;
}

// Runs an event handler as the toolkit would: an error leaving it is reported and the
// program goes on.
template <class F> void Guarded(TForm& Form, F&& Handler) {
    try {
        Handler();
    } catch (const std::exception& Error) {
        Form.HandleException(Error);
    }
}
} // namespace

TConfigureFrame::TConfigureFrame(QWidget* Owner) : TForm(Owner) {
    setObjectName("ConfigureFrame");
    setWindowTitle("Ystrelo Configuration");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    BuildLayout();
    OnCreate = [this](QObject* Sender) { FormCreate(Sender); };
}

TConfigureFrame::~TConfigureFrame() {
    // Hidden first, so that the preview stops and the settings are saved while the
    // pages still exist; then the state objects' own save on destruction.
    InOneSession([this] {
        if (isVisible())
            hide();
        delete PreviewPanel.data();
        DoDestroy();
    });
    MonitorPages.clear();
}

void TConfigureFrame::InOneSession(const std::function<void()>& Action) {
    HoldErrors([&] { TStoreSession::Run(*fsConfiguration, Action); });
}

void TConfigureFrame::BuildLayout() {
    fsConfiguration = new TIniFileStore(this);
    fsConfiguration->setObjectName("fsConfiguration");
    fsConfiguration->SetIniFileName("Ystrelo.ini");

    pPreviewContainer = MakePanel(this, "pPreviewContainer");
    pPreview = MakePanel(pPreviewContainer, "pPreview");
    pPreview->setAutoFillBackground(true);
    QPalette Black = pPreview->palette();
    Black.setColor(QPalette::Window, Qt::black);
    pPreview->setPalette(Black);
    auto* PreviewLayout = new QVBoxLayout(pPreview);
    PreviewLayout->setContentsMargins(PreviewBorder, PreviewBorder, PreviewBorder, PreviewBorder);

    pFrames = MakePanel(this, "pFrames");
    pcFrames = new TPageControl(pFrames);
    pcFrames->setObjectName("pcFrames");
    tsColour = pcFrames->AddSheet("Colour", "tsColour");
    tsFractal = pcFrames->AddSheet("Fractal", "tsFractal");
    tsFrames = pcFrames->AddSheet("Frames", "tsFrames");
    pcFrames->SetActivePage(tsColour);

    pButtons = MakePanel(this, "pButtons");
    PB_OK = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), "Close", pButtons);
    PB_OK->setObjectName("PB_OK");
    PB_OK->setDefault(true);
    connect(PB_OK, &QPushButton::clicked, this,
            [this] { Guarded(*this, [this] { PB_OKClick(PB_OK); }); });

    ckIdleStart = new TCheckBox(pButtons);
    ckIdleStart->setObjectName("ckIdleStart");
    ckIdleStart->setText("Start after");
    eIdleMinutes = new TEdit(pButtons);
    eIdleMinutes->setObjectName("eIdleMinutes");
    eIdleMinutes->setAlignment(Qt::AlignRight);
    spIdleMinutes = new TUpDown(pButtons);
    spIdleMinutes->setObjectName("spIdleMinutes");
    spIdleMinutes->SetMin(IdleMinutesLeast);
    spIdleMinutes->SetMax(IdleMinutesMost);
    spIdleMinutes->SetAssociate(eIdleMinutes);
    spIdleMinutes->SetPosition(IdleMinutesDefault);
    lIdleMinutes = new QLabel("minutes without input", pButtons);
    lIdleMinutes->setObjectName("lIdleMinutes");
    lIdleWatcher = new QLabel("Not running", pButtons);
    lIdleWatcher->setObjectName("lIdleWatcher");
    lSaverHost = new QLabel(pButtons);
    lSaverHost->setObjectName("lSaverHost");
    lSaverHost->setVisible(false);
    // The minutes count only while the box is ticked.
    const auto ShowMinutesEnabled = [this] {
        for (QWidget* Control : std::initializer_list<QWidget*>{eIdleMinutes, spIdleMinutes})
            Control->setEnabled(ckIdleStart->Checked());
    };
    connect(ckIdleStart, &TCheckBox::Click, this, ShowMinutesEnabled);
    ShowMinutesEnabled();
    IdleControl = new TIdleControl(this);

    csConfigure = new TComponentState(this);
    csConfigure->setObjectName("csConfigure");
    csConfigure->SetSection("Configuration");
    csConfigure->SetStorage(fsConfiguration);
    csConfigure->SetStoredProperties({"pcFrames.ActivePage"});

    FitLayout();
}

void TConfigureFrame::FitLayout() {
    // One pair of factors for the whole dialog, so that all pages look alike.
    TDesignLayout Buttons;
    Buttons.Add(PB_OK, OkDesign);
    Buttons.Add(ckIdleStart, IdleStartDesign);
    Buttons.Add(eIdleMinutes, IdleMinutesEditDesign, TDesignLayout::MeasureHeight);
    Buttons.Add(spIdleMinutes, IdleMinutesUpDownDesign, TDesignLayout::MeasureNone);
    Buttons.Add(lIdleMinutes, IdleMinutesDesign);
    Buttons.Add(lIdleWatcher, IdleWatcherDesign);
    const bool HostShown = !lSaverHost->isHidden();
    if (HostShown)
        Buttons.Add(lSaverHost, SaverHostDesign);
    QSizeF Scale = Buttons.Required();
    std::vector<TSettingsPage*> Pages{ColoursPage, FractalPage};
    Pages.insert(Pages.end(), MonitorPages.begin(), MonitorPages.end());
    for (auto* Page : Pages)
        if (Page) {
            const QSizeF Need = Page->RequiredScale();
            Scale = {std::max(Scale.width(), Need.width()),
                     std::max(Scale.height(), Need.height())};
        }
    for (auto* Page : Pages)
        if (Page)
            Page->ApplyScale(Scale);

    const QSize Design = TDesignLayout::Scaled(QSize(DesignWidth, DesignHeight), Scale);
    const QSize Tabs = pcFrames->minimumSizeHint();
    const int Width = std::max({Design.width(), Tabs.width() + 2 * FramesBorder,
                                pcFrames->tabBar()->sizeHint().width() + 2 * FramesBorder});
    const int FramesH =
        std::max(int(std::ceil(FramesHeight * Scale.height())), Tabs.height() + 2 * FramesBorder);
    const int ButtonsH =
        int(std::ceil((ButtonsHeight + (HostShown ? SaverHostHeight : 0)) * Scale.height()));

    pPreviewContainer->setGeometry(0, 0, Width, ContainerHeight);
    pPreview->setGeometry((Width - PreviewDesign.width()) / 2, PreviewDesign.top(),
                          PreviewDesign.width(), PreviewDesign.height());
    pFrames->setGeometry(0, ContainerHeight, Width, FramesH);
    pcFrames->setGeometry(FramesBorder, FramesBorder, Width - 2 * FramesBorder,
                          FramesH - 2 * FramesBorder);
    pButtons->setGeometry(0, ContainerHeight + FramesH, Width, ButtonsH);
    Buttons.Apply(Scale);
    // Anchored to the right edge.
    PB_OK->setGeometry(
        TDesignLayout::Scaled(OkDesign, Scale).translated(Width - Design.width(), 0));
    setFixedSize(Width, ContainerHeight + FramesH + ButtonsH);
}

void TConfigureFrame::FormCreate(QObject*) {
    ColoursPage = TFrame::Create<TConfigureColoursFrame>(this);
    ColoursPage->State()->SetStorage(fsConfiguration);
    ColoursPage->OnChange = [this](QObject* Sender) { ColoursChanged(Sender); };
    PlacePage(tsColour, ColoursPage);

    FractalPage = TFrame::Create<TConfigureFractalFrame>(this);
    FractalPage->State()->SetStorage(fsConfiguration);
    FractalPage->OnChange = [this](QObject* Sender) { FractalChanged(Sender); };
    PlacePage(tsFractal, FractalPage);

    MonitorPage = TFrame::Create<TConfigureMonitorFrame>(this);
    MonitorPage->State()->SetStorage(fsConfiguration);
    MonitorPage->OnChange = [this](QObject* Sender) { MonitorChanged(Sender); };
    PlacePage(tsFrames, MonitorPage);
    MonitorPages.push_back(MonitorPage);

    const std::vector<TMonitor> Monitors = TMonitors::List();
    // A list without a primary monitor: the first one stands in for it, so that every
    // monitor still has exactly one page.
    const bool HasPrimary =
        std::any_of(Monitors.begin(), Monitors.end(), [](const TMonitor& M) { return M.Primary; });
    for (std::size_t I = 0; I < Monitors.size(); ++I) {
        TMonitor Monitor = Monitors[I];
        const int Index = static_cast<int>(I);
        const QString PageName = QString("ConfigureMonitorFrame%1").arg(Index);
        const QString Text =
            QString("Monitor %1 (%2 x %3)").arg(Index).arg(Monitor.Width).arg(Monitor.Height);
        if (Monitor.Primary || (!HasPrimary && I == 0)) {
            MonitorPage->BindMonitor(Monitor);
            MonitorPage->setObjectName(PageName);
            if (Monitors.size() > 1)
                pcFrames->setTabText(pcFrames->indexOf(tsFrames), Text);
        } else {
            QWidget* Sheet = pcFrames->AddSheet(Text, QString("ts%1").arg(PageName));
            auto* Page = TFrame::Create<TConfigureMonitorFrame>(this);
            // Named at once: no two pages carry one name, whatever the monitors' order.
            Page->setObjectName(PageName);
            Page->BindMonitor(Monitor);
            Page->OnChange = [this](QObject* Sender) { MonitorChanged(Sender); };
            Page->State()->SetStorage(fsConfiguration);
            PlacePage(Sheet, Page);
            MonitorPages.push_back(Page);
        }
    }
    FitLayout();
    RestoreSettings();
}

void TConfigureFrame::PlacePage(QWidget* Sheet, QWidget* Page) {
    Page->setParent(Sheet);
    auto* Layout = Sheet->layout() ? Sheet->layout() : new QVBoxLayout(Sheet);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->addWidget(Page);
    Page->setVisible(true);
}

void TConfigureFrame::RestoreSettings() {
    // One session: the file is read once for all pages.
    TStoreSession::Run(*fsConfiguration, [this] {
        for (auto* State : States())
            State->RestoreState();
    });
}

void TConfigureFrame::SaveSettings() {
    TStoreSession::Run(*fsConfiguration, [this] {
        for (auto* State : States())
            State->SaveState();
    });
}

std::vector<TComponentState*> TConfigureFrame::States() const {
    std::vector<TComponentState*> Result{csConfigure, ColoursPage->State(), FractalPage->State()};
    for (auto* Page : MonitorPages)
        Result.push_back(Page->State());
    return Result;
}

TConfigureMonitorFrame* TConfigureFrame::LayoutPage(const TMonitor& Monitor) const {
    const auto Found = std::find_if(MonitorPages.begin(), MonitorPages.end(), [&](auto* Page) {
        return Page->Monitor && SameMonitor(*Page->Monitor, Monitor);
    });
    if (Found == MonitorPages.end())
        return nullptr;
    return (*Found)->UsesOwnLayout() ? *Found : MonitorPage;
}

void TConfigureFrame::ApplyToPanel(TFractalPanel& Panel, const TMonitor& Monitor) {
    ApplyToPanel(Panel, &Monitor);
}

void TConfigureFrame::ApplyToPanel(TFractalPanel& Panel, const TMonitor* Monitor) {
    ColoursPage->ApplyTo(Panel);
    // Also hands the colours above to a painter that is running.
    FractalPage->ApplyTo(Panel);
    if (Monitor)
        if (auto* Page = LayoutPage(*Monitor))
            Page->ApplyTo(Panel);
}

void TConfigureFrame::UpdatePreview(TConfigureMonitorFrame* Page) {
    if (!PreviewPanel)
        return;
    ApplyToPanel(*PreviewPanel, Page->Monitor ? &*Page->Monitor : nullptr);
}

void TConfigureFrame::ColoursChanged(QObject*) {
    UpdatePreview(MonitorPage);
}

void TConfigureFrame::FractalChanged(QObject*) {
    UpdatePreview(MonitorPage);
}

void TConfigureFrame::MonitorChanged(QObject* Sender) {
    auto* Page = qobject_cast<TConfigureMonitorFrame*>(Sender);
    if (!Page)
        throw EYstreloError("Invalid class typecast");
    UpdatePreview(Page);
}

void TConfigureFrame::FormShow(QObject*) {
    // A dialog closed and shown again starts without the signs of the last close.
    unsetCursor();
    PB_OK->setEnabled(true);
    if (PreviewPanel)
        return;
    auto* Panel = new TFractalPanel(this);
    Panel->setObjectName("FoPanel");
    Panel->setParent(pPreview);
    pPreview->layout()->addWidget(Panel);
    Panel->setVisible(true);
    Panel->SetBackground(clBlack);
    PreviewPanel = Panel;
    // The layout is laid out now, so that the frames are cut from the panel's real size.
    pPreview->layout()->activate();
    UpdatePreview(MonitorPage);
    PreviewPanel->SetActive(true);
}

void TConfigureFrame::PB_OKClick(QObject*) {
    setCursor(Qt::WaitCursor);
    close();
}

void TConfigureFrame::FormHide(QObject*) {
    PB_OK->setEnabled(false);
    repaint();
    // Freed even when stopping it fails.
    const std::unique_ptr<TFractalPanel> Panel(PreviewPanel.data());
    PreviewPanel.clear();
    if (Panel)
        Panel->SetActive(false);
    SaveSettings();
}

void TConfigureFrame::showEvent(QShowEvent* Event) {
    TForm::showEvent(Event);
    if (Event->spontaneous())
        return;
    if (!FCentred) {
        FCentred = true;
        if (const QScreen* Screen = QGuiApplication::primaryScreen()) {
            QRect Box = frameGeometry();
            Box.moveCenter(Screen->availableGeometry().center());
            move(Box.topLeft());
        }
    }
    Guarded(*this, [this] { FormShow(this); });
    Guarded(*this, [this] { ShowIdleState(); });
}

void TConfigureFrame::ShowIdleState() {
    FIdleFound.reset();
    const TIdleState Found = TIdleControl::Read();
    ckIdleStart->SetChecked(Found.Enabled);
    spIdleMinutes->SetPosition(Found.Minutes);
    lIdleWatcher->setText(Found.Watcher ? "Running now" : "Not running");
    FIdleFound = Found;
    // Such a host starts savers itself, and the watcher steps aside for it.
    const QString Host = QString::fromStdString(TSaverHosts::Running());
    lSaverHost->setText(
        Host.isEmpty()
            ? QString()
            : QString("%1 runs here: choose Ystrelo in its settings instead.").arg(Host));
    if (lSaverHost->isHidden() != Host.isEmpty()) {
        lSaverHost->setVisible(!Host.isEmpty());
        FitLayout();
    }
}

void TConfigureFrame::hideEvent(QHideEvent* Event) {
    TForm::hideEvent(Event);
    if (!Event->spontaneous())
        Guarded(*this, [this] { FormHide(this); });
}

void TConfigureFrame::closeEvent(QCloseEvent* Event) {
    InOneSession([&] {
        TForm::closeEvent(Event);
        // Qt hides a window whose close was accepted right after this; hidden here,
        // FormHide's save joins the session.
        if (!Event->isAccepted())
            return;
        hide();
        if (FIdleFound)
            Guarded(*this, [this] {
                IdleControl->Apply(*std::exchange(FIdleFound, std::nullopt), ckIdleStart->Checked(),
                                   spIdleMinutes->Position());
            });
    });
}

void TConfigureFrame::keyPressEvent(QKeyEvent* Event) {
    // Enter presses the default button wherever the focus is, unless the focused control
    // used the key itself.
    if ((Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter) && PB_OK->isEnabled()) {
        PB_OK->click();
        return;
    }
    TForm::keyPressEvent(Event);
}
