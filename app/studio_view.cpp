// The studio's overlay and reload. The overlay is drawn into the screen just
// before it is presented and taken out again right after, because the effects
// draw over the last frame: nothing of it may reach the next one.
#include "app/studio_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/blob.h"
#include "app/demo.h"
#include "app/font.h"
#include "app/hairy.h"
#include "app/klegg.h"
#include "app/knot.h"
#include "app/picture.h"
#include "app/studio.h"
#include "app/zfx.h"
#include "engine/image/gif.h"
#include "engine/image/jpeg.h"
#include "engine/image/pcx.h"
#include "engine/jobs/jobs.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "engine/raster/tpoly.h"

// ---- module state -----------------------------------------------------------

StudioView studio_view = {};

// What the overlay covers, kept while it is shown.
static struct {
    std::vector<uint32_t> pixels;
    int32_t width = 0, height = 0;
} under;

// ---- private helpers --------------------------------------------------------

// Pixels are bytes R, G, B in memory: the words read 0xBBGGRR.
static const uint32_t OVERLAY_TEXT = 0xFFFFFF, OVERLAY_ACCENT = 0xFFE040, OVERLAY_WARN = 0x3080FF;

static int cell(const Pixmap* screen)
{
    return std::max(1, int(std::lround(screen->width / 320.0)));
}

static void darken(Pixmap* s, int32_t x0, int32_t y0, int32_t w, int32_t h)
{
    for (int32_t y = y0; y < y0 + h && y < s->height; y++)
        for (int32_t x = x0; x < x0 + w && x < s->width; x++) {
            uint32_t& p = s->pixels[size_t(y) * size_t(s->width) + size_t(x)];
            p = (p >> 2) & 0x3F3F3F;
        }
}

static void fill(Pixmap* s, int32_t x0, int32_t y0, int32_t w, int32_t h, uint32_t colour)
{
    for (int32_t y = std::max(0, y0); y < y0 + h && y < s->height; y++)
        for (int32_t x = std::max(0, x0); x < x0 + w && x < s->width; x++)
            s->pixels[size_t(y) * size_t(s->width) + size_t(x)] = colour;
}

static void text(Pixmap* s, int32_t x, int32_t y, const std::string& t, uint32_t colour)
{
    const int c = cell(s);
    for (size_t i = 0; i < t.size(); i++) {
        const uint8_t* g = font::glyph(t[i]);
        for (int r = 0; r < font::GLYPH_H; r++)
            for (int b = 0; b < font::GLYPH_W; b++)
                if (g[r] & (1 << (font::GLYPH_W - 1 - b)))
                    fill(s, x + (int32_t(i) * (font::GLYPH_W + 1) + b) * c, y + r * c, c, c, colour);
    }
}

// The overlay's box: lines of text, then the graph, as wide as the widest.
static const int LINE_CELLS = font::GLYPH_H + 3, GRAPH_CELLS = 24;

// ---- reload -----------------------------------------------------------------

enum LoaderKind { JPEG, GIF, PCX };

struct DataFile {
    const char* name;
    LoaderKind kind;
    bool picture;      // full-screen or credit picture, at the screen's scale
    Pixmap** slot;
};

static Pixmap* load(const DataFile& f, std::string* why)
{
    PictureLoader loader = f.kind == JPEG ? jpeg_load2pixmap : f.kind == GIF ? gif_load2pixmap : pcx_load2pixmap;
    Pixmap* p = f.picture ? picture_load(f.name, loader, demo.vscreen->width, demo.vscreen->height) : loader(f.name);
    if (!p) {
        const char* message = f.kind == JPEG ? jpeg_error_string() : f.kind == GIF ? gif_error_string() : pcx_error_string();
        const char* detail = f.kind == JPEG ? jpeg_error_detail() : f.kind == GIF ? gif_error_detail() : pcx_error_detail();
        *why = std::string(message) + (detail && *detail ? std::string(" (") + detail + ")" : "");
    }
    return p;
}

// ---- public functions ---------------------------------------------------------

void studio_view_frame_time(float ms)
{
    std::memmove(studio_view.frame_ms, studio_view.frame_ms + 1, sizeof(float) * (STUDIO_FRAME_TIMES - 1));
    studio_view.frame_ms[STUDIO_FRAME_TIMES - 1] = ms;
    if (studio_view.message_frames > 0) studio_view.message_frames--;
}

int studio_view_lines(std::string* lines, int max_lines)
{
    const MusicPosition* p = demo.position;
    const uint32_t order = p->order.load(), row = p->row.load();
    const double seconds = double(studio_frame()) / double(studio_frame_rate());
    char buf[160];
    int n = 0;
    auto add = [&](const char* s) {
        if (n < max_lines) lines[n++] = s;
    };
    std::snprintf(buf, sizeof buf, "%u:%02u  %d:%05.2f%s%s", order, row, int(seconds) / 60, std::fmod(seconds, 60.0),
                  music_is_paused() ? "  PAUSED" : "", studio_view.looping ? "  LOOP" : "");
    add(buf);
    add(demo_section(order)->name);
    std::snprintf(buf, sizeof buf, "FRAME %.2f MS  THREADS %d  SCALE %g", double(studio_view.frame_ms[STUDIO_FRAME_TIMES - 1]),
                  jobs_threads(), double(demo.scale));
    add(buf);
    if (studio_view.message_frames > 0 && !studio_view.message.empty()) add(studio_view.message.c_str());
    return n;
}

