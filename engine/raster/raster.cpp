// Rasterizer registry and per-triangle dispatcher: chooses the current driver by
// its capability word and sends each triangle to the slot of its drawing mode.
#include "engine/raster/raster.h"

#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "engine/pixmap/pixmap.h"
#include "engine/raster/tpoly.h"

const RasterDriver* const raster_drivers[] = {
    &raster_driver_perspective,
    &raster_driver_fixed_zbuffer,
    &raster_driver_fixed_nozbuffer,
    &raster_driver_float_exact,
    &raster_driver_safe,
    nullptr,
};

const RasterDriver* current_raster_driver = &raster_driver_float_zbuffer;

// In bands.cpp: queues a fill for the open batch (1), or draws the queue first (0).
int raster_band_queue(RasterSlot slot, tpoly* t, Pixmap* target);

// Notes a mode the current driver has no routine for.
static void note_no_slot(const RasterDriver* d, int slot, uint32_t flags) {
    static const char* const what[RASTER_SLOTS] = {
        "lines", "flat", "wire", "", "textured", "flat-lit textured", "", "", "Gouraud-lit textured",
        "", "", "", "", "", "", "", "", "", "second-mapping", "flat-lit second-mapping",
        "Gouraud-lit second-mapping"};
    raster_note(RASTER_NOTE_NO_SLOT,
                "the current driver (0x%02X, \"%s\") has no routine for %s triangles (flags 0x%04X): they are "
                "not drawn%s",
                (unsigned)d->flags, d->name, what[slot], (unsigned)flags,
                slot == RASTER_SLOT_TEXTURED_LIT || slot == RASTER_SLOT_TEXTURED_GOURAUD
                    ? "; only the safe driver (0x01) lights textures"
                    : "");
}

// The notes: a bit per cause (read without the lock on the drawing path) and
// the line of the first triangle of each cause.
constexpr int RASTER_NOTE_CAUSES = 8;
static struct {
    std::atomic<uint32_t> bits{0};
    std::mutex lock;
    char line[RASTER_NOTE_CAUSES][256];
    char detail[RASTER_NOTE_CAUSES * 257];
} notes;

int raster_select(uint32_t flags) {
    raster_clear_notes();
    for (int i = 0; raster_drivers[i]; i++) {
        if (raster_drivers[i]->flags == flags) {
            current_raster_driver = raster_drivers[i];
            return 1;
        }
    }
    current_raster_driver = &raster_driver_safe;
    raster_note(RASTER_NOTE_UNKNOWN_FLAGS,
                "raster_select(0x%02X): no driver has these flags; the safe driver (0x01) is current "
                "(the drivers: 0xA0, 0x94, 0x14, 0x00, 0x01)",
                (unsigned)flags);
    return 0;
}

void raster_note(uint32_t cause, const char* format, ...) {
    if (notes.bits.load(std::memory_order_relaxed) & cause) return;
    std::lock_guard<std::mutex> hold(notes.lock);
    if (notes.bits.load(std::memory_order_relaxed) & cause) return;
    int index = 0;
    while (index < RASTER_NOTE_CAUSES - 1 && !(cause & (1u << index))) index++;
    va_list args;
    va_start(args, format);
    std::vsnprintf(notes.line[index], sizeof notes.line[index], format, args);
    va_end(args);
    notes.bits.fetch_or(cause, std::memory_order_relaxed);
}

uint32_t raster_notes() { return notes.bits.load(std::memory_order_relaxed); }

const char* raster_error_detail() {
    std::lock_guard<std::mutex> hold(notes.lock);
    const uint32_t bits = notes.bits.load(std::memory_order_relaxed);
    size_t used = 0;
    notes.detail[0] = 0;
    for (int i = 0; i < RASTER_NOTE_CAUSES; i++) {
        if (!(bits & (1u << i))) continue;
        int n = std::snprintf(notes.detail + used, sizeof notes.detail - used, "%s%s", used ? "\n" : "",
                              notes.line[i]);
        if (n > 0) used += (size_t)n;
    }
    return notes.detail;
}

