// fake-kde-session: what KDE Plasma's X11 session serves on the session bus about screen
// savers, for the idle watcher's tests (there is no headless Plasma session to run).
// KDE's screen locker, in ksmserver, owns org.freedesktop.ScreenSaver and hands each
// Inhibit on to PowerDevil's policy agent as a hold on the screen's settings; the agent
// answers HasInhibition, signals InhibitionsChanged, and starts the X server's idle time
// again whenever the first hold comes or the last goes. A hold lasts until taken back or
// until its caller leaves the bus. The agent here enforces a hold at once, where
// PowerDevil waits 5 s.
//
// Its stderr says "ready" once it owns the names; it lives until killed.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusServiceWatcher>
#include <QList>
#include <QPair>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>
#include <xcb/xcb.h>

namespace {
const QString AgentPath = QStringLiteral("/org/kde/Solid/PowerManagement/PolicyAgent");
const QString AgentInterface = QStringLiteral("org.kde.Solid.PowerManagement.PolicyAgent");

using TInhibitionInfo = QPair<QString, QString>;

// What the locker hands on: the screen's settings are held.
constexpr uint ChangeScreenSettings = 4;

class TFakeKde : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    explicit TFakeKde(QDBusConnection Bus) : FBus(std::move(Bus)) {
        FCallers.setConnection(FBus);
        FCallers.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
        connect(&FCallers, &QDBusServiceWatcher::serviceUnregistered, this,
                [this](const QString& Caller) {
                    std::vector<uint> Left;
                    for (const auto& [Cookie, Hold] : FHolds)
                        if (Hold.Caller == Caller)
                            Left.push_back(Cookie);
                    for (const uint Cookie : Left)
                        Release(Cookie);
                });
    }

    uint Add(uint Types, const QString& Application, const QString& Caller) {
        const bool First = Held(ChangeScreenSettings) == false;
        const uint Cookie = ++FLastCookie;
        FHolds[Cookie] = {Types, Application, Caller};
        FCallers.addWatchedService(Caller);
        Changed({{Application, QString()}}, {});
        if (First && Held(ChangeScreenSettings))
            SimulateUserActivity();
        return Cookie;
    }
    void Release(uint Cookie) {
        const auto Found = FHolds.find(Cookie);
        if (Found == FHolds.end())
            return;
        const QString Application = Found->second.Application;
        FHolds.erase(Found);
        Released(Application);
    }
    bool Held(uint Types) const {
        for (const auto& [Cookie, Hold] : FHolds)
            if (Hold.Types & Types)
                return true;
        return false;
    }

public slots:
    // org.freedesktop.ScreenSaver, as KDE's screen locker serves it.
    Q_SCRIPTABLE uint Inhibit(const QString& Application, const QString& /*Reason*/) {
        return Add(ChangeScreenSettings, Application, message().service());
    }
    Q_SCRIPTABLE void UnInhibit(uint Cookie) { Release(Cookie); }
    Q_SCRIPTABLE void SimulateUserActivity() {
        // As KIdleTime does on X11.
        if (xcb_connection_t* X = xcb_connect(nullptr, nullptr); !xcb_connection_has_error(X)) {
            xcb_force_screen_saver(X, XCB_SCREEN_SAVER_RESET);
            free(xcb_get_input_focus_reply(X, xcb_get_input_focus(X), nullptr));
            xcb_disconnect(X);
        }
    }
    Q_SCRIPTABLE bool GetActive() { return false; }

private:
    struct THold {
        uint Types;
        QString Application;
        QString Caller;
    };

    void Released(const QString& Application) {
        Changed({}, {Application});
        if (!Held(ChangeScreenSettings))
            SimulateUserActivity();
    }
    void Changed(const QList<TInhibitionInfo>& Added, const QStringList& Removed) {
        QDBusMessage Signal =
            QDBusMessage::createSignal(AgentPath, AgentInterface, "InhibitionsChanged");
        Signal << QVariant::fromValue(Added) << Removed;
        FBus.send(Signal);
    }

    QDBusConnection FBus;
    QDBusServiceWatcher FCallers;
    std::map<uint, THold> FHolds;
    uint FLastCookie = 0;
};

// PowerDevil's policy agent, on the same holds.
class TFakeAgent : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.Solid.PowerManagement.PolicyAgent")

public:
    explicit TFakeAgent(TFakeKde& Kde) : FKde(Kde) {}

public slots:
    Q_SCRIPTABLE uint AddInhibition(uint Types, const QString& Application, const QString&) {
        return FKde.Add(Types, Application, message().service());
    }
    Q_SCRIPTABLE void ReleaseInhibition(uint Cookie) { FKde.Release(Cookie); }
    Q_SCRIPTABLE bool HasInhibition(uint Types) { return FKde.Held(Types); }

private:
    TFakeKde& FKde;
};
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication App(argc, argv);
    qDBusRegisterMetaType<TInhibitionInfo>();
    qDBusRegisterMetaType<QList<TInhibitionInfo>>();
    QDBusConnection Bus = QDBusConnection::sessionBus();
    TFakeKde Kde(Bus);
    TFakeAgent Agent(Kde);
    const bool Served =
        Bus.registerObject("/ScreenSaver", &Kde, QDBusConnection::ExportScriptableSlots) &&
        Bus.registerObject("/org/freedesktop/ScreenSaver", &Kde,
                           QDBusConnection::ExportScriptableSlots) &&
        Bus.registerObject(AgentPath, &Agent, QDBusConnection::ExportScriptableSlots) &&
        Bus.registerService("org.freedesktop.ScreenSaver") &&
        Bus.registerService("org.kde.screensaver") &&
        Bus.registerService("org.kde.Solid.PowerManagement.PolicyAgent");
    if (!Served) {
        std::fprintf(stderr, "fake-kde-session: %s\n", qPrintable(Bus.lastError().message()));
        return 1;
    }
    std::fprintf(stderr, "ready\n");
    return App.exec();
}

#include "FakeKdeSession.moc"
