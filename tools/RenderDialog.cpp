// Renders the configuration dialog, once per tab, to PNG files so that its look can be
// checked with any font and scale: ystrelo-dialog-shot <folder> [monitors]. Run it with
// QT_QPA_PLATFORM=offscreen, and QT_SCALE_FACTOR=2 for a scaled desktop. The settings are
// read from and written to a temporary folder, never the user's.

#include "config/frConfigure.h"
#include "platform/qt/Monitors.h"
#include "platform/widgets/PageControl.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
// Long enough for the preview's painter to show its first views.
constexpr int PaintMilliseconds = 1500;
constexpr int MaxMonitors = 4;
} // namespace

int main(int Argc, char** Argv) {
    if (Argc < 2) {
        std::fprintf(stderr, "usage: ystrelo-dialog-shot <folder> [monitors 1-%d]\n", MaxMonitors);
        return 2;
    }
    QTemporaryDir Settings;
    qputenv("XDG_CONFIG_HOME", Settings.path().toLocal8Bit());
    QApplication Application(Argc, Argv);
    const QDir Folder(QString::fromLocal8Bit(Argv[1]));
    QDir().mkpath(Folder.path());

    const int Count = Argc > 2 ? std::clamp(std::atoi(Argv[2]), 1, MaxMonitors) : 0;
    if (Count > 0) {
        std::vector<TMonitor> Monitors;
        const QSize Sizes[MaxMonitors] = {{1920, 1080}, {1280, 1024}, {2560, 1440}, {1024, 768}};
        int Left = 0;
        for (int I = 0; I < Count; ++I) {
            const QSize Size = Sizes[I];
            Monitors.push_back({I,
                                QRect(QPoint(Left, 0), Size),
                                Size.width(),
                                Size.height(),
                                I == 0,
                                nullptr,
                                {}});
            Left += Size.width();
        }
        TMonitors::Override(Monitors);
    }

    auto* Dialog = TForm::Create<TConfigureFrame>();
    Dialog->show();
    QTimer::singleShot(PaintMilliseconds, [&] {
        for (int I = 0; I < Dialog->pcFrames->count(); ++I) {
            Dialog->pcFrames->setCurrentIndex(I);
            const QString Name = Dialog->pcFrames->widget(I)->objectName();
            const QString File = Folder.filePath(QString("dialog-%1.png").arg(Name));
            if (!Dialog->grab().save(File))
                std::fprintf(stderr, "cannot write %s\n", qPrintable(File));
            else
                std::printf("%s\n", qPrintable(File));
        }
        Application.quit();
    });
    Application.exec();
    delete Dialog;
    return 0;
}
