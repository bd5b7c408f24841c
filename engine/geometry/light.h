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

// A fresh light's z: far behind the eye (at z = -perspective) on the view axis,
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

// New light from the C allocator, or null (code 1). It works as it comes: a
// headlight, LIGHT_DIFFUSE at (0, 0, LIGHT_HEADLIGHT_Z), level 255, strength
// 1: a face turned to the eye gets the full level (255 on the view axis, at
// least 254 across the view), one seen edge-on or from behind 0.
// Set type and position to make it another light (type 0 lights nothing).
light* light_create();
// Null is ignored.
void light_destroy(light* l);
// Level at point with normal (normal used as given); never negative.
float light_evaluate(const light* l, const vector* point, const vector* normal);
// Message for the last error; resets the code to 0.
const char* light_error_string();
