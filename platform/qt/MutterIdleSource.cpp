#include "platform/qt/MutterIdleSource.h"

std::unique_ptr<TIdleSource> TMutterIdleSource::Open() {
    return nullptr;
}
