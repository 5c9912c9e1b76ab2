#include "platform/session/MutterIdleSource.h"

#include "platform/Errors.h"
#include "platform/qt/QtMessages.h"
#include "platform/session/BusLoss.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>

namespace {
constexpr const char* Monitor = "org.gnome.Mutter.IdleMonitor";
constexpr const char* MonitorPath = "/org/gnome/Mutter/IdleMonitor/Core";
constexpr const char* Session = "org.gnome.SessionManager";
constexpr const char* SessionPath = "/org/gnome/SessionManager";
// gnome-session's inhibitor flag for "the session must not be marked idle".
constexpr uint InhibitIdle = 8;
} // namespace

std::unique_ptr<TIdleSource> TMutterIdleSource::Open() {
    QDBusConnection Bus = QDBusConnection::sessionBus();
    if (!Bus.isConnected() || !Bus.interface() || !Bus.interface()->isServiceRegistered(Monitor))
        return nullptr;
    return std::unique_ptr<TIdleSource>(new TMutterIdleSource(Bus));
}

TMutterIdleSource::TMutterIdleSource(const QDBusConnection& Bus) : FBus(Bus) {}

TMutterIdleSource::~TMutterIdleSource() {
    // Mutter drops a client's watches when it leaves the bus, but the bus stays with us.
    if (FLost || !FBus.isConnected())
        return;
    for (const uint Id : {FIdleWatch, FActiveWatch})
        if (Id != 0)
            FBus.call(QDBusMessage::createMethodCall(Monitor, MonitorPath, Monitor, "RemoveWatch")
                      << Id);
}

std::string TMutterIdleSource::Name() const {
    return "GNOME's idle monitor";
}

void TMutterIdleSource::Watch(std::chrono::milliseconds Duration, THandlers Handlers) {
    FHandlers = std::move(Handlers);
    // Mutter refuses a watch of no time at all.
    FDuration = std::max(Duration, std::chrono::milliseconds(1));
    // Before the watch is added: a monitor gone before then fails the call instead.
    auto* MonitorWatch =
        new QDBusServiceWatcher(Monitor, FBus, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(MonitorWatch, &QDBusServiceWatcher::serviceUnregistered, this,
            &TMutterIdleSource::MonitorGone);
    // WatchFired comes to us alone, not to the bus at large; matching on the monitor's name
    // keeps another client from faking it.
    if (!FBus.connect(Monitor, MonitorPath, Monitor, "WatchFired", this, SLOT(Fired(uint))) ||
        !WatchBusLoss(FBus, this, SLOT(BusGone())))
        throw EYstreloError("cannot listen to GNOME's idle monitor: " +
                            FBus.lastError().message().toStdString());
    // The watch stays armed: mutter fires it again each time the idle time reaches it.
    FIdleWatch =
        Call("AddIdleWatch", {QVariant::fromValue<qulonglong>(FDuration.count())}).toUInt();
}

QVariant TMutterIdleSource::Call(const char* Method, const QVariantList& Arguments) {
    QDBusMessage Message = QDBusMessage::createMethodCall(Monitor, MonitorPath, Monitor, Method);
    Message.setArguments(Arguments);
    const QDBusMessage Reply = FBus.call(Message);
    if (Reply.type() != QDBusMessage::ReplyMessage)
        throw EYstreloError(std::string("GNOME's idle monitor refused ") + Method + ": " +
                            Reply.errorMessage().toStdString());
    return Reply.arguments().value(0);
}

bool TMutterIdleSource::Inhibited() {
    if (!FBus.interface()->isServiceRegistered(Session))
        return false;
    const QDBusMessage Reply =
        FBus.call(QDBusMessage::createMethodCall(Session, SessionPath, Session, "IsInhibited")
                  << InhibitIdle);
    if (Reply.type() == QDBusMessage::ReplyMessage)
        return Reply.arguments().value(0).toBool();
    // gnome-session may have ended since we asked; then nobody inhibits.
    if (!FBus.interface()->isServiceRegistered(Session))
        return false;
    throw EYstreloError("gnome-session did not say whether idle is inhibited: " +
                        Reply.errorMessage().toStdString());
}

void TMutterIdleSource::Fired(uint Watch) {
    if (FLost || Watch == 0)
        return;
    try {
        if (Watch == FActiveWatch) {
            FActiveWatch = 0;
            FHandlers.Active();
        } else if (Watch == FIdleWatch && FActiveWatch == 0) {
            // An inhibitor holds the idle watch; mutter restarts the idle time when the
            // last one goes, so the watch fires again a whole period later.
            if (Inhibited())
                return;
            FActiveWatch = Call("AddUserActiveWatch").toUInt();
            // Input between the idle watch and the active watch would be lost: the user
            // is back already, and the idle watch fires again when they leave.
            if (Call("GetIdletime").toULongLong() < static_cast<qulonglong>(FDuration.count())) {
                Call("RemoveWatch", {FActiveWatch});
                FActiveWatch = 0;
                return;
            }
            FHandlers.Idle();
        }
    } catch (const EYstreloError& Error) {
        Lose(Error.what());
    }
}

void TMutterIdleSource::MonitorGone() {
    if (FBus.isConnected())
        Lose("lost GNOME's idle monitor");
    else
        BusGone();
}

void TMutterIdleSource::BusGone() {
    Lose(LostBusMessage);
}

void TMutterIdleSource::Lose(const std::string& Line) {
    if (FLost)
        return;
    FLost = true;
    FHandlers.Lost(Line);
}