void raster_clear_notes() {
    std::lock_guard<std::mutex> hold(notes.lock);
    notes.bits.store(0, std::memory_order_relaxed);
}

int raster_mode_slot(uint32_t flags) {
    switch (flags & RASTER_MODE_MASK) {
    case TPOLY_TEXTURED: return RASTER_SLOT_TEXTURED;
    case TPOLY_TEXTURED | TPOLY_FLAT_LIGHT: return RASTER_SLOT_TEXTURED_LIT;
    case TPOLY_TEXTURED | TPOLY_GOURAUD: return RASTER_SLOT_TEXTURED_GOURAUD;
    case TPOLY_MAPPING2: return RASTER_SLOT_MAPPING2;
    case TPOLY_MAPPING2 | TPOLY_FLAT_LIGHT: return RASTER_SLOT_MAPPING2_LIT;
    case TPOLY_MAPPING2 | TPOLY_GOURAUD: return RASTER_SLOT_MAPPING2_GOURAUD;
    default: return RASTER_SLOT_FLAT;  // TPOLY_FLAT and every extra-bit combination
    }
}

void raster_draw_triangle(tpoly* t, Pixmap* target) {
    const uint32_t flags = t->flags;
    // A vertex at infinity or NaN (a point projected from exactly the eye) has
    // no place on the screen: no driver is handed one.
    for (const vector& v : t->vertex)
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) return;
    if (!(flags & TPOLY_TWO_SIDED)) {
        // c > 0: counter-clockwise on a y-down screen, a back face. Degenerate (0) is drawn.
        const vector* v = t->vertex;
        float c = (v[0].x - v[1].x) * (v[2].y - v[1].y) - (v[0].y - v[1].y) * (v[2].x - v[1].x);
        if (c > 0.0f) {
            raster_note_back_face(v);
            return;
        }
    }
    if ((flags & TPOLY_CUSTOM) && t->draw_routine) {
        raster_drain(target);
        t->draw_routine(t, target);
        return;
    }
    const RasterDriver* d = current_raster_driver;
    if (flags & TPOLY_WIRE) {
        raster_drain(target);
        if (d->slot[RASTER_SLOT_WIRE])
            d->slot[RASTER_SLOT_WIRE](t, target);
        else
            note_no_slot(d, RASTER_SLOT_WIRE, flags);
        return;
    }
    const int slot = raster_mode_slot(flags);
    RasterSlot s = d->slot[slot];
    if (!s) note_no_slot(d, slot, flags);
    if (s && !raster_band_queue(s, t, target)) s(t, target);
}

void raster_note_back_face(const vector* v) {
    // Culling is frequent (half of a closed mesh): once noted, nothing to format.
    if (notes.bits.load(std::memory_order_relaxed) & RASTER_NOTE_BACK_FACE) return;
    raster_note(RASTER_NOTE_BACK_FACE,
                "a triangle was culled as a back face: its corners (%.1f, %.1f) (%.1f, %.1f) (%.1f, %.1f) run "
                "counter-clockwise on the screen; the front winding is clockwise (y down), or set TPOLY_TWO_SIDED",
                v[0].x, v[0].y, v[1].x, v[1].y, v[2].x, v[2].y);
}

bool raster_texture_usable(const tpoly* t, const char* driver, bool rows) {
    const Pixmap* tex = t->texturemap;
    if (!tex || !tex->pixels || (rows && !tex->rows) || tex->width <= 0 || tex->height <= 0) {
        raster_note(RASTER_NOTE_NO_TEXTURE,
                    "the %s driver drew no textured triangle: %s", driver,
                    !tex ? "its texturemap is null" : "its texturemap has no pixels or no size");
        return false;
    }
    const int32_t first = t->uv_index[0];
    if (first < 0 || first > TPOLY_UV_FLOATS - 6) {
        raster_note(RASTER_NOTE_UV_INDEX,
                    "the %s driver drew no textured triangle: uv_index[0] is %d, its six coordinates "
                    "must start at 0 to %d in uv",
                    driver, (int)first, TPOLY_UV_FLOATS - 6);
        return false;
    }
    return true;
}
