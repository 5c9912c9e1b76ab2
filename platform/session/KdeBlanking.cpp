#include "platform/session/KdeBlanking.h"

#include <QFile>
#include <QStandardPaths>
#include <QTextStream>
#include <QTimer>

namespace {
constexpr int Plasma6 = 6;
constexpr int DefaultTimeout = 600; // Plasma 6's, for mains power
} // namespace

TKdeBlanking::TKdeBlanking(int PlasmaVersion) : FPlasma(PlasmaVersion) {}

QString TKdeBlanking::Value(const QString& Path, const QString& Group, const QString& Key) {
    QFile File(Path);
    if (!File.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream In(&File);
    bool InGroup = false;
    while (!In.atEnd()) {
        const QString Line = In.readLine().trimmed();
        if (Line.startsWith('['))
            InGroup = Line == Group;
        else if (InGroup && Line.section('=', 0, 0).trimmed() == Key)
            return Line.section('=', 1).trimmed();
    }
    return {};
}

std::optional<TBlanking> TKdeBlanking::Find() const {
    const QString Folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    bool Number = false;
    if (FPlasma >= Plasma6) {
        const QString File = Folder + "/powerdevilrc";
        if (Value(File, "[AC][Display]", "TurnOffDisplayWhenIdle") == "false")
            return std::nullopt;
        const QString Timeout = Value(File, "[AC][Display]", "TurnOffDisplayIdleTimeoutSec");
        const int Seconds = Timeout.isEmpty() ? DefaultTimeout : Timeout.toInt(&Number);
        if (!Timeout.isEmpty() && !Number)
            return std::nullopt;
        return TBlanking{std::chrono::seconds(Seconds), "Turn off screen in System Settings, Power Management"};
    }
    const int Seconds =
        Value(Folder + "/powermanagementprofilesrc", "[AC][DPMSControl]", "idleTime").toInt(&Number);
    if (!Number || Seconds <= 0)
        return std::nullopt;
    return TBlanking{std::chrono::seconds(Seconds),
                     "Screen Energy Saving in System Settings, Power Management"};
}

void TKdeBlanking::Read(std::function<void(std::optional<TBlanking>)> Found) {
    QTimer::singleShot(0, this, [this, Found] { Found(Find()); });
}
