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
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusServiceWatcher>
#include <QDBusVirtualObject>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <xcb/xcb.h>

namespace {
const QString AgentPath = QStringLiteral("/org/kde/Solid/PowerManagement/PolicyAgent");
const QString AgentInterface = QStringLiteral("org.kde.Solid.PowerManagement.PolicyAgent");
// What the locker hands on: the screen's settings are held.
constexpr uint ChangeScreenSettings = 4;

using TInhibitionInfo = QPair<QString, QString>;

// As KIdleTime does on X11 for PowerDevil.
void SimulateUserActivity() {
    xcb_connection_t* X = xcb_connect(nullptr, nullptr);
    if (!xcb_connection_has_error(X)) {
        xcb_force_screen_saver(X, XCB_SCREEN_SAVER_RESET);
        free(xcb_get_input_focus_reply(X, xcb_get_input_focus(X), nullptr));
    }
    xcb_disconnect(X);
}

// Both services on every path: the locker's Inhibit and UnInhibit, the agent's
// AddInhibition, ReleaseInhibition and HasInhibition.
class TFakeKde : public QDBusVirtualObject {
public:
    explicit TFakeKde(QDBusConnection Bus) : FBus(std::move(Bus)) {
        FCallers.setConnection(FBus);
        FCallers.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
        QObject::connect(&FCallers, &QDBusServiceWatcher::serviceUnregistered,
                         [this](const QString& Caller) {
                             for (auto It = FHolds.begin(); It != FHolds.end();)
                                 It = It->second.Caller == Caller ? Release(It) : std::next(It);
                         });
    }
    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& Message, const QDBusConnection&) override {
        const QString Member = Message.member();
        const QVariantList In = Message.arguments();
        QDBusMessage Reply = Message.createReply();
        if (Member == "Inhibit" && In.size() == 2)
            Reply << Add(ChangeScreenSettings, In[0].toString(), Message.service());
        else if (Member == "AddInhibition" && In.size() == 3)
            Reply << Add(In[0].toUInt(), In[1].toString(), Message.service());
        else if ((Member == "UnInhibit" || Member == "ReleaseInhibition") && In.size() == 1) {
            if (const auto Found = FHolds.find(In[0].toUInt()); Found != FHolds.end())
                Release(Found);
        } else if (Member == "HasInhibition" && In.size() == 1)
            Reply << Held(In[0].toUInt());
        else
            Reply = Message.createErrorReply(QDBusError::UnknownMethod, Member + " is not served");
        return FBus.send(Reply);
    }

private:
    struct THold {
        uint Types;
        QString Application;
        QString Caller;
    };
    using THolds = std::map<uint, THold>;

    bool Held(uint Types) const {
        for (const auto& [Cookie, Hold] : FHolds)
            if (Hold.Types & Types)
                return true;
        return false;
    }
    uint Add(uint Types, const QString& Application, const QString& Caller) {
        const bool Before = Held(ChangeScreenSettings);
        FHolds[++FLastCookie] = {Types, Application, Caller};
        FCallers.addWatchedService(Caller);
        Changed({{Application, QString()}}, {}, Before);
        return FLastCookie;
    }
    THolds::iterator Release(THolds::iterator Hold) {
        const bool Before = Held(ChangeScreenSettings);
        const QString Application = Hold->second.Application;
        const auto Next = FHolds.erase(Hold);
        Changed({}, {Application}, Before);
        return Next;
    }
    void Changed(const QList<TInhibitionInfo>& Added, const QStringList& Removed, bool Before) {
        QDBusMessage Signal =
            QDBusMessage::createSignal(AgentPath, AgentInterface, "InhibitionsChanged");
        Signal << QVariant::fromValue(Added) << Removed;
        FBus.send(Signal);
        if (Held(ChangeScreenSettings) != Before)
            SimulateUserActivity();
    }

    QDBusConnection FBus;
    QDBusServiceWatcher FCallers;
    THolds FHolds;
    uint FLastCookie = 0;
};
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication App(argc, argv);
    qDBusRegisterMetaType<TInhibitionInfo>();
    qDBusRegisterMetaType<QList<TInhibitionInfo>>();
    QDBusConnection Bus = QDBusConnection::sessionBus();
    TFakeKde Kde(Bus);
    bool Served = true;
    for (const QString& Path : {QStringLiteral("/ScreenSaver"),
                                QStringLiteral("/org/freedesktop/ScreenSaver"), AgentPath})
        Served = Served && Bus.registerVirtualObject(Path, &Kde);
    for (const char* Name : {"org.freedesktop.ScreenSaver", "org.kde.screensaver",
                             "org.kde.Solid.PowerManagement.PolicyAgent"})
        Served = Served && Bus.registerService(Name);
    if (!Served) {
        std::fprintf(stderr, "fake-kde-session: %s\n", qPrintable(Bus.lastError().message()));
        return 1;
    }
    std::fprintf(stderr, "ready\n");
    return App.exec();
}
