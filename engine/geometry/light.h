// Lights: a light gives a level on the rasterizers' 0-255 scale for a point and
// normal in view space. The pipeline sums the levels of a frustum's lights.
// The normals are the caller's (tpoly's face_normal and vertex_normal): view
// space, unit length, pointing out of the side that is seen.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/math/vector.h"

// Models, chosen by type AND LIGHT_MODEL_MASK.
enum : int32_t {
    LIGHT_DIFFUSE = 0x01,     // I * (normalize(L) . n), not below 0
    LIGHT_DIFFUSE_B = 0x02,   // the same
    LIGHT_AMBIENT = 0x08,     // I everywhere
    LIGHT_FALLOFF = 0x20,     // with a diffuse model: I (L . n) strength / (L . L);
                              // with ambient: I strength / |L|
    LIGHT_MODEL_MASK = 0x2B,
};

// The headlight's z: far behind the eye (at z = -perspective) on the view axis,
// so that its direction is the view direction to within a degree or two over
// the whole view.
constexpr float LIGHT_HEADLIGHT_Z = -10000.0f;

struct light {
    int32_t type;           // 0: model
    vector position;        // 1-3: view space
    vector reserved_dir;    // 4-6: (0, 0, 1) at creation, not read
    float reserved_w;       // 7: 1.0 at creation, not read
    float strength;         // 8: factor of the falloff models
    uint8_t colour[4];      // 9: colour[0] is the level 0-255; the rest not read
    uint32_t reserved;      // 10
};
static_assert(offsetof(light, strength) == 8 * 4);
static_assert(offsetof(light, colour) == 9 * 4);
static_assert(sizeof(light) == 11 * 4);

// New light (type 0, level 255, strength 1, at the view-space origin) from the C
// allocator, or null (code 1). Type 0 lights nothing: set type and position
// before use, or take light_create_headlight().
light* light_create();
// A light that works as it comes (an engine extension beside the design's
// light_create): a headlight, LIGHT_DIFFUSE at (0, 0, LIGHT_HEADLIGHT_Z), level
// 255, strength 1: a face turned to the eye gets 255, one seen edge-on or from
// behind 0. Null (code 1) when there is no memory.
light* light_create_headlight();
// Null is ignored.
void light_destroy(light* l);
// Level at point with normal (normal used as given); never negative.
float light_evaluate(const light* l, const vector* point, const vector* normal);
// Message for the last error; resets the code to 0.
const char* light_error_string();
