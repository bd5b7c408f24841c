// The frustum: a viewer bound to a target Pixmap (projection constants, the four
// side planes, lights, the screen-space triangle record), and the polygon
// pipeline that lights, clips, projects and fans triangles into the rasterizer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/geometry/light.h"
#include "engine/math/vector.h"
#include "engine/raster/tpoly.h"

struct Pixmap;

// View space: x right, y up, z away; the eye at (0, 0, -perspective); the plane
// z = 0 maps logic_x by logic_y scene units onto the whole target. The clipper
// works in eye space (z + perspective), where the side planes pass the origin.
struct frustum {
    int32_t reserved;       // 0: first argument of frustum_create, not read
    Pixmap* target;         // 1: not owned
    vector n_left;          // 2-4: unit outward normals of the side planes
    vector n_right;         // 5-7
    vector n_up;            // 8-10
    vector n_down;          // 11-13
    float perspective;      // 14: eye distance
    float sfx;              // 15: width / logic_x * perspective
    float sfy;              // 16: height / logic_y * perspective
    float midx;             // 17
    float midy;             // 18
    float logic_x;          // 19
    float logic_y;          // 20
    float reserved_near;    // 21: 40.0, not read
    float reserved_far;     // 22: largest finite float, not read
    tpoly* triangle;        // 23: owned; receives the drawn triangles
    light** lights;         // 24: owned array; lights not owned
    int32_t light_capacity; // 25
    int32_t light_count;    // 26
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(frustum, n_left) == 2 * 4);
static_assert(offsetof(frustum, perspective) == 14 * 4);
static_assert(offsetof(frustum, triangle) == 23 * 4);
static_assert(offsetof(frustum, light_count) == 26 * 4);
static_assert(sizeof(frustum) == 27 * 4);
#else
// 64-bit pointers widen words 1, 23 and 24 to two each (word 0 padded).
static_assert(offsetof(frustum, n_left) == 4 * 4);
static_assert(offsetof(frustum, perspective) == 16 * 4);
static_assert(offsetof(frustum, triangle) == 26 * 4);
static_assert(offsetof(frustum, light_count) == 31 * 4);
static_assert(sizeof(frustum) == 32 * 4);
#endif

// New frustum (record, 32-entry light array, triangle) or null (code 1, or the Poly code).
frustum* frustum_create(int32_t reserved, Pixmap* target, float logic_x, float logic_y,
                        float perspective);
// Sets every field from the arguments and empties the light list; 0 for a null frustum.
int frustum_init(frustum* f, int32_t reserved, Pixmap* target, float logic_x, float logic_y,
                 float perspective);
// Releases the triangle, the light array and the record; null is ignored.
void frustum_destroy(frustum* f);
// Appends a light, doubling the array when full; 0 (code 1) when growing fails.
int frustum_add_light(frustum* f, light* l);
void frustum_clear_lights(frustum* f);
// Screen x, y of a view-space point in front of the eye; z kept. out may be in.
vector* frustum_project(const frustum* f, vector* out, const vector* in);
// On-screen length of a scene length at the depth of point.
float frustum_project_size(const frustum* f, const vector* point, float size);
// 1 when N . centre < radius^2 for all four side normals (centre used as given).
int frustum_sphere_visible(const frustum* f, const vector* centre, float radius);
// Prints the fields to standard output.
void frustum_dump(const frustum* f);
// Error codes: 1 no memory, 2 no target, FRUSTUM_ERROR_NO_LIGHT a lit
// triangle (TPOLY_FLAT_LIGHT or TPOLY_GOURAUD alone) drawn through a frustum
// with no light, which draws it black: set once per frustum until its light
// list changes, not for every triangle.
constexpr int FRUSTUM_ERROR_NO_LIGHT = 3;
// Message for the last error; resets the code to 0.
const char* frustum_error_string();

// The polygon pipeline: rejects, lights (writing the levels back into poly),
// clips, projects and hands each fan triangle to raster_draw_triangle. poly
// is in view space; see tpoly.h for the normals lighting reads and the
// winding that faces the eye.
void frustum_draw_tpoly(frustum* f, tpoly* poly);
// Plots one view-space point with pixmap_set_pixel; nothing at or behind the eye.
void frustum_plot(frustum* f, const vector* point, uint32_t colour);
// Clips, projects and draws a view-space segment with pixmap_line.
void frustum_line(frustum* f, const vector* a, const vector* b, uint32_t colour);
// 8.8 fixed-point line through pixmap_set_pixel; the far end point is not drawn.
void pixmap_line(Pixmap* pm, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour);

// Sutherland-Hodgman against one plane through the origin (inside: n . p <= 0),
// over vertices of stride floats (3 to FRUSTUM_MAX_STRIDE; others give 0); returns
// the number of vertices written to out, which must hold 2 * count (each edge
// emits at most two).
int clip_polygon(const vector* n, float* out, const float* in, int count, int stride);
// Clips the edge a-b, moving a or b onto the plane: 0 outside, 1 keep a, 2 keep a and b.
int clip_edge(const vector* n, float* a, float* b, int stride);

// Largest clip vertex: x, y, z, six (u, v) layers and a light level.
constexpr int FRUSTUM_MAX_STRIDE = 16;
