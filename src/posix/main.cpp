// The updater on Linux: the terminal stands in for its windows and message boxes.

#include "posix/terminal_main.h"

int main(int argc, char** argv) {
    return orv::posix::RunOnTerminal(argc, argv, "orvupd");
}
