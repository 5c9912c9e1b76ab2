#pragma once

#include <string>

// Writes "ystrelo: Message" and a line end to standard error in one write. A saver and
// the watcher that started it share one standard error (the session's log), and their
// lines must not interleave mid-line when both fail at once.
void WriteErrorLine(const std::string& Message);
