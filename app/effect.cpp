// Set-up the textured 3D effects share.
#include "app/effect.h"

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
