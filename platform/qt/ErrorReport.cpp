#include "platform/qt/ErrorReport.h"

#include <QApplication>
#include <QMessageBox>

namespace {
// Process-wide: there is one application and one way it reports.
TErrorReport::THandler& Handler() {
    static TErrorReport::THandler Current;
    return Current;
}
} // namespace

void TErrorReport::Show(const std::exception& Error) {
    if (const auto Current = Handler()) {
        try {
            Current(Error);
            return;
        } catch (...) {
            // A report that fails itself falls back to the default below.
        }
    }
    qCritical("%s", Error.what());
}

void TErrorReport::SetHandler(THandler NewHandler) {
    Handler() = std::move(NewHandler);
}

void TErrorReport::MessageBox(const std::exception& Error) {
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                          QString::fromLocal8Bit(Error.what()));
}
