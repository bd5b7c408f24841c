// The frustum: projection constants and side planes derived from a target
// Pixmap, the light list, projection of view-space points, the dump; and the
// polygon pipeline: rejection behind the eye, lighting, Sutherland-Hodgman
// clipping of vertices with their texture layers and light levels, projection
// and the fan into the rasterizer; also the frustum's points and lines.
#include "engine/geometry/frustum.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "engine/memory/gmem.h"
#include "engine/pixmap/pixmap.h"
#include "engine/raster/fixed.h"
#include "engine/raster/raster.h"

static int frustum_error = 0;
// The frustum whose lit triangle with no light was last reported: the code is
// set once per frustum and light list, not for every triangle.
static const frustum* unlit_reported = nullptr;

static void light_list_changed(const frustum* f) {
    if (unlit_reported == f) unlit_reported = nullptr;
}

constexpr int FRUSTUM_LIGHTS_START = 32;

frustum* frustum_create(int32_t reserved, Pixmap* target, float logic_x, float logic_y,
                        float perspective) {
    // Without a target there is no size to derive the projection from.
    if (!target) {
        frustum_error = 2;
        return nullptr;
    }
    frustum* f = (frustum*)gmem_alloc(sizeof(frustum));
    if (!f) {
        frustum_error = 1;
        return nullptr;
    }
    f->lights = (light**)gmem_alloc(FRUSTUM_LIGHTS_START * sizeof(light*));
    if (!f->lights) {
        gmem_free(f);
        frustum_error = 1;
        return nullptr;
    }
    f->triangle = tpoly_create();
    if (!f->triangle) {  // the Poly module holds the reason
        gmem_free(f->lights);
        gmem_free(f);
        return nullptr;
    }
    frustum_init(f, reserved, target, logic_x, logic_y, perspective);
    return f;
}

int frustum_init(frustum* f, int32_t reserved, Pixmap* target, float logic_x, float logic_y,
                 float perspective) {
    if (!f || !target) return 0;
    f->reserved = reserved;
    f->target = target;
    float w = (float)target->width;
    float h = (float)target->height;
    f->logic_x = logic_x;
    f->logic_y = logic_y;
    f->perspective = perspective;
    f->midx = w * 0.5f;
    f->midy = h * 0.5f;
    f->sfx = w / logic_x * perspective;
    f->sfy = h / logic_y * perspective;
    f->light_capacity = FRUSTUM_LIGHTS_START;
    f->light_count = 0;
    light_list_changed(f);
    f->reserved_near = 40.0f;
    f->reserved_far = std::bit_cast<float>(0x7F7FFFFFu);
    // The 0.5 tilts each plane inwards: what survives clipping projects just
    // inside the target's edges.
    const float p = perspective + 0.5f;
    const vector left = {-p, 0.0f, -logic_x / 2.0f};
    const vector right = {p, 0.0f, -logic_x / 2.0f};
    const vector up = {0.0f, p, -logic_y / 2.0f};
    const vector down = {0.0f, -p, -logic_y / 2.0f};
    vec_normalize(&f->n_left, &left);
    vec_normalize(&f->n_right, &right);
    vec_normalize(&f->n_up, &up);
    vec_normalize(&f->n_down, &down);
    return 1;
}

void frustum_destroy(frustum* f) {
    if (!f) return;
    light_list_changed(f);
    tpoly_destroy(f->triangle);
    gmem_free(f->lights);
    gmem_free(f);
}

int frustum_add_light(frustum* f, light* l) {
    if (!f) return 0;
    if (f->light_count >= f->light_capacity) {
        int capacity = f->light_capacity * 2;
        light** grown = (light**)gmem_realloc(f->lights, (uint32_t)capacity * sizeof(light*));
        if (!grown) {
            frustum_error = 1;
            return 0;
        }
        f->lights = grown;
        f->light_capacity = capacity;
    }
    f->lights[f->light_count++] = l;
    light_list_changed(f);
    return 1;
}

void frustum_clear_lights(frustum* f) {
    if (!f) return;
    f->light_count = 0;
    light_list_changed(f);
}

vector* frustum_project(const frustum* f, vector* out, const vector* in) {
    float w = 1.0f / (f->perspective + in->z);
    float x = w * in->x * f->sfx + f->midx;
    float y = f->midy - w * in->y * f->sfy;
    out->x = x;
    out->y = y;
    out->z = in->z;
    return out;
}

float frustum_project_size(const frustum* f, const vector* point, float size) {
    return size * f->sfx / (f->perspective + point->z);
}

