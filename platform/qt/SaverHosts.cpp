#include "platform/qt/SaverHosts.h"

std::string TSaverHosts::Running() {
    return {};
}
