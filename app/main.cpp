// Wendril's entry point: the whole demo, on the machine's window and sound.
// The music decides what is shown; the command line (or TAVIK_SCALE) only sets
// the scale of the picture and whether it starts in a window.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/demo.h"
#include "app/studio.h"
#include "app/studio_keys.h"
#include "engine/display/gfx.h"
#include "engine/sync/sync_editor.h"
#include "engine/version.h"
#ifndef _WIN32
#include "platform/host.h"
#endif

static const char USAGE[] =
    "usage: wendril [--scale S] [--window] [--from WHEN] [--studio] [--sync-port N] [--version]\n"
    "Plays the demo full screen (in a window with --window or TAVIK_WINDOWED=1).\n"
    "\n"
    "  --scale S   draw at S times 320 x 240, S from 1 to 8 (2, 4.5 ...); the\n"
    "              default is 1, or TAVIK_SCALE when set. 4.5 is 1440 x 1080.\n"
    "  --window    start in a window\n"
    "  --from WHEN start there: seconds (12.5) or order:row (9:0), with the\n"
    "              frames a run from the start shows there\n"
    "  --studio    the studio keys (below), following a sync editor (GNU Rocket\n"
    "              protocol) on 127.0.0.1:1338 when one listens\n"
    "  --sync-port N  the sync editor's port (0: none)\n"
    "  --version   print the version and end\n"
    "  --help      this text\n"
    "\n"
    "Keys: Escape ends the demo; Alt+Enter switches between window and full screen.\n"
    "Studio keys: Space pauses and resumes; Left/Right a row back/on (Shift: a\n"
    "second); PgUp/PgDn an order; Home the start; ',' and '.' a frame back/on while\n"
    "paused; '[' and ']' mark a span; L loops the span (or the current order).\n";

static int bad_scale(const char* where, const char* text) {
    std::fprintf(stderr, "wendril: %s wants a scale from 1 to 8 (such as 2 or 4.5), not '%s'\n", where, text);
    return 2;
}

int main(int argc, char** argv) {
    // The arguments come first: --help and --version answer whatever the
    // environment holds, and --scale wins over TAVIK_SCALE, which is checked only
    // when it is used.
    bool scale_given = false, studio = false, from_given = false;
    int sync_port = SYNC_EDITOR_PORT;
    StudioWhen from;
    const char* windowed = std::getenv("TAVIK_WINDOWED");
    bool window = windowed && std::strcmp(windowed, "1") == 0;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("wendril %s\n", TAVIK_VERSION);
            return 0;
        }
        if (!std::strcmp(argv[i], "--window")) {
            window = true;
            continue;
        }
        if (!std::strcmp(argv[i], "--studio")) {
            studio = true;
            continue;
        }
        if (!std::strcmp(argv[i], "--sync-port")) {
            char* end = nullptr;
            const long port = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : -1;
            if (i + 1 >= argc || *end || port < 0 || port > 65535) {
                std::fprintf(stderr, "wendril: --sync-port wants a port from 1 to 65535, or 0 for no sync editor\n");
                return 2;
            }
            sync_port = int(port);
            i++;
            continue;
        }
        if (!std::strcmp(argv[i], "--from")) {
            if (i + 1 >= argc || !studio_parse_when(argv[i + 1], &from)) {
                std::fprintf(stderr, "wendril: --from wants seconds (12.5) or order:row (9:0): %s\n",
                             i + 1 >= argc ? "nothing given" : studio_error());
                return 2;
            }
            i++;
            from_given = true;
            continue;
        }
        if (!std::strcmp(argv[i], "--scale")) {
            if (i + 1 >= argc) return bad_scale("--scale", "");
            if (!demo_parse_scale(argv[++i], &demo.scale)) return bad_scale("--scale", argv[i]);
            scale_given = true;
            continue;
        }
        std::fprintf(stderr, "wendril: unknown argument '%s' (wendril --help lists the options)\n", argv[i]);
        return 2;
    }
    const char* env = std::getenv("TAVIK_SCALE");
    if (!scale_given && env && *env && !demo_parse_scale(env, &demo.scale)) return bad_scale("TAVIK_SCALE", env);
#ifdef _WIN32
    // Windows: DirectDraw full screen unless asked for a window, which the GDI
    // driver gives. A scaled screen needs a display mode of that size.
    if (window) current_gfx_driver = &gfx_gdi_driver;
#else
    // The SDL host opens the DirectDraw driver's screen in a window when asked,
    // and offers the scaled screen's size among its display modes.
    if (window) setenv("TAVIK_WINDOWED", "1", 1);
    int32_t width, height;
    demo_screen_size(demo.scale, &width, &height);
    host_offer_display_mode(width, height);
#endif
    // The default run is the demo as designed; the studio's loop only on request.
    if (studio || from_given) return studio_run(from_given ? &from : nullptr, studio, sync_port, nullptr, nullptr);
    return demo_run(nullptr, nullptr);
}
