// Wendril's entry point: the whole demo, on the machine's window and sound.
// No configuration: the music decides what is shown. `--version` prints the
// version and ends.
#include <cstdio>
#include <cstring>

#include "app/demo.h"
#include "engine/version.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("wendril %s\n", TAVIK_VERSION);
            return 0;
        }
        std::fprintf(stderr, "wendril: unknown argument '%s' (--version prints the version)\n", argv[i]);
        return 2;
    }
    return demo_run(nullptr, nullptr);
}