int frustum_sphere_visible(const frustum* f, const vector* centre, float radius) {
    const float r2 = radius * radius;
    const vector* planes[4] = {&f->n_left, &f->n_right, &f->n_up, &f->n_down};
    for (const vector* n : planes)
        if (!(vec_dot(n, centre) < r2)) return 0;
    return 1;
}

void frustum_dump(const frustum* f) {
    std::printf("-----[ Frustum ]---------------\n");
    std::printf("Logic x     %0.3f\n", f->logic_x);
    std::printf("Logic y     %0.3f\n", f->logic_y);
    std::printf("Perspective %0.3f\n", f->perspective);
    std::printf("Width       %d\n", f->target->width);
    std::printf("Height      %d\n", f->target->height);
    std::printf("Midx        %0.3f\n", f->midx);
    std::printf("Midy        %0.3f\n", f->midy);
    std::printf("Sfx         %0.3f\n", f->sfx);
    std::printf("Sfy         %0.3f\n", f->sfy);
    std::printf("N left      (%0.3f, %0.3f, %0.3f)\n", f->n_left.x, f->n_left.y, f->n_left.z);
    std::printf("N right     (%0.3f, %0.3f, %0.3f)\n", f->n_right.x, f->n_right.y, f->n_right.z);
    std::printf("N up        (%0.3f, %0.3f, %0.3f)\n", f->n_up.x, f->n_up.y, f->n_up.z);
    std::printf("N down      (%0.3f, %0.3f, %0.3f)\n", f->n_down.x, f->n_down.y, f->n_down.z);
}

const char* frustum_error_string() {
    int code = frustum_error;
    frustum_error = 0;
    switch (code) {
    case 0: return "No error, so far...";
    case 1: return "No memory available";
    case FRUSTUM_ERROR_NO_LIGHT: return "Lit triangle drawn with no light";
    default: return "Ambiguous error...";
    }
}

// ---- the polygon pipeline ------------------------------------------------------

// Clip buffers: a convex polygon gains at most one vertex per plane, but every
// edge may emit two vertices, and vertices lying exactly on a plane can make
// that happen on most edges of a stage. Sized for two per edge, stage by stage
// (3, 6, 12, 24, 48 vertices), no input can overrun them.
constexpr int CLIP_STAGE_VERTICES[5] = {3, 6, 12, 24, 48};

// The constant the centroid is scaled by: 0.33333, not exactly a third.
static const float ONE_THIRD = std::bit_cast<float>(0x3EAAAA3Bu);

static float clip_dot(const vector* n, const float* p) {
    return n->x * p[0] + n->y * p[1] + n->z * p[2];
}

