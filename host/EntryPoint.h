#pragma once

// Everything the program does, from the single-instance check to the exit code.
int YstreloMain(int Argc, char** Argv);
