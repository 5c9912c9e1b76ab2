#pragma once

#include "platform/VisibilitySource.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;
class TWaylandDisplay;
struct wl_output;
struct wl_proxy;
struct wl_registry;

// KDE Plasma's sign: KWin tells the power mode of every output (on, standby, suspend,
// off) through org_kde_kwin_dpms. Nobody sees the windows while every output they are on
// is in any mode but on. The modes are only read: setting them is the desktop's affair.
//
// On a connection of its own, as TWaylandOutputs reads the outputs: an output bound on
// Qt's would reach Qt's windows.
class TKdeDpmsSource : public QObject, public TVisibilitySource {
    Q_OBJECT

public:
    // org_kde_kwin_dpms's modes.
    static constexpr std::uint32_t ModeOn = 0;

    // Outputs: the names of the outputs the windows are on, as Qt names its screens.
    // Nothing when the compositor offers no org_kde_kwin_dpms_manager.
    static std::unique_ptr<TKdeDpmsSource> Open(const std::vector<std::string>& Outputs);
    ~TKdeDpmsSource() override;

    bool Seen() const override;
    void Watch(std::function<void()> Changed) override;

    struct TOutput {
        std::uint32_t Global = 0;
        wl_output* Output = nullptr;
        wl_proxy* Dpms = nullptr;
        std::string Name;
        bool Supported = true;
        std::uint32_t Mode = ModeOn;
    };

private:
    TKdeDpmsSource(std::unique_ptr<TWaylandDisplay> Display, const std::vector<std::string>& Outputs);
    static void Global(void* Data, wl_registry* Registry, std::uint32_t Name,
                       const char* Interface, std::uint32_t Version);
    static void GlobalRemove(void* Data, wl_registry* Registry, std::uint32_t Name);
    void WatchOutput(TOutput& Output);
    void Dispatch();

    std::unique_ptr<TWaylandDisplay> FDisplay;
    std::vector<std::string> FNames;
    wl_registry* FRegistry = nullptr;
    wl_proxy* FManager = nullptr;
    std::vector<std::unique_ptr<TOutput>> FOutputs;
    std::unique_ptr<QSocketNotifier> FNotifier;
    std::function<void()> FChanged;
};
