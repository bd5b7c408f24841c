// Wendril's entry point: the whole demo, on the machine's window and sound.
// No configuration: the music decides what is shown.
#include <cstdlib>
#include <cstring>

#include "app/demo.h"
#include "engine/display/gfx.h"

int main(int argc, char** argv) {
#ifdef _WIN32
    // Windows: DirectDraw full screen unless asked for a window, which the
    // GDI driver gives (TAVIK_WINDOWED=1 or --window).
    const char* windowed = std::getenv("TAVIK_WINDOWED");
    bool window = windowed && std::strcmp(windowed, "1") == 0;
    for (int i = 1; i < argc; i++)
        if (std::strcmp(argv[i], "--window") == 0) window = true;
    if (window) current_gfx_driver = &gfx_gdi_driver;
#else
    (void)argc;
    (void)argv;
#endif
    return demo_run(nullptr, nullptr);
}
