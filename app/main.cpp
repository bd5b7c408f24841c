// Wendril's entry point: the whole demo, on the machine's window and sound.
// No command line, no configuration: the music decides what is shown.
#include "app/demo.h"

int main() { return demo_run(nullptr, nullptr); }
