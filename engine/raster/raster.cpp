// Rasterizer registry and per-triangle dispatcher: chooses the current driver by
// its capability word and sends each triangle to the slot of its drawing mode.
#include "engine/raster/raster.h"

#include <cmath>

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

int raster_select(uint32_t flags) {
    for (int i = 0; raster_drivers[i]; i++) {
        if (raster_drivers[i]->flags == flags) {
            current_raster_driver = raster_drivers[i];
            return 1;
        }
    }
    current_raster_driver = &raster_driver_safe;
    return 0;
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
        if (c > 0.0f) return;
    }
    if ((flags & TPOLY_CUSTOM) && t->draw_routine) {
        raster_drain(target);
        t->draw_routine(t, target);
        return;
    }
    const RasterDriver* d = current_raster_driver;
    if (flags & TPOLY_WIRE) {
        raster_drain(target);
        if (d->slot[RASTER_SLOT_WIRE]) d->slot[RASTER_SLOT_WIRE](t, target);
        return;
    }
    RasterSlot s = d->slot[raster_mode_slot(flags)];
    if (s && !raster_band_queue(s, t, target)) s(t, target);
}
