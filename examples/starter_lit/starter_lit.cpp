// A lit effect on Tavik with no window: a faceted sphere turning under the
// engine's headlight, its facets shaded by how they face the eye, faded towards
// black over the run through the 2D kit and saved frame by frame as PNG.
//   starter-lit --frames N --out DIR     frame_0000.png ... , the same on every run
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "engine/fx/fx.h"
#include "engine/geometry/frustum.h"
#include "engine/geometry/light.h"
#include "engine/math/vector.h"
#include "engine/pixmap/pixmap.h"
#include "engine/raster/raster.h"
#include "engine/raster/tpoly.h"

constexpr int STACKS = 12, SLICES = 24;  // the sphere's facets
constexpr float PI = 3.14159265f, RADIUS = 90.0f;
constexpr uint32_t BACKGROUND = 0xFF402010u;  // A B G R: dark blue

// A point of the unit sphere: stack i from the top, slice j round it.
static vector sphere_point(int i, int j) {
    const float th = PI * float(i) / STACKS, ph = 2.0f * PI * float(j) / SLICES;
    return {std::sin(th) * std::cos(ph), std::cos(th), std::sin(th) * std::sin(ph)};
}

// Frame `frame` of `frames`: the sphere turned, lit, then faded by the run's progress.
static void draw(Pixmap* screen, frustum* view, tpoly* poly, long frame, long frames) {
    pixmap_clear_rect(screen, 0, 0, screen->width, screen->height, BACKGROUND);
    matrix m;
    const float angle = 0.05f * float(frame);
    mat_rotate_zyx(&m, 0.3f * angle, angle, 0.5f);
    raster_select(RASTER_FLAGS_FIXED_ZBUFFER);  // lit flat fills in the grey of their level
    raster_begin(screen);                       // on every core; the same picture at any count
    for (int i = 0; i < STACKS; i++)
        for (int j = 0; j < SLICES; j++) {
            const vector rest[4] = {sphere_point(i, j), sphere_point(i + 1, j), sphere_point(i + 1, j + 1),
                                    sphere_point(i, j + 1)};
            vector quad[4];
            vec_transform_array(quad, rest, 4, &m);  // out and in apart: not in place
            static const int halves[2][3] = {{0, 1, 2}, {0, 2, 3}};
            for (const auto& h : halves) {
                vector v[3] = {quad[h[0]], quad[h[1]], quad[h[2]]}, e1, e2, n, mid;
                vec_sub(&e1, &v[1], &v[0]);
                vec_sub(&e2, &v[2], &v[0]);
                vec_cross(&n, &e1, &e2);
                if (vec_length(&n) < 1e-6f) continue;  // the poles' empty halves
                vec_add(&mid, &v[0], &v[1]);
                vec_add(&mid, &mid, &v[2]);
                if (vec_dot(&n, &mid) < 0.0f) {  // corners turned so the normal points out:
                    std::swap(v[1], v[2]);       // clockwise on the screen when it faces the eye
                    vec_scale(&n, -1.0f, &n);
                }
                vec_normalize(&poly->face_normal, &n);  // unit length, view space
                for (int k = 0; k < 3; k++) vec_scale(&poly->vertex[k], RADIUS, &v[k]);
                frustum_draw_tpoly(view, poly);  // writes poly->flat_intensity from the light
            }
        }
    raster_flush();
    // The 2D kit's fade: towards black, a little more each frame (weight 0 .. 0.75).
    const float weight = 0.75f * float(frame) / float(frames > 1 ? frames - 1 : 1);
    fx_fade(screen, 0xFF000000u, weight, screen->width * screen->height);
}

static int fail(const char* what, const char* why) {
    std::fprintf(stderr, "starter-lit: %s: %s\n", what, why);
    return 1;
}

int main(int argc, char** argv) {
    long frames = 0;
    std::string out;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--frames") && i + 1 < argc) frames = std::strtol(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--out") && i + 1 < argc) out = argv[++i];
        else {
            fail(argv[i], "unknown argument (--frames N, --out DIR)");
            return 2;
        }
    }
    if (frames <= 0 || out.empty()) {
        fail("arguments", "give --frames N (N > 0) and --out DIR");
        return 2;
    }

    Pixmap* screen = pixmap_create(320, 240, PIXMAP_ZBUFFER | PIXMAP_CLEAR);
    if (!screen) return fail("screen", pixmap_error_string());
    frustum* view = frustum_create(0, screen, 320.0f, 240.0f, 400.0f);  // 320 x 240 units at z = 0
    if (!view) return fail("view", frustum_error_string());
    tpoly* poly = tpoly_create();
    if (!poly) return fail("polygon", tpoly_error_string());
    light* lamp = light_create_headlight();  // far behind the eye: full level facing it, 0 edge-on
    if (!lamp) return fail("light", light_error_string());
    frustum_add_light(view, lamp);
    poly->flags = TPOLY_FLAT | TPOLY_FLAT_LIGHT;  // one level per facet
    poly->stride = 3;                             // clipped vertices carry x, y, z alone

    int status = 0;
    for (long frame = 0; frame < frames; frame++) {
        draw(screen, view, poly, frame, frames);
        char name[32];
        std::snprintf(name, sizeof name, "/frame_%04ld.png", frame);
        if (!pixmap_save_png(screen, (out + name).c_str())) {
            status = fail(fx_error_detail(), fx_error_string());
            break;
        }
    }
    light_destroy(lamp);
    tpoly_destroy(poly);
    frustum_destroy(view);
    pixmap_destroy(screen);
    return status;
}
