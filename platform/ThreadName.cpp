#include "platform/ThreadName.h"

#include <pthread.h>

void NameThisThread(const char* Name) {
    // Only a name too long fails, and a name is a convenience: no error to report.
    pthread_setname_np(pthread_self(), Name);
}
