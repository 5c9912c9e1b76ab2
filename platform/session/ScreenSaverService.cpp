#include "platform/session/ScreenSaverService.h"

#include "platform/Errors.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>

namespace {
// Programs written for KDE call the second one.
constexpr const char* ObjectPaths[] = {"/org/freedesktop/ScreenSaver", "/ScreenSaver"};
} // namespace

TScreenSaverService::TScreenSaverService(const QDBusConnection& Bus, THandlers Handlers)
    : FBus(Bus), FHandlers(std::move(Handlers)),
      FCallers(QString(), Bus, QDBusServiceWatcher::WatchForUnregistration) {
    connect(&FCallers, &QDBusServiceWatcher::serviceUnregistered, this,
            &TScreenSaverService::CallerLeft);
}

std::unique_ptr<TScreenSaverService> TScreenSaverService::Serve(const QDBusConnection& Bus,
                                                                THandlers Handlers) {
    std::unique_ptr<TScreenSaverService> Service(new TScreenSaverService(Bus, std::move(Handlers)));
    // The objects before the name: a program that sees the name appear calls at once.
    for (const char* Path : ObjectPaths)
        if (!Service->FBus.registerObject(Path, Service.get(),
                                          QDBusConnection::ExportScriptableSlots))
            throw EYstreloError(std::string("cannot serve ") + Path + " on the session bus");
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> Reply =
        Service->FBus.interface()->registerService(BusName,
                                                   QDBusConnectionInterface::DontQueueService,
                                                   QDBusConnectionInterface::DontAllowReplacement);
    if (!Reply.isValid())
        throw EYstreloError(std::string("the session bus refused ") + BusName + ": " +
                            Reply.error().message().toStdString());
    if (Reply.value() != QDBusConnectionInterface::ServiceRegistered)
        return nullptr;
    return Service;
}

TScreenSaverService::~TScreenSaverService() {
    for (const char* Path : ObjectPaths)
        FBus.unregisterObject(Path);
    // Harmless when the name was never ours; released at once for a host that comes next.
    FBus.interface()->unregisterService(BusName);
}

uint TScreenSaverService::Inhibit(const QString& /*Application*/, const QString& /*Reason*/) {
    const QString Caller = message().service();
    const bool First = FInhibits.empty();
    const uint Cookie = FNextCookie++;
    FInhibits[Cookie] = Caller;
    if (!FCallers.watchedServices().contains(Caller)) {
        FCallers.addWatchedService(Caller);
        // A caller that left before the watch began would hold the saver off for ever; the
        // bus answers this after it has taken the watch, so one of the two sees it go.
        if (!FBus.interface()->isServiceRegistered(Caller))
            QMetaObject::invokeMethod(
                this, [this, Caller] { CallerLeft(Caller); }, Qt::QueuedConnection);
    }
    if (First)
        FHandlers.Inhibited(true);
    return Cookie;
}

void TScreenSaverService::UnInhibit(uint Cookie) {
    const QString Caller = message().service();
    const auto Found = FInhibits.find(Cookie);
    if (Found == FInhibits.end() || Found->second != Caller) {
        sendErrorReply(QDBusError::InvalidArgs, "no inhibit of this caller has that cookie");
        return;
    }
    FInhibits.erase(Found);
    bool Holds = false;
    for (const auto& [Other, Holder] : FInhibits)
        Holds = Holds || Holder == Caller;
    if (!Holds)
        FCallers.removeWatchedService(Caller);
    if (FInhibits.empty())
        FHandlers.Inhibited(false);
}

void TScreenSaverService::SimulateUserActivity() {
    FHandlers.Activity();
}

bool TScreenSaverService::GetActive() {
    return FHandlers.Active();
}

void TScreenSaverService::CallerLeft(const QString& Caller) {
    const bool Held = !FInhibits.empty();
    std::erase_if(FInhibits, [&](const auto& Inhibit) { return Inhibit.second == Caller; });
    FCallers.removeWatchedService(Caller);
    if (Held && FInhibits.empty())
        FHandlers.Inhibited(false);
}
