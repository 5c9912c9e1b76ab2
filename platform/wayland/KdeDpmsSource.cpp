#include "platform/wayland/KdeDpmsSource.h"

#include "platform/Errors.h"
#include "platform/wayland/WaylandDisplay.h"

#include <QSocketNotifier>

#include <wayland-client.h>

#include <algorithm>
#include <cstring>

namespace {
// org_kde_kwin_dpms_manager and org_kde_kwin_dpms as their protocol file (dpms.xml of
// plasma-wayland-protocols) describes them, version 1. Written out here rather than
// generated, as they are this small, as kde_primary_output_v1 is.
extern const wl_interface DpmsInterface;
const wl_interface* NoTypes[] = {nullptr};
const wl_interface* GetTypes[] = {&DpmsInterface, &wl_output_interface};
const wl_message ManagerRequests[] = {{"get", "no", GetTypes}};
const wl_interface ManagerInterface = {"org_kde_kwin_dpms_manager", 1, 1, ManagerRequests, 0,
                                       nullptr};
const wl_message DpmsRequests[] = {{"set", "u", NoTypes}, {"release", "", NoTypes}};
const wl_message DpmsEvents[] = {
    {"supported", "u", NoTypes}, {"mode", "u", NoTypes}, {"done", "", NoTypes}};
const wl_interface DpmsInterface = {"org_kde_kwin_dpms", 1, 2, DpmsRequests, 3, DpmsEvents};
constexpr std::uint32_t GetRequest = 0;
constexpr std::uint32_t ReleaseRequest = 1;
// Version 4 brings the output's name.
constexpr std::uint32_t OutputVersion = 4;

using TOutput = TKdeDpmsSource::TOutput;
// A listener is a table of the interface's event handlers, in the order of its events.
struct TDpmsListener {
    void (*Supported)(void*, wl_proxy*, std::uint32_t);
    void (*Mode)(void*, wl_proxy*, std::uint32_t);
    void (*Done)(void*, wl_proxy*);
};
const TDpmsListener DpmsListener = {
    [](void* Output, wl_proxy*, std::uint32_t Supported) {
        static_cast<TOutput*>(Output)->Supported = Supported != 0;
    },
    [](void* Output, wl_proxy*, std::uint32_t Mode) { static_cast<TOutput*>(Output)->Mode = Mode; },
    [](void*, wl_proxy*) {}};

const wl_output_listener OutputListener{
    [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
       const char*, const char*, std::int32_t) {},
    [](void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {},
    [](void*, wl_output*) {},
    [](void*, wl_output*, std::int32_t) {},
    [](void* Output, wl_output*, const char* Name) { static_cast<TOutput*>(Output)->Name = Name; },
    [](void*, wl_output*, const char*) {}};

void Release(TOutput& Output) {
    if (Output.Dpms) {
        wl_proxy_marshal(Output.Dpms, ReleaseRequest);
        wl_proxy_destroy(Output.Dpms);
    }
    if (Output.Output)
        wl_output_destroy(Output.Output);
}
} // namespace

std::unique_ptr<TKdeDpmsSource> TKdeDpmsSource::Open(const std::vector<std::string>& Outputs) {
    std::unique_ptr<TWaylandDisplay> Display;
    try {
        Display = std::make_unique<TWaylandDisplay>();
    } catch (const EYstreloError&) {
        // Qt's connection stands; without ours there is nothing to read.
        return nullptr;
    }
    std::unique_ptr<TKdeDpmsSource> Source(new TKdeDpmsSource(std::move(Display), Outputs));
    return Source->FManager ? std::move(Source) : nullptr;
}

TKdeDpmsSource::TKdeDpmsSource(std::unique_ptr<TWaylandDisplay> Display,
                               const std::vector<std::string>& Outputs)
    : FDisplay(std::move(Display)), FNames(Outputs) {
    wl_display* D = FDisplay->Display();
    FRegistry = wl_display_get_registry(D);
    static const wl_registry_listener Listener{&TKdeDpmsSource::Global,
                                               &TKdeDpmsSource::GlobalRemove};
    wl_registry_add_listener(FRegistry, &Listener, this);
    // The globals; then the outputs' names and, once the manager is known, each output's
    // mode, which the compositor sends as the object is made.
    wl_display_roundtrip(D);
    for (auto& Output : FOutputs)
        WatchOutput(*Output);
    wl_display_roundtrip(D);
}

TKdeDpmsSource::~TKdeDpmsSource() {
    for (auto& Output : FOutputs)
        Release(*Output);
    if (FManager)
        wl_proxy_destroy(FManager);
    if (FRegistry)
        wl_registry_destroy(FRegistry);
    wl_display_flush(FDisplay->Display());
}

void TKdeDpmsSource::Global(void* Data, wl_registry* Registry, std::uint32_t Name,
                            const char* Interface, std::uint32_t Version) {
    auto* Source = static_cast<TKdeDpmsSource*>(Data);
    if (std::strcmp(Interface, ManagerInterface.name) == 0 && !Source->FManager) {
        Source->FManager =
            static_cast<wl_proxy*>(wl_registry_bind(Registry, Name, &ManagerInterface, 1));
        return;
    }
    if (std::strcmp(Interface, wl_output_interface.name) != 0)
        return;
    auto Output = std::make_unique<TOutput>();
    Output->Global = Name;
    Output->Output = static_cast<wl_output*>(
        wl_registry_bind(Registry, Name, &wl_output_interface, std::min(Version, OutputVersion)));
    wl_output_add_listener(Output->Output, &OutputListener, Output.get());
    // An output plugged in later: its mode comes with the next events.
    if (Source->FManager && Source->FNotifier)
        Source->WatchOutput(*Output);
    Source->FOutputs.push_back(std::move(Output));
}

void TKdeDpmsSource::GlobalRemove(void* Data, wl_registry*, std::uint32_t Name) {
    auto& Outputs = static_cast<TKdeDpmsSource*>(Data)->FOutputs;
    const auto It = std::find_if(Outputs.begin(), Outputs.end(),
                                 [Name](const auto& Output) { return Output->Global == Name; });
    if (It == Outputs.end())
        return;
    Release(**It);
    Outputs.erase(It);
}

void TKdeDpmsSource::WatchOutput(TOutput& Output) {
    if (!FManager || Output.Dpms)
        return;
    Output.Dpms = wl_proxy_marshal_constructor(FManager, GetRequest, &DpmsInterface, nullptr,
                                               Output.Output);
    wl_proxy_add_listener(Output.Dpms,
                          reinterpret_cast<void (**)(void)>(const_cast<TDpmsListener*>(&DpmsListener)),
                          &Output);
}

bool TKdeDpmsSource::Seen() const {
    const auto Asleep = [](const TOutput& Output) {
        return Output.Supported && Output.Mode != ModeOn;
    };
    const auto Ours = [this](const TOutput& Output) {
        return std::find(FNames.begin(), FNames.end(), Output.Name) != FNames.end();
    };
    if (FOutputs.empty())
        return true;
    // Outputs whose names Qt's do not match: then all of them count.
    const bool Named = std::any_of(FOutputs.begin(), FOutputs.end(),
                                   [&](const auto& Output) { return Ours(*Output); });
    return std::any_of(FOutputs.begin(), FOutputs.end(), [&](const auto& Output) {
        return (!Named || Ours(*Output)) && !Asleep(*Output);
    });
}

void TKdeDpmsSource::Watch(std::function<void()> Changed) {
    FChanged = std::move(Changed);
    wl_display* D = FDisplay->Display();
    FNotifier = std::make_unique<QSocketNotifier>(wl_display_get_fd(D), QSocketNotifier::Read);
    connect(FNotifier.get(), &QSocketNotifier::activated, this, &TKdeDpmsSource::Dispatch);
}

void TKdeDpmsSource::Dispatch() {
    const bool Was = Seen();
    wl_display* D = FDisplay->Display();
    // Readable: the read does not block.
    if (wl_display_dispatch(D) < 0) {
        // The compositor is gone, and Qt ends the program for it: nothing more to tell.
        FNotifier->setEnabled(false);
        for (auto& Output : FOutputs)
            Release(*Output);
        FOutputs.clear();
    }
    wl_display_flush(D);
    if (Seen() != Was && FChanged)
        FChanged();
}
