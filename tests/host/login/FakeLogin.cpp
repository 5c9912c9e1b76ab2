// fake-logind: the part of systemd-logind that xss-lock talks to, on the bus named by
// DBUS_SYSTEM_BUS_ADDRESS. Debian's xss-lock aborts when it cannot mark its session
// idle or locked, and test machines run no logind. Every caller is in one session, whose
// hints are accepted and forgotten; anything else fails, which xss-lock only warns about.
// Its stderr says "ready" once it owns logind's name, then names each method it has
// answered, so tests can wait for both. It lives until killed.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>

#include <cstdio>

namespace {
const QString Root = QStringLiteral("/org/freedesktop/login1");

class TFakeLogin : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& Message, const QDBusConnection& Bus) override {
        const QString Member = Message.member();
        QDBusMessage Reply;
        if (Member == "GetSessionByPID" || Member == "GetSession")
            Reply = Message.createReply(QVariant::fromValue(QDBusObjectPath(Root + "/session/c1")));
        else if (Member == "SetIdleHint" || Member == "SetLockedHint")
            Reply = Message.createReply();
        else
            Reply = Message.createErrorReply(QDBusError::NotSupported, Member + " is not served");
        const bool Sent = Bus.send(Reply);
        std::fprintf(stderr, "%s\n", qPrintable(Member));
        return Sent;
    }
};
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication App(argc, argv);
    QDBusConnection Bus = QDBusConnection::systemBus();
    TFakeLogin Login;
    if (!Bus.registerVirtualObject(Root, &Login, QDBusConnection::SubPath) ||
        !Bus.registerService(QStringLiteral("org.freedesktop.login1"))) {
        std::fprintf(stderr, "fake-logind: %s\n", qPrintable(Bus.lastError().message()));
        return 1;
    }
    std::fprintf(stderr, "ready\n");
    return App.exec();
}
