// Paints consecutive views of the endless zoom offscreen and writes each as a PNG: how
// a person sees what the painter does without a desktop.
#include "engine/BigReal.h"
#include "engine/DeepZoom.h"
#include "engine/MandelPaint.h"
#include "engine/PaintWaiter.h"
#include "engine/Random.h"
#include "panel/Palette.h"
#include "platform/Surface.h"
#include "tools/RenderOptions.h"

#include <QDir>
#include <QImage>

#include <chrono>
#include <cstdio>
#include <exception>

namespace {

QImage ToImage(const TSurface& Surface) {
    QImage Image(Surface.Width(), Surface.Height(), QImage::Format_RGB32);
    for (int Y = 0; Y < Surface.Height(); ++Y) {
        auto* Line = reinterpret_cast<std::uint32_t*>(Image.scanLine(Y));
        for (int X = 0; X < Surface.Width(); ++X)
            Line[X] = Surface.Argb(X, Y);
    }
    return Image;
}

std::string Where80(const TMandelPaint& Painter) {
    char Text[128];
    std::snprintf(Text, sizeof Text, "centre (%.19Lg, %.19Lg)  radius %.6Lg", Painter.CentreX,
                  Painter.CentreY, Painter.Radius);
    return Text;
}

std::string DeepWhere(const TMandelPaint& Painter) {
    const TDeepZoom& View = Painter.Deep();
    return "centre (" + View.CentreX().Text() + ", " + View.CentreY().Text() + ")  radius " +
           View.Radius().Text();
}

int Render(const TRenderOptions& Options) {
    if (Options.Seeded)
        TRandom::Instance().SetSeed(Options.Seed);
    if (!QDir().mkpath(QString::fromStdString(Options.OutputDir))) {
        std::fprintf(stderr, "ystrelo-render: cannot create %s\n", Options.OutputDir.c_str());
        return 1;
    }
    TPainter<TMandelPaint> Painter;
    Painter.MaxAge = Options.MaxAge;
    Painter.DistanceLimit = Options.DistanceLimit;
    Painter.InitialStep = Options.InitialStep;
    Painter.ShowZoomFrame = Options.ZoomFrame;
    if (!Options.Colours.empty())
        BuildColourTable(Painter, Options.Colours, Options.FadeFromBlack, Options.Bands);
    Painter.DeepZoom = Options.Deep;
    if (Options.Deep)
        Painter.SetDeepView(TBigReal::Parse(Options.StartX), TBigReal::Parse(Options.StartY),
                            TBigReal::Parse(Options.StartRadius));
    else
        Painter.SetView(Options.CentreX, Options.CentreY, Options.Radius);

    auto Window = TSurfaceWindow::Create(Options.Width, Options.Height);
    TPaintWaiter Waiter(Painter);
    const long long Pixels = static_cast<long long>(Options.Width) * Options.Height;
    for (int View = 0; View < Options.Views; ++View) {
        // Every digit of a deep view, so that it can be found again with --start.
        const std::string Where = Options.Deep ? DeepWhere(Painter) : Where80(Painter);
        const auto Start = std::chrono::steady_clock::now();
        Waiter.Paint(Window, {0, 0, Options.Width - 1, Options.Height - 1});
        const double Seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
        if (auto Error = Painter.FatalException())
            std::rethrow_exception(Error);
        char Name[64];
        std::snprintf(Name, sizeof Name, "%s-%03d.png", Options.Prefix.c_str(), View);
        const QString Path = QDir(QString::fromStdString(Options.OutputDir)).filePath(Name);
        if (!ToImage(*Window->Surface()).save(Path)) {
            std::fprintf(stderr, "ystrelo-render: cannot write %s\n", qPrintable(Path));
            return 1;
        }
        std::printf("%s  %s  %.3f s  calculated %lld  filled %lld of %lld px  iterations %lld\n",
                    qPrintable(Path), Where.c_str(), Seconds,
                    static_cast<long long>(Painter.CalculatedPixels),
                    static_cast<long long>(Painter.FilledPixels), Pixels,
                    static_cast<long long>(Painter.Iterations));
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> Args(argv + 1, argv + argc);
    if (!Args.empty() && (Args[0] == "--help" || Args[0] == "-h")) {
        std::fputs(RenderUsage, stdout);
        return 0;
    }
    try {
        return Render(ParseRenderOptions(Args));
    } catch (const std::invalid_argument& Error) {
        std::fprintf(stderr, "ystrelo-render: %s\n%s", Error.what(), RenderUsage);
        return 2;
    } catch (const std::exception& Error) {
        std::fprintf(stderr, "ystrelo-render: %s\n", Error.what());
        return 1;
    }
}
