#include "host/EntryPoint.h"

int main(int Argc, char** Argv) {
    return YstreloMain(Argc, Argv);
}
