// A first effect on Tavik: an environment-mapped torus that swells on the
// music's beat rows, over a colour that changes with each order, faded in from
// black. Two sync tracks steer it: "camera:distance" (how far back the torus
// is) and "fade" (0 black .. 1 the full picture). Escape (or closing the
// window) quits.
//   starter [DATA] [--frames N] [--tracks DIR] [--editor]   the display driver's screen
//   starter-headless [DATA] --frames N --out DIR             N frames as PNG, the same on every run
// DATA holds ragga.xm and envmap.jpg, as the engine's default data set does; by
// default the installed one, TAVIK_DATA_DIR (the build sets it from the package:
// Tavik_DATA_DIR, or pkg-config --variable=datadir), else the working directory.
// The tracks are read from DIR/starter_<name>.track (the files beside this
// source; the build names that folder STARTER_TRACK_DIR); a track without its
// file plays the keys written below, which are the files' keys. With --editor
// the tracks are edited live from a sync editor (GNU Rocket protocol) on
// 127.0.0.1:1338, which also moves and pauses the music.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/display/gfx.h"
#include "engine/fx/fx.h"
#include "engine/geometry/frustum.h"
#include "engine/image/jpeg.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "engine/raster/raster.h"
#include "engine/raster/tpoly.h"
#include "engine/sync/sync.h"
#include "engine/sync/sync_editor.h"
#ifndef TAVIK_DATA_DIR
#define TAVIK_DATA_DIR "."
#endif
#ifndef STARTER_TRACK_DIR
#define STARTER_TRACK_DIR "."
#endif

// ---- The effect ------------------------------------------------------------------
constexpr int RINGS = 24, SIDES = 12;  // the torus: 24 x 12 quads, 576 triangles
constexpr float PI = 3.14159265f;

struct Starter {
    frustum* view;
    tpoly* poly;
    vector point[RINGS][SIDES];   // the torus at rest
    vector normal[RINGS][SIDES];
    float angle;  // radians
    float swell;  // 1 on a beat row, dying away
    const SyncTrack* distance;  // units the torus is pushed back
    const SyncTrack* fade;      // 0 black .. 1 full picture
};
static Starter fx;

// ---- The sync tracks -------------------------------------------------------------
// The keys the track files hold, for a copy of the starter without them.
struct BuiltInKeys {
    const char* track;
    SyncKey keys[4];
    int count;
};
static const BuiltInKeys built_in[] = {
    {"camera:distance", {{0, 200.0f, SYNC_SMOOTH}, {32, 0.0f, SYNC_STEP}, {224, 0.0f, SYNC_SMOOTH}, {256, 120.0f, SYNC_STEP}}, 4},
    {"fade", {{0, 0.0f, SYNC_LINEAR}, {6, 1.0f, SYNC_STEP}}, 2},
};

// The row the tracks are read at: the music's order and row, and how far into
// the row the clock is (the default module's rows last 120 ms: 6 ticks at 125 BPM).
static double track_row(const MusicPosition* position) {
    static uint32_t last_row = UINT32_MAX;
    static float row_start = 0.0f;
    const uint32_t row = position->order * 64 + position->row;
    if (row != last_row) {
        last_row = row;
        row_start = position->ticks;
    }
    const double into = (position->ticks - row_start) * 0.014 / 0.120;
    return row + std::min(into, 0.999);
}

