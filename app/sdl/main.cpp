#include "app/sdl/shell.h"

int main(int argc, char** argv) {
    return runShell(argc, argv);
}
