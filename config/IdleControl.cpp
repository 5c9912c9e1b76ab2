#include "config/IdleControl.h"

#include "platform/Errors.h"
#include "platform/NamedMutex.h"
#include "platform/Profile.h"
#include "platform/qt/ErrorReport.h"
#include "platform/session/ProcessEnd.h"

#include <QCoreApplication>
#include <QEventLoopLocker>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {
constexpr const char* EntryName = "autostart/ystrelo-idle.desktop";

// One argument of an Exec key. Quoted when the desktop entry rules reserve one of its
// characters; the key's value is a string of its own, whose escape is the backslash too.
QString ExecArgument(const QString& Text) {
    static const QString Reserved = QStringLiteral(" \t\"'\\><~|&;$*?#()`");
    if (Text.contains('\n') || Text.contains('\r'))
        throw EYstreloError("cannot name " + Text.toStdString() + " in an autostart entry");
    QString Result = Text;
    Result.replace('%', "%%");
    if (std::none_of(Text.begin(), Text.end(), [](QChar C) { return Reserved.contains(C); }))
        return Result;
    QString Quoted = "\"";
    for (const QChar C : Result) {
        if (C == '"' || C == '`' || C == '$' || C == '\\')
            Quoted += '\\';
        Quoted += C;
    }
    Quoted += '"';
    return Quoted.replace("\\", "\\\\");
}

// The minutes an entry's Exec line gives the watcher; hand-edited nonsense counts as the
// default, so that the dialog still offers something sound.
int EntryMinutes(const std::string& Text) {
    static const QRegularExpression Exec(
        QString(R"(^Exec=.*[ \t]%1[ \t]+(\d+)[ \t\r]*$)").arg(IdleOption),
        QRegularExpression::MultilineOption);
    const auto Match = Exec.match(QString::fromStdString(Text));
    bool Ok = false;
    const int Minutes = Match.hasMatch() ? Match.captured(1).toInt(&Ok) : 0;
    return Ok ? std::clamp(Minutes, IdleMinutesLeast, IdleMinutesMost) : IdleMinutesDefault;
}
} // namespace

TIdleControl::TIdleControl(QObject* Owner) : QObject(Owner) {}

TIdleControl::~TIdleControl() = default;

std::string TIdleControl::EntryPath() {
    const std::string Folder = ProfilePath("");
    if (Folder.empty())
        throw EInOutError("no home folder for the autostart entry");
    return Folder + EntryName;
}

std::string TIdleControl::EntryText(const QString& Program, int Minutes) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Ystrelo on idle\n"
           "Comment=Starts the Ystrelo screen saver when the session is idle\n"
           "Exec=" +
           ExecArgument(Program).toStdString() + " " + IdleOption + " " + std::to_string(Minutes) +
           "\n"
           "NoDisplay=true\n"
           "X-GNOME-Autostart-enabled=true\n";
}

TIdleState TIdleControl::Read() {
    TIdleState State;
    const std::string Path = EntryPath();
    std::string Text;
    switch (ReadFileContents(Path, Text)) {
    case TReadStatus::Read:
        State.Enabled = true;
        State.Minutes = EntryMinutes(Text);
        break;
    case TReadStatus::Missing:
        break;
    case TReadStatus::Failed:
        throw EInOutError("Unable to read " + Path);
    }
    State.Watcher = TNamedMutex::Owner(IdleMutexName);
    return State;
}

QString TIdleControl::Program() const {
    return FProgram.isEmpty() ? QCoreApplication::applicationFilePath() : FProgram;
}

void TIdleControl::Apply(const TIdleState& Found, bool Enabled, int Minutes) {
    Minutes = std::clamp(Minutes, IdleMinutesLeast, IdleMinutesMost);
    const std::string Path = EntryPath();
    if (Enabled) {
        const std::string Text = EntryText(Program(), Minutes);
        std::string Old;
        if (ReadFileContents(Path, Old) != TReadStatus::Read || Old != Text)
            ReplaceFileContents(Path, Text);
    } else {
        std::error_code Error;
        std::filesystem::remove(Path, Error);
        if (Error)
            throw EInOutError("Unable to remove " + Path + ": " + Error.message());
    }

    // A newer choice replaces a swap still under way.
    FEnding.reset();
    const std::optional<pid_t> Watcher = TNamedMutex::Owner(IdleMutexName);
    const bool StartNew = Enabled && !(Watcher && Found.Enabled && Found.Minutes == Minutes);
    const bool EndOld = Watcher && (StartNew || (!Enabled && Found.Enabled));
    if (!EndOld) {
        if (StartNew)
            Start(Minutes);
        FKeepRunning.reset();
        return;
    }
    // The configure mode ends when the dialog closes; it must live until the new watcher
    // runs, or nobody starts it.
    auto KeepRunning = std::make_unique<QEventLoopLocker>();
    FEnding = std::make_unique<TProcessEnd>(*Watcher, EndLimit, this);
    connect(FEnding.get(), &TProcessEnd::Finished, this, [=, this](bool Ended) {
        try {
            if (!Ended)
                throw EYstreloError("the idle watcher (process " + std::to_string(*Watcher) +
                                    ") did not end within " +
                                    std::to_string(EndLimit.count() / 1000) + " s");
            if (StartNew)
                Start(Minutes);
        } catch (const std::exception& Error) {
            TErrorReport::Show(Error);
        }
        // Not at once: it is the sender of the signal we are in. Ours till then, so that
        // a loop that ends first leaks nothing.
        FEnding.release()->deleteLater();
        FKeepRunning.reset();
    });
    FKeepRunning = std::move(KeepRunning);
}

void TIdleControl::Start(int Minutes) {
    const QString Path = Program();
    if (!QProcess::startDetached(Path, {IdleOption, QString::number(Minutes)}))
        throw EYstreloError("cannot start the idle watcher " + Path.toStdString());
}