// p = a + t (b - a) over all stride floats, t = -da / (n . (b - a)): the point
// of a-b on the plane. p may be a or b (each float is read before it is
// written). A zero denominator (an edge lying in the plane, both ends on it)
// leaves p as it is instead of dividing 0 by 0.
static void clip_point(const vector* n, float* p, const float* a, const float* b, float da,
                       int stride) {
    const float diff[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    float denom = clip_dot(n, diff);
    if (denom == 0.0f) return;
    float t = -da / denom;
    for (int i = 0; i < stride; i++) p[i] = a[i] + t * (b[i] - a[i]);
}

int clip_edge(const vector* n, float* a, float* b, int stride) {
    float da = clip_dot(n, a);
    float db = clip_dot(n, b);
    if (db - da > 0.0f) {  // running outwards
        if (db < 0.0f) return 1;
        if (da > 0.0f) return 0;
        clip_point(n, b, a, b, da, stride);  // the exit point replaces b
        return 2;
    }
    if (da < 0.0f) return 1;
    if (db > 0.0f) return 0;
    clip_point(n, a, a, b, da, stride);  // the entry point replaces a
    return 1;
}

int clip_polygon(const vector* n, float* out, const float* in, int count, int stride) {
    if (stride < 3 || stride > FRUSTUM_MAX_STRIDE) return 0;  // beyond the edge buffers
    // Wholly inside (every vertex strictly): every edge would emit its start
    // unchanged, so the polygon passes as it is.
    bool inside = true;
    for (int j = 0; j < count && inside; j++) inside = clip_dot(n, in + j * stride) < 0.0f;
    if (inside) {
        std::memcpy(out, in, (size_t)count * stride * sizeof(float));
        return count;
    }
    int written = 0;
    float a[FRUSTUM_MAX_STRIDE], b[FRUSTUM_MAX_STRIDE];
    for (int j = 0; j < count; j++) {
        const float* start = in + j * stride;
        const float* end = in + ((j + 1) % count) * stride;
        std::memcpy(a, start, (size_t)stride * sizeof(float));
        std::memcpy(b, end, (size_t)stride * sizeof(float));
        int r = clip_edge(n, a, b, stride);
        if (r >= 1) {
            std::memcpy(out + written * stride, a, (size_t)stride * sizeof(float));
            written++;
        }
        if (r == 2) {
            std::memcpy(out + written * stride, b, (size_t)stride * sizeof(float));
            written++;
        }
    }
    return written;
}

// A sum of light levels as the rasterizers' level: truncated, at most 255, NaN
// (from a NaN normal) 0; no floor, but a sum at or below the int range gives
// INT32_MIN instead of reaching the integer conversion, undefined there.
constexpr FixedRange LIGHT_LEVEL = {-2147483648.0f, 255.0f, INT32_MIN, 255, 0};
// A clipped light level back to an integer; NaN, which only a NaN input can
// produce, and values beyond +-2e9 give 0.
constexpr FixedRange CLIPPED_LEVEL = {-2.0e9f, 2.0e9f, 0, 0, 0};

// Light levels of the triangle from the frustum's lights, by flags AND 0x600.
// With no light every level is 0, a black triangle: reported, once.
static void pipeline_light(const frustum* f, tpoly* p) {
    const uint32_t mode = p->flags & (TPOLY_FLAT_LIGHT | TPOLY_GOURAUD);
    if ((mode == TPOLY_FLAT_LIGHT || mode == TPOLY_GOURAUD) && f->light_count == 0 && unlit_reported != f) {
        frustum_error = FRUSTUM_ERROR_NO_LIGHT;
        unlit_reported = f;
    }
    switch (mode) {
    case TPOLY_FLAT_LIGHT: {
        vector c;
        vec_add(&c, &p->vertex[1], &p->vertex[2]);
        vec_add(&c, &p->vertex[0], &c);
        vec_scale(&c, ONE_THIRD, &c);
        float sum = 0.0f;
        for (int i = 0; i < f->light_count; i++)
            sum += light_evaluate(f->lights[i], &c, &p->face_normal);
        p->flat_intensity = fixed_trunc(sum, LIGHT_LEVEL);
        break;
    }
    case TPOLY_GOURAUD: {
        float s[3] = {0.0f, 0.0f, 0.0f};
        for (int i = 0; i < f->light_count; i++)
            for (int v = 0; v < 3; v++)
                s[v] += light_evaluate(f->lights[i], &p->vertex[v], &p->vertex_normal[v]);
        for (int v = 0; v < 3; v++) p->vertex_intensity[v] = fixed_trunc(s[v], LIGHT_LEVEL);
        break;
    }
    default:
        break;
    }
}

// Writes clip vertex c as vertex i of the drawn triangle, projected.
static void fan_attributes(tpoly* t, int i, const float* c, int layers, int gouraud) {
    for (int k = 0; k < layers; k++) {
        t->uv[6 * k + 2 * i] = c[3 + 2 * k];
        t->uv[6 * k + 2 * i + 1] = c[4 + 2 * k];
    }
    if (gouraud) t->vertex_intensity[i] = fixed_trunc(c[3 + 2 * layers], CLIPPED_LEVEL);
}

static void fan_vertex(const frustum* f, tpoly* t, int i, const float* c, int layers, int gouraud) {
    vector v = {c[0], c[1], c[2] - f->perspective};
    frustum_project(f, &t->vertex[i], &v);
    fan_attributes(t, i, c, layers, gouraud);
}

// The projections of clip vertices c[0..2], as fan_vertex makes them.
static void project_three(const frustum* f, const float* c, int stride, vector* out) {
    for (int i = 0; i < 3; i++) {
        const float* ci = c + i * stride;
        const vector in = {ci[0], ci[1], ci[2] - f->perspective};
        frustum_project(f, &out[i], &in);
    }
}

// Whether the dispatcher rejects a triangle with these projected corners as a
// back face: the same test (a corner that is not finite is rejected there too,
// and never passes this one), so leaving it out draws the same.
static bool back_face(const vector* v) {
    const float cross = (v[0].x - v[1].x) * (v[2].y - v[1].y) - (v[0].y - v[1].y) * (v[2].x - v[1].x);
    return cross > 0.0f;
}

void frustum_draw_tpoly(frustum* f, tpoly* p) {
    const float persp = f->perspective;
    if (p->vertex[0].z < -persp && p->vertex[1].z < -persp && p->vertex[2].z < -persp) return;

    pipeline_light(f, p);

    const int gouraud = (p->flags & TPOLY_GOURAUD) ? 1 : 0;
    const int stride = p->stride + gouraud;
    // A stride the clip buffers cannot hold is refused rather than overrun.
    if (p->stride < 3 || stride > FRUSTUM_MAX_STRIDE) {
        raster_note(RASTER_NOTE_STRIDE,
                    "the pipeline drew no polygon of stride %d: it must be 3 to %d (3 + 2 per texture layer)",
                    (int)p->stride, FRUSTUM_MAX_STRIDE - gouraud);
        return;
    }
    int layers = 0;
    while (6 * layers < p->uv_count && layers < TPOLY_TEXTURE_SLOTS) layers++;
    // Only the layers that fit in the caller's stride are carried.
    if (3 + 2 * layers > p->stride) {
        raster_note(RASTER_NOTE_STRIDE,
                    "the pipeline carried %d of the %d texture layers of a polygon of stride %d (3 + 2 per "
                    "layer): the rest of its coordinates are not passed on",
                    (int)((p->stride - 3) / 2), layers, (int)p->stride);
        layers = (p->stride - 3) / 2;
    }

    float b0[CLIP_STAGE_VERTICES[0] * FRUSTUM_MAX_STRIDE], b1[CLIP_STAGE_VERTICES[1] * FRUSTUM_MAX_STRIDE],
        b2[CLIP_STAGE_VERTICES[2] * FRUSTUM_MAX_STRIDE], b3[CLIP_STAGE_VERTICES[3] * FRUSTUM_MAX_STRIDE],
        b4[CLIP_STAGE_VERTICES[4] * FRUSTUM_MAX_STRIDE];
    float* buf[5] = {b0, b1, b2, b3, b4};
    float* in = buf[0];
    std::memset(in, 0, 3 * (size_t)stride * sizeof(float));  // floats past the layers
    for (int i = 0; i < 3; i++) {
        float* c = in + i * stride;
        c[0] = p->vertex[i].x;
        c[1] = p->vertex[i].y;
        c[2] = p->vertex[i].z + persp;
        for (int k = 0; k < layers; k++) {
            c[3 + 2 * k] = p->uv[6 * k + 2 * i];
            c[4 + 2 * k] = p->uv[6 * k + 2 * i + 1];
        }
        if (gouraud) c[3 + 2 * layers] = (float)p->vertex_intensity[i];
    }

    const vector* planes[4] = {&f->n_left, &f->n_right, &f->n_up, &f->n_down};
    // Wholly inside every plane (each vertex strictly), every stage would pass
    // the triangle on as it is: it is drawn from the first buffer, and a back
    // face is known from its projection before anything is copied.
    bool inside = true;
    for (int s = 0; s < 4 && inside; s++)
        for (int i = 0; i < 3 && inside; i++) inside = clip_dot(planes[s], in + i * stride) < 0.0f;
    int count = 3;
    const float* clipped = in;
    vector projected[3];
    if (inside) {
        project_three(f, in, stride, projected);
        if (!(p->flags & TPOLY_TWO_SIDED) && back_face(projected)) {
            raster_note_back_face(projected);
            return;
        }
    } else {
        for (int s = 0; s < 4; s++) {
            count = clip_polygon(planes[s], buf[s + 1], buf[s], count, stride);
            if (count < 3) return;
        }
        clipped = buf[4];
    }

    tpoly* t = f->triangle;
    t->draw_routine = p->draw_routine;
    t->flags = p->flags;
    t->colour = p->colour;
    t->reserved[0] = p->reserved[0];
    t->reserved[1] = p->reserved[1];
    t->flat_intensity = p->flat_intensity;
    t->stride = p->stride;
    t->uv_count = p->uv_count;
    t->texturemap = p->texturemap;
    for (int k = 0; k < TPOLY_TEXTURE_SLOTS - 1; k++) t->texturemap_more[k] = p->texturemap_more[k];
    for (int k = 0; k < TPOLY_TEXTURE_SLOTS; k++) t->uv_index[k] = p->uv_index[k];

    if (inside) {  // one triangle, projected above
        for (int i = 0; i < 3; i++) {
            t->vertex[i] = projected[i];
            fan_attributes(t, i, in + i * stride, layers, gouraud);
        }
        raster_draw_triangle(t, f->target);
        return;
    }
    fan_vertex(f, t, 0, clipped, layers, gouraud);
    fan_vertex(f, t, 1, clipped + stride, layers, gouraud);
    for (int j = 2; j < count; j++) {
        fan_vertex(f, t, 2, clipped + j * stride, layers, gouraud);
        raster_draw_triangle(t, f->target);
        t->vertex[1] = t->vertex[2];
        t->vertex_intensity[1] = t->vertex_intensity[2];
        for (int k = 0; k < layers; k++) {
            t->uv[6 * k + 2] = t->uv[6 * k + 4];
            t->uv[6 * k + 3] = t->uv[6 * k + 5];
        }
    }
}

// Float to pixel coordinate, truncating towards zero; values beyond +-1e9
// (and NaN, from a point exactly at the eye) become one coordinate far outside
// any target, so the checked plot counts them as misses.
constexpr FixedRange PIXEL_COORD = {-1.0e9f, 1.0e9f, INT32_MIN / 2, INT32_MIN / 2, INT32_MIN / 2};

void frustum_plot(frustum* f, const vector* p, uint32_t colour) {
    if (!(p->z > -f->perspective)) return;
    raster_drain(f->target);  // queued triangles come first
    float w = 1.0f / (f->perspective + p->z);
    int32_t x = fixed_trunc(w * p->x * f->sfx + f->midx, PIXEL_COORD);
    int32_t y = fixed_trunc(f->midy - w * p->y * f->sfy, PIXEL_COORD);
    pixmap_set_pixel(f->target, x, y, colour);
}

void frustum_line(frustum* f, const vector* a, const vector* b, uint32_t colour) {
    const float persp = f->perspective;
    float ca[3] = {a->x, a->y, a->z + persp};
    float cb[3] = {b->x, b->y, b->z + persp};
    const vector* planes[4] = {&f->n_left, &f->n_right, &f->n_up, &f->n_down};
    for (const vector* n : planes)
        if (clip_edge(n, ca, cb, 3) == 0) return;
    vector va = {ca[0], ca[1], ca[2] - persp}, vb = {cb[0], cb[1], cb[2] - persp};
    frustum_project(f, &va, &va);
    frustum_project(f, &vb, &vb);
    // An end exactly at the eye survives clipping (it lies on every plane) but
    // has no projection: such a segment is not drawn.
    if (!std::isfinite(va.x) || !std::isfinite(va.y) || !std::isfinite(vb.x) || !std::isfinite(vb.y))
        return;
    raster_drain(f->target);  // queued triangles come first
    pixmap_line(f->target, fixed_trunc(va.x, PIXEL_COORD), fixed_trunc(va.y, PIXEL_COORD),
                fixed_trunc(vb.x, PIXEL_COORD), fixed_trunc(vb.y, PIXEL_COORD), colour);
}

// Adds skipped plots to the Pixmap module's miss counter (wrapping, as a counter may).
void pixmap_line(Pixmap* pm, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour) {
    // 64-bit 8.8 arithmetic: the same pixels as 32 bits wherever those do not
    // overflow. Steps outside the target's major extent are skipped and counted
    // as misses, so a line of any length costs at most one pass over the target.
    int64_t dx = (int64_t)x1 - x0, dy = (int64_t)y1 - y0;
    int64_t ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    if (ax > ay) {
        if (dx < 0) {
            std::swap(x0, x1);
            std::swap(y0, y1);
            dx = -dx;
            dy = -dy;
        }
        int64_t step = (dy * 256) / dx;
        int64_t first = x0 < 0 ? 0 : x0, last = x1 > pm->width ? pm->width : x1;
        if (last < first) last = first;
        pixmap_count_misses(&set_p_misses, (int64_t)x1 - x0 - (last - first));
        int64_t yf = (int64_t)y0 * 256 + (first - x0) * step;
        for (int64_t x = first; x < last; x++, yf += step) {
            int64_t y = yf >> 8;
            pixmap_set_pixel(pm, (int32_t)x, y < INT32_MIN || y > INT32_MAX ? -1 : (int32_t)y, colour);
        }
    } else {
        if (dy == 0) return;
        if (dy < 0) {
            std::swap(x0, x1);
            std::swap(y0, y1);
            dx = -dx;
            dy = -dy;
        }
        int64_t step = (dx * 256) / dy;
        int64_t first = y0 < 0 ? 0 : y0, last = y1 > pm->height ? pm->height : y1;
        if (last < first) last = first;
        pixmap_count_misses(&set_p_misses, (int64_t)y1 - y0 - (last - first));
        int64_t xf = (int64_t)x0 * 256 + (first - y0) * step;
        for (int64_t y = first; y < last; y++, xf += step) {
            int64_t x = xf >> 8;
            pixmap_set_pixel(pm, x < INT32_MIN || x > INT32_MAX ? -1 : (int32_t)x, (int32_t)y, colour);
        }
    }
}
