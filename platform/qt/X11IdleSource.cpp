#include "platform/qt/X11IdleSource.h"

std::unique_ptr<TIdleSource> TX11IdleSource::Open() {
    return nullptr;
}
