#pragma once

// Names the calling thread where top -H, ps -L, gdb and /proc show it, so that a busy
// thread can be told apart from the rest. Linux keeps the first 15 characters.
void NameThisThread(const char* Name);
