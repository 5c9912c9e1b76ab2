#include "platform/ErrorLine.h"

#include <cerrno>
#include <unistd.h>

void WriteErrorLine(const std::string& Message) {
    const std::string Line = "ystrelo: " + Message + "\n";
    // A line is far below the pipe's atomic size; a short write (a full disk behind a
    // redirection) still gets the rest, and a failure has nowhere else to be told.
    for (std::size_t Done = 0; Done < Line.size();) {
        const ssize_t Written = write(STDERR_FILENO, Line.data() + Done, Line.size() - Done);
        if (Written < 0 && errno == EINTR)
            continue;
        if (Written <= 0)
            return;
        Done += static_cast<std::size_t>(Written);
    }
}