// 1, or 0 with the failing module's message in `why`.
static int starter_create(Pixmap* screen, const std::string& texture, const char** why) {
    fx.view = frustum_create(0, screen, 320.0f, 240.0f, 400.0f);  // 320 x 240 units at z = 0
    if (!fx.view) {
        *why = frustum_error_string();
        return 0;
    }
    fx.poly = tpoly_create();
    if (!fx.poly) {
        *why = tpoly_error_string();
        return 0;
    }
    fx.poly->flags = TPOLY_TEXTURED;
    fx.poly->stride = 5;  // clipped vertices carry x, y, z, u, v
    fx.poly->uv_count = 6;
    fx.poly->uv_index[0] = 0;
    fx.poly->texturemap = jpeg_load2pixmap(texture.c_str());
    if (!fx.poly->texturemap) {
        *why = jpeg_error_string();
        return 0;
    }
    if (fx.poly->texturemap->width != 256 || fx.poly->texturemap->height != 256) {
        *why = "the environment map must be 256 x 256 (the rasterizer wraps at 256)";
        return 0;
    }
    for (int i = 0; i < RINGS; i++)
        for (int j = 0; j < SIDES; j++) {
            const float a = 2 * PI * i / RINGS, b = 2 * PI * j / SIDES;
            fx.normal[i][j] = {std::cos(a) * std::cos(b), std::sin(a) * std::cos(b), std::sin(b)};
            const float r = 62.0f + 24.0f * std::cos(b);  // tube of 24 units round a ring of 62
            fx.point[i][j] = {std::cos(a) * r, std::sin(a) * r, 24.0f * std::sin(b)};
        }
    return 1;
}

static void starter_draw(Pixmap* screen, const MusicPosition* position) {
    const float dt = position->frame_ticks;  // 14 ms ticks since the last frame
    fx.swell = position->row % 16 == 0 ? 1.0f : std::max(0.0f, fx.swell - 0.05f * dt);
    fx.angle += 0.012f * dt;
    const double row = track_row(position);
    const float distance = sync_get_val(fx.distance, row);
    const float fade = std::clamp(sync_get_val(fx.fade, row), 0.0f, 1.0f);

    static const uint32_t colours[4] = {0xFF402010, 0xFF103040, 0xFF301040, 0xFF104020};  // A B G R
    pixmap_clear_rect(screen, 0, 0, screen->width, screen->height, colours[position->order % 4]);

    matrix m;
    mat_rotate_zyx(&m, fx.angle, 0.7f * fx.angle, 0.3f * fx.angle);
    static vector p[RINGS][SIDES];
    static float u[RINGS][SIDES], v[RINGS][SIDES];
    for (int i = 0; i < RINGS; i++)
        for (int j = 0; j < SIDES; j++) {
            vector n;
            vec_mul_matrix(&p[i][j], &fx.point[i][j], &m);
            vec_scale(&p[i][j], 1.0f + 0.25f * fx.swell, &p[i][j]);
            p[i][j].z += distance;
            vec_mul_matrix(&n, &fx.normal[i][j], &m);
            u[i][j] = 128.0f + 127.0f * n.x;  // the map's texel facing the normal
            v[i][j] = 128.0f - 127.0f * n.y;
        }
    raster_select(RASTER_FLAGS_FIXED_ZBUFFER);  // 0x94: 16.16 spans, z-buffered, 256 x 256 textures
    for (int i = 0; i < RINGS; i++)
        for (int j = 0; j < SIDES; j++) {
            const int i1 = (i + 1) % RINGS, j1 = (j + 1) % SIDES;
            const int quad[2][3][2] = {{{i, j}, {i1, j}, {i1, j1}}, {{i, j}, {i1, j1}, {i, j1}}};
            for (const auto& tri : quad) {
                for (int k = 0; k < 3; k++) {
                    fx.poly->vertex[k] = p[tri[k][0]][tri[k][1]];
                    fx.poly->uv[2 * k] = u[tri[k][0]][tri[k][1]];
                    fx.poly->uv[2 * k + 1] = v[tri[k][0]][tri[k][1]];
                }
                frustum_draw_tpoly(fx.view, fx.poly);
            }
        }

    // The 2D kit's fade: towards opaque black by what is left of the fade-in.
    if (fade < 1.0f) fx_fade(screen, 0xFF000000u, 1.0f - fade, screen->width * screen->height);
}

// ---- The program -----------------------------------------------------------------
static int fail(const char* what, const char* why) {
    std::fprintf(stderr, "starter: %s: %s\n", what, why);
    return 1;
}

