// The Poly module: allocation of tpoly records from GMEM and its error message.
#include "engine/raster/tpoly.h"

#include "engine/memory/gmem.h"

static int tpoly_error = 0;

tpoly* tpoly_create() {
    tpoly* p = (tpoly*)gmem_alloc(sizeof(tpoly));
    if (!p) {
        tpoly_error = 1;
        return nullptr;
    }
    p->flags = 0;
    p->draw_routine = nullptr;
    p->reserved_end = 0;
    p->texturemap = nullptr;
    for (Pixmap*& t : p->texturemap_more) t = nullptr;
    p->uv_count = 0;
    return p;
}

void tpoly_destroy(tpoly* poly) {
    if (poly) gmem_free(poly);
}

const char* tpoly_error_string() {
    int code = tpoly_error;
    tpoly_error = 0;
    switch (code) {
    case 0: return "[Poly] No error, so far...";
    case 1: return "[Poly] No memory available";
    default: return "[Poly] Ambiguous error...";
    }
}
