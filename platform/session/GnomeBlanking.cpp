#include "platform/session/GnomeBlanking.h"

#include <QProcess>
#include <QTimer>

TGnomeBlanking::~TGnomeBlanking() {
    // Gone with the dialog before gsettings answered: its answer is not wanted.
    if (FProcess)
        FProcess->disconnect(this);
}

void TGnomeBlanking::Read(std::function<void(std::optional<TBlanking>)> Found) {
    FProcess = new QProcess(this);
    // "uint32 300"; nothing when the schema is not installed (no GNOME here).
    connect(FProcess, &QProcess::finished, this, [this, Found](int Code, QProcess::ExitStatus) {
        const QStringList Words =
            QString::fromUtf8(FProcess->readAllStandardOutput()).simplified().split(' ');
        bool Number = false;
        const uint Seconds = Words.value(1).toUInt(&Number);
        if (Code == 0 && Words.value(0) == "uint32" && Number && Seconds > 0)
            Found(TBlanking{std::chrono::seconds(Seconds), Setting});
        else
            Found(std::nullopt);
    });
    connect(FProcess, &QProcess::errorOccurred, this, [Found](QProcess::ProcessError Error) {
        if (Error == QProcess::FailedToStart)
            Found(std::nullopt);
    });
    FProcess->setStandardErrorFile(QProcess::nullDevice());
    FProcess->start(Program, {"get", "org.gnome.desktop.session", "idle-delay"});
}
