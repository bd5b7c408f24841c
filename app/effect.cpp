// Set-up the textured 3D effects share.
#include "app/effect.h"

#include "engine/geometry/frustum.h"
#include "engine/pixmap/pixmap.h"

tpoly* effect_textured_poly() {
    tpoly* poly = tpoly_create();
    if (!poly) return nullptr;
    poly->flags = TPOLY_TEXTURED;
    poly->stride = 5;
    poly->uv_count = 6;
    poly->uv_index[0] = 0;
    const float uv[6] = {0, 0, 0, 255, 255, 255};
    for (int i = 0; i < 6; i++) poly->uv[i] = uv[i];
    return poly;
}

void effect_align_view(frustum* view) {
    if (!view || !view->target) return;
    const float w = float(view->target->width), h = float(view->target->height);
    // The rasterizers fill a pixel from the sample at its far corner, so with the
    // plain scale a logical pixel's s x s block lands (s - 1) / 2 pixels right of
    // and below its place (measured against the logical-size frames).
    if (w != view->logic_x) view->midx -= (w / view->logic_x - 1.0f) * 0.5f;
    if (h != view->logic_y) view->midy -= (h / view->logic_y - 1.0f) * 0.5f;
}
