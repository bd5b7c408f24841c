// Lights: level of a light at a point with a normal, by the light's model; the
// records come from the C library's allocator.
#include "engine/geometry/light.h"

#include <cstdlib>

static int light_error = 0;

light* light_create() {
    light* l = (light*)std::malloc(sizeof(light));
    if (!l) {
        light_error = 1;
        return nullptr;
    }
    l->type = 0;
    l->position = {0.0f, 0.0f, 0.0f};
    l->reserved_dir = {0.0f, 0.0f, 1.0f};
    l->reserved_w = 1.0f;
    l->strength = 1.0f;
    l->colour[0] = l->colour[1] = l->colour[2] = l->colour[3] = 255;
    return l;
}

light* light_create_headlight() {
    light* l = light_create();
    if (!l) return nullptr;
    // A diffuse lamp far behind the eye on the view axis: it lights what faces
    // the viewer (see light.h).
    l->type = LIGHT_DIFFUSE;
    l->position = {0.0f, 0.0f, LIGHT_HEADLIGHT_Z};
    return l;
}

void light_destroy(light* l) {
    std::free(l);
}

float light_evaluate(const light* l, const vector* point, const vector* normal) {
    const float level = (float)l->colour[0];
    vector to_light;
    vec_sub(&to_light, &l->position, point);
    switch (l->type & LIGHT_MODEL_MASK) {
    case LIGHT_DIFFUSE:
    case LIGHT_DIFFUSE_B: {
        vector dir;
        vec_normalize(&dir, &to_light);  // zero at the light's own position
        float d = vec_dot(&dir, normal);
        return d > 0.0f ? level * d : 0.0f;
    }
    case LIGHT_AMBIENT:
        return level;
    case LIGHT_FALLOFF | LIGHT_DIFFUSE:
    case LIGHT_FALLOFF | LIGHT_DIFFUSE_B: {
        float d = vec_dot(&to_light, normal);
        float dist2 = vec_dot(&to_light, &to_light);
        // A squared distance that underflows to 0 would divide by zero.
        return d > 0.0f && dist2 > 0.0f ? level * d * l->strength / dist2 : 0.0f;
    }
    case LIGHT_FALLOFF | LIGHT_AMBIENT: {
        float dist = vec_length(&to_light);
        // At the light's own position there is no distance to fall off by: no
        // contribution, as for the diffuse models, instead of a division by zero.
        return dist > 0.0f ? level * l->strength / dist : 0.0f;
    }
    default:
        return 0.0f;
    }
}

const char* light_error_string() {
    int code = light_error;
    light_error = 0;
    switch (code) {
    case 0: return "[Light] No error, so far...";
    case 1: return "[Light] No memory available";
    default: return "[Light] Ambiguous error...";
    }
}
