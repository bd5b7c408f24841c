// The frustum record: projection constants and side planes derived from a
// target Pixmap, the light list, projection of view-space points, the dump.
#include "engine/geometry/frustum.h"

#include <bit>
#include <cstdio>

#include "engine/memory/gmem.h"
#include "engine/pixmap/pixmap.h"

static int frustum_error = 0;

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
    return 1;
}

void frustum_clear_lights(frustum* f) {
    if (f) f->light_count = 0;
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
    default: return "Ambiguous error...";
    }
}
