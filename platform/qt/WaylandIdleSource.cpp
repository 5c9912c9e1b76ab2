#include "platform/qt/WaylandIdleSource.h"

std::unique_ptr<TIdleSource> TWaylandIdleSource::Open() {
    return nullptr;
}