void studio_view_show(Pixmap* s)
{
    under.pixels.clear();
    if (!studio_view.overlay) return;
    const int c = cell(s);
    std::string lines[4];
    const int n = studio_view_lines(lines, 4);
    int widest = STUDIO_FRAME_TIMES;
    for (int i = 0; i < n; i++) widest = std::max(widest, font::text_width(lines[i]));
    under.width = std::min<int32_t>(s->width, (widest + 4) * c);
    under.height = std::min<int32_t>(s->height, (n * LINE_CELLS + GRAPH_CELLS + 4) * c);
    under.pixels.resize(size_t(under.width) * size_t(under.height));
    for (int32_t y = 0; y < under.height; y++)
        std::memcpy(&under.pixels[size_t(y) * size_t(under.width)], &s->pixels[size_t(y) * size_t(s->width)],
                    sizeof(uint32_t) * size_t(under.width));
    darken(s, 0, 0, under.width, under.height);
    for (int i = 0; i < n; i++) {
        std::string upper = lines[i];
        for (char& ch : upper) ch = char(std::toupper(static_cast<unsigned char>(ch)));
        const bool warn = i == 3;
        text(s, 2 * c, (2 + i * LINE_CELLS) * c, upper, warn ? OVERLAY_WARN : i == 0 ? OVERLAY_ACCENT : OVERLAY_TEXT);
    }
    // The graph: one bar a frame, its full height 16.7 ms (a frame at 60 a
    // second, the line on top); longer frames stand out in the warning colour.
    const int32_t base = (2 + n * LINE_CELLS + GRAPH_CELLS) * c;
    for (int i = 0; i < STUDIO_FRAME_TIMES; i++) {
        const float ms = studio_view.frame_ms[i];
        const int h = std::min(GRAPH_CELLS, int(std::ceil(ms * GRAPH_CELLS / 16.7f)));
        fill(s, (2 + i) * c, base - h * c, c, h * c, ms > 16.7f ? OVERLAY_WARN : OVERLAY_ACCENT);
    }
    fill(s, 2 * c, base - GRAPH_CELLS * c, STUDIO_FRAME_TIMES * c, std::max(1, c / 2), OVERLAY_TEXT);
}

void studio_view_hide(Pixmap* s)
{
    for (int32_t y = 0; y < under.height && !under.pixels.empty(); y++)
        std::memcpy(&s->pixels[size_t(y) * size_t(s->width)], &under.pixels[size_t(y) * size_t(under.width)],
                    sizeof(uint32_t) * size_t(under.width));
    under.pixels.clear();
}

int studio_reload()
{
    // The credit cards' names as zfx_create reads them.
    static const char* const CREDITS[ZFX_CREDITS] = {
        "data/knot/music.jpg",  "data/knot/warnip.jpg", "data/knot/coding.jpg", "data/knot/hoskel.jpg",
        "data/knot/dunraf.jpg", "data/knot/selvin.jpg", "data/knot/mobrek.jpg",
    };
    std::vector<DataFile> files = {
        {"t8-greyb.jpg", JPEG, true, &demo.bakg},
        {"slutbild.gif", GIF, true, &demo.endpic},
        {"bl\xE5.jpg", JPEG, false, &klegg.poly->texturemap},
        {"r\xF6" "d.jpg", JPEG, false, &klegg.s_envmap},
        {"data/hairy/envmap01.jpg", JPEG, false, &hairy.hair_texture},
        {"data/hairy/envmap03.pcx", PCX, false, &hairy.background_texture},
        {"envmap.jpg", JPEG, false, &knot.poly->texturemap},
        {"envmap.jpg", JPEG, false, &blob.texture},
        {"data/knot/img.jpg", JPEG, true, &zfx.background},
    };
    for (int i = 0; i < ZFX_CREDITS; i++) files.push_back({CREDITS[i], JPEG, true, &zfx.credit[i]});

    int failed = 0;
    std::string message;
    for (const DataFile& f : files) {
        Pixmap* old = *f.slot;
        std::string why;
        Pixmap* fresh = old ? load(f, &why) : nullptr;
        if (fresh && (fresh->width != old->width || fresh->height != old->height)) {
            why = "now " + std::to_string(fresh->width) + " x " + std::to_string(fresh->height) + ", was " +
                  std::to_string(old->width) + " x " + std::to_string(old->height);
            pixmap_destroy(fresh);
            fresh = nullptr;
        }
        if (!fresh) {
            failed++;
            if (message.empty()) message = std::string(f.name) + ": " + (why.empty() ? "not loaded" : why) + ", kept the old one";
            continue;
        }
        // In place: every effect holding the old picture sees the new one.
        std::memcpy(old->pixels, fresh->pixels, sizeof(uint32_t) * size_t(old->width) * size_t(old->height));
        pixmap_destroy(fresh);
    }

    // The module: loaded anew and played on from the same place; a module that
    // does not load leaves the old one playing.
    MusicPlace place;
    const bool had_place = music_tell(&place) != 0;
    const int was_paused = music_is_paused();
    if (!had_place || !music_load(DEMO_MODULE_FILE)) {
        failed++;
        if (message.empty()) message = std::string(DEMO_MODULE_FILE) + ": " + music_error_string() + ", kept the old one";
    } else {
        music_play(0);
        music_pause(1);
        if (!music_seek_place(&place)) music_seek(0, 0, 0);
        if (!was_paused) music_pause(0);
    }
    studio_forget();
    if (failed > 1) message += " (and " + std::to_string(failed - 1) + " more)";
    studio_view.message = failed ? message : "reloaded " + std::to_string(files.size() + 1) + " files";
    studio_view.message_frames = 300;
    if (failed) std::fprintf(stderr, "wendril: reload: %s\n", message.c_str());
    return failed;
}
