#include "platform/wayland/WaylandOutputs.h"

#include "platform/Errors.h"
#include "platform/wayland/WaylandDisplay.h"
#include "platform/wayland/WaylandPlatform.h"

#include <QScreen>
#include <QString>
#include <QWindow>

#include <wayland-client.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {
// Version 2 brings the scale, version 4 the name.
constexpr std::uint32_t ScaleSince = 2;
constexpr std::uint32_t NameSince = 4;

struct TOutput {
    wl_output* Output = nullptr;
    std::string Name;
    int Scale = 1;
};

// Every output the compositor announces, with its description, on a connection of our
// own. Not on Qt's: a compositor tells a client's surfaces which outputs they are on
// through every wl_output that client has bound, so an output of ours bound there reaches
// Qt's windows, and one already released then reaches them as no output at all, which
// Qt's Wayland platform does not survive.
class TOutputList {
public:
    explicit TOutputList(wl_display* Display) {
        FRegistry = wl_display_get_registry(Display);
        static const wl_registry_listener Listener{&TOutputList::Global,
                                                   [](void*, wl_registry*, std::uint32_t) {}};
        wl_registry_add_listener(FRegistry, &Listener, this);
        // The first round trip announces the outputs, the second their descriptions.
        FRead = wl_display_roundtrip(Display) >= 0 && wl_display_roundtrip(Display) >= 0;
    }
    ~TOutputList() {
        for (const auto& Output : FOutputs)
            wl_output_destroy(Output->Output);
        wl_registry_destroy(FRegistry);
    }
    TOutputList(const TOutputList&) = delete;
    TOutputList& operator=(const TOutputList&) = delete;

    int ScaleOf(const QString& Name) const {
        if (!FRead || FOutputs.empty())
            return 0;
        bool Uniform = true;
        for (const auto& Output : FOutputs) {
            if (!Output->Name.empty() && QString::fromStdString(Output->Name) == Name)
                return Output->Scale;
            Uniform = Uniform && Output->Scale == FOutputs.front()->Scale;
        }
        return Uniform ? FOutputs.front()->Scale : 0;
    }

private:
    static void Global(void* Data, wl_registry* Registry, std::uint32_t Name, const char* Interface,
                       std::uint32_t Version) {
        if (std::strcmp(Interface, wl_output_interface.name) != 0 || Version < ScaleSince)
            return;
        // Of an output's description only its name and scale matter here.
        static const wl_output_listener Listener{
            [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
               std::int32_t, const char*, const char*, std::int32_t) {},
            [](void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {},
            [](void*, wl_output*) {},
            [](void* Output, wl_output*, std::int32_t Factor) {
                static_cast<TOutput*>(Output)->Scale = Factor;
            },
            [](void* Output, wl_output*, const char* OutputName) {
                static_cast<TOutput*>(Output)->Name = OutputName;
            },
            [](void*, wl_output*, const char*) {}};
        auto* List = static_cast<TOutputList*>(Data);
        auto Output = std::make_unique<TOutput>();
        Output->Output = static_cast<wl_output*>(
            wl_registry_bind(Registry, Name, &wl_output_interface, std::min(Version, NameSince)));
        wl_output_add_listener(Output->Output, &Listener, Output.get());
        List->FOutputs.push_back(std::move(Output));
    }

    wl_registry* FRegistry = nullptr;
    std::vector<std::unique_ptr<TOutput>> FOutputs;
    bool FRead = false;
};
} // namespace

int TWaylandOutputs::Scale(const QWindow* Window) {
    const QScreen* Screen = Window ? Window->screen() : nullptr;
    if (!Screen || !TWaylandPlatform::Active())
        return 0;
    try {
        const TWaylandDisplay Own;
        return TOutputList(Own.Display()).ScaleOf(Screen->name());
    } catch (const EYstreloError&) {
        // Qt's connection stands; without ours the scale is just not known.
        return 0;
    }
}

qreal TWaylandOutputs::QtFactor(const QWindow* Window) {
    const int Native = Scale(Window);
    return Native >= 1 ? Window->devicePixelRatio() / Native : 0;
}
