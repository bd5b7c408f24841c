// Wendril's entry point: the whole demo, on the machine's window and sound.
// No configuration: the music decides what is shown. `--version` prints the
// version and ends; `--window` starts in a window (as TAVIK_WINDOWED=1 does).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/demo.h"
#include "engine/display/gfx.h"
#include "engine/version.h"

int main(int argc, char** argv) {
    const char* windowed = std::getenv("TAVIK_WINDOWED");
    bool window = windowed && std::strcmp(windowed, "1") == 0;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("wendril %s\n", TAVIK_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--window") == 0) {
            window = true;
            continue;
        }
        std::fprintf(stderr, "wendril: unknown argument '%s' (--version prints the version, --window starts in a window)\n",
                     argv[i]);
        return 2;
    }
#ifdef _WIN32
    // Windows: DirectDraw full screen unless asked for a window, which the GDI driver gives.
    if (window) current_gfx_driver = &gfx_gdi_driver;
#else
    // The SDL host opens the DirectDraw driver's screen in a window when asked.
    if (window) setenv("TAVIK_WINDOWED", "1", 1);
#endif
    return demo_run(nullptr, nullptr);
}