int main(int argc, char** argv) {
    std::string data = TAVIK_DATA_DIR, out, tracks = STARTER_TRACK_DIR;
    long frames = 0;
    bool editor = false;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--frames") && i + 1 < argc) frames = std::strtol(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--out") && i + 1 < argc) out = argv[++i];
        else if (!std::strcmp(argv[i], "--tracks") && i + 1 < argc) tracks = argv[++i];
        else if (!std::strcmp(argv[i], "--editor")) editor = true;
        else if (argv[i][0] != '-') data = argv[i];
        else {
            fail(argv[i], "unknown option (DATA, --frames N, --out DIR, --tracks DIR, --editor)");
            return 2;
        }
    }
#ifdef TAVIK_HOST_HEADLESS
    if (frames <= 0 || out.empty()) {
        fail("headless", "give --frames N (N > 0) and --out DIR");
        return 2;
    }
#endif

    // The tracks: from their files, else the keys written above.
    SyncDevice* sync = sync_create((tracks + "/starter").c_str());
    if (!sync) return fail("sync tracks", sync_error_string());
    for (const BuiltInKeys& b : built_in) {
        if (!sync_get_track(sync, b.track)) return fail(b.track, sync_error_string());
        SyncTrack* t = sync_track_at(sync, sync_find_track(sync, b.track));
        if (!sync_load_track(sync, t)) {
            std::fprintf(stderr, "starter: %s (%s): playing the keys it was written with\n", sync_error_detail(),
                         sync_error_string());
            for (int k = 0; k < b.count; k++) sync_set_key(t, &b.keys[k]);
        }
    }
    fx.distance = sync_get_track(sync, "camera:distance");
    fx.fade = sync_get_track(sync, "fade");
    SyncEditor* link = editor ? sync_editor_connect(sync, SYNC_EDITOR_PORT) : nullptr;
    if (editor && !link) std::fprintf(stderr, "starter: %s: playing the track files\n", sync_editor_error());

    Pixmap* screen = pixmap_create(320, 240, PIXMAP_ZBUFFER | PIXMAP_CLEAR);
    if (!screen) return fail("screen", pixmap_error_string());
    const char* why = "";
    if (!starter_create(screen, data + "/envmap.jpg", &why)) return fail((data + "/envmap.jpg").c_str(), why);
    const GfxDriver* gfx = current_gfx_driver;
    if (!gfx->open(320, 240, "Tavik starter", GFX_MODE_32BPP) && !gfx->open(320, 240, "Tavik starter", GFX_MODE_16BPP))
        return fail("display", gfx->error_string());
    // Loads and plays the module and starts the 14 ms clock behind MusicPosition.
    if (!music_init((data + "/ragga.xm").c_str(), MUSIC_FMOD | MUSIC_PLAY, 0)) {
        gfx->close();
        return fail((data + "/ragga.xm").c_str(), music_error_string());
    }
    MusicPosition* position = sync_position();

    int status = 0;
    bool quit = false;
    for (long frame = 0; !quit && frame != frames; frame++) {  // frames 0: until Escape
        starter_draw(screen, position);
#ifdef TAVIK_HOST_HEADLESS
        char name[32];
        std::snprintf(name, sizeof name, "/frame_%04ld.png", frame);
        std::printf("frame %ld: order %u row %u\n", frame, position->order.load(), position->row.load());
        if (!pixmap_save_png(screen, (out + name).c_str())) {  // RGB: the screen has no PIXMAP_ALPHA
            status = fail(fx_error_detail(), fx_error_string());
            break;
        }
#endif
        gfx->update();  // window messages, then the vertical-blank wait
        gfx->blit(0, 0, screen, 0, 0, screen->width, screen->height);
        sync_update();  // frame_ticks: the clock's ticks since the last frame
        for (int32_t key; (key = gfx->get_key()) != 0;)
            if (key == 27) quit = true;  // Escape, also what closing the window sends
        // The editor: keys as they change, its row and pause; our row back to it.
        SyncEditorEvents ev;
        if (link && sync_editor_poll(link, &ev)) {
            if (ev.pause_set) music_pause(ev.paused);
            if (ev.row_set) music_seek(uint32_t(ev.row) / 64, uint32_t(ev.row) % 64, 0);
            sync_editor_set_row(link, int32_t(position->order * 64 + position->row));
        }
    }
    sync_editor_close(link);
    sync_destroy(sync);
    music_shutdown();
    gfx->close();
    return status;
}
