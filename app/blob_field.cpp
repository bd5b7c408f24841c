// The blob's set-up and its two kernels: the charged scalar field on a grid of
// points (1/distance potential plus gradient) and the extraction of its
// iso-surface one cell at a time with the marching-cubes tables.
#include <emmintrin.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstdio>

#include "app/effect.h"
#include "app/blob.h"
#include "engine/geometry/frustum.h"
#include "engine/image/jpeg.h"
#include "engine/memory/gmem.h"
#include "engine/pixmap/pixmap.h"
#include "engine/raster/raster.h"

BlobState blob = {nullptr, nullptr, nullptr, nullptr, 0.5f, -0.3f, 0.0f, 0.0f, 0.0f, {}, 0};

namespace {

enum {
    BLOB_ERR_NONE = 0,
    BLOB_ERR_MEMORY = 1,
    BLOB_ERR_FRUSTUM = 2,
    BLOB_ERR_TEXTURE = 3,
    BLOB_ERR_RASTER = 4,
};

constexpr int32_t FIELD_POINTS = 20;
constexpr float FIELD_SIZE = 300.0f;

char message[256];

// Cell corners as (k, j, i) offsets, numbered as the tables number them.
constexpr int CORNER_OFFSETS[8][3] = {{0, 0, 1}, {1, 0, 1}, {1, 0, 0}, {0, 0, 0},
                                      {0, 1, 1}, {1, 1, 1}, {1, 1, 0}, {0, 1, 0}};

inline void add_charge(BlobPoint* p, float dx, float dy, float dz, float strength) {
    const float w = strength / std::sqrt(dx * dx + dy * dy + dz * dz);
    p->value += w;
    p->gx += dx * w;
    p->gy += dy * w;
    p->gz += dz * w;
}

}  // namespace

int blob_init(Pixmap* screen) {
    blob.screen = screen;
    // The phases start where the program's first start has them.
    blob.a = 0.5f, blob.b = -0.3f, blob.c = blob.d = blob.e = 0.0f;
    blob.view = frustum_create(0, screen, 320.0f, 240.0f, 256.0f);
    if (!blob.view) {
        blob.error = BLOB_ERR_FRUSTUM;
        return 0;
    }
    effect_align_view(blob.view);
    blob.texture = jpeg_load2pixmap("envmap.jpg");
    if (!blob.texture) {
        blob.error = BLOB_ERR_TEXTURE;
        frustum_destroy(blob.view);
        blob.view = nullptr;
        return 0;
    }
    if (!raster_select(0x94)) {
        blob.error = BLOB_ERR_RASTER;
        pixmap_destroy(blob.texture);
        frustum_destroy(blob.view);
        blob.texture = nullptr;
        blob.view = nullptr;
        return 0;
    }
    blob.field = blob_field_create(FIELD_POINTS, FIELD_POINTS, FIELD_POINTS, FIELD_SIZE);
    if (!blob.field) {
        pixmap_destroy(blob.texture);
        frustum_destroy(blob.view);
        blob.texture = nullptr;
        blob.view = nullptr;
        return 0;
    }
    return 1;
}

const char* blob_error_string() {
    switch (blob.error) {
    case BLOB_ERR_NONE: std::snprintf(message, sizeof message, "[Blob] No error, so far..."); break;
    case BLOB_ERR_MEMORY: std::snprintf(message, sizeof message, "[Blob] Unable to allocate memory"); break;
    case BLOB_ERR_FRUSTUM: std::snprintf(message, sizeof message, "[Blob]->%s", frustum_error_string()); break;
    case BLOB_ERR_TEXTURE: std::snprintf(message, sizeof message, "[Blob]->%s", jpeg_error_string()); break;
    case BLOB_ERR_RASTER:
        std::snprintf(message, sizeof message, "[Blob] Reuested poly driver not found");
        break;
    default: std::snprintf(message, sizeof message, "[Blob] Ambiguous error..."); break;
    }
    blob.error = BLOB_ERR_NONE;
    return message;
}

BlobField* blob_field_create(int32_t nx, int32_t ny, int32_t nz, float size) {
    if (nx < 2 || ny < 2 || nz < 2 || nx > 1024 || ny > 1024 || nz > 1024 ||
        int64_t(nx) * ny * nz * int64_t(sizeof(BlobPoint)) > INT32_MAX) {
        blob.error = BLOB_ERR_MEMORY;
        return nullptr;
    }
    BlobField* field = static_cast<BlobField*>(gmem_alloc(sizeof(BlobField)));
    int32_t* offsets = static_cast<int32_t*>(gmem_alloc(uint32_t(ny + nz) * sizeof(int32_t)));
    BlobPoint* points = static_cast<BlobPoint*>(gmem_alloc(uint32_t(nx * ny * nz) * sizeof(BlobPoint)));
    if (!field || !offsets || !points) {
        if (points) gmem_free(points);
        if (offsets) gmem_free(offsets);
        if (field) gmem_free(field);
        blob.error = BLOB_ERR_MEMORY;
        return nullptr;
    }
    field->size_x = field->size_y = field->size_z = size;
    field->nx = nx;
    field->ny = ny;
    field->nz = nz;
    field->iso = 1.0f;
    field->row_offsets = offsets;
    field->slice_offsets = offsets + ny;
    field->points = points;
    for (int32_t j = 0; j < ny; j++) field->row_offsets[j] = j * nx;
    for (int32_t i = 0; i < nz; i++) field->slice_offsets[i] = i * nx * ny;
    for (int32_t i = 0; i < nz; i++)
        for (int32_t j = 0; j < ny; j++)
            for (int32_t k = 0; k < nx; k++) {
                BlobPoint* p = &points[field->slice_offsets[i] + field->row_offsets[j] + k];
                *p = {};
                p->x = float(k) * (field->size_x / float(nx)) - field->size_x * 0.5f;
                p->y = float(j) * (field->size_y / float(ny)) - field->size_y * 0.5f;
                p->z = float(i) * (field->size_z / float(nz)) - field->size_z * 0.5f;
            }
    return field;
}

void blob_field_destroy(BlobField* field) {
    if (!field) return;
    gmem_free(field->points);
    gmem_free(field->row_offsets);
    gmem_free(field);
}

void blob_field_clear(BlobField* field) {
    const int32_t n = field->nx * field->ny * field->nz;
    for (int32_t p = 0; p < n; p++) {
        field->points[p].value = 0.0f;
        field->points[p].gx = field->points[p].gy = field->points[p].gz = 0.0f;
    }
}

// The charges four points at a time: the distances' squares, roots and the
// quotients in four lanes, each lane the scalar expression's operations in its
// order (no fused multiply-add); then each point's value and gradient sums,
// four adjacent floats, take [1, dx, dy, dz] * w at once, which is the
// scalar code's w, dx * w, dy * w, dz * w. A count not a multiple of four
// ends with the scalar code.
namespace {

// The x, y and z of points q .. q + 3.
inline void load_positions(const BlobPoint* p, __m128& x, __m128& y, __m128& z) {
    x = _mm_setr_ps(p[0].x, p[1].x, p[2].x, p[3].x);
    y = _mm_setr_ps(p[0].y, p[1].y, p[2].y, p[3].y);
    z = _mm_setr_ps(p[0].z, p[1].z, p[2].z, p[3].z);
}

// Adds strength / |d| and d times it to points p .. p + 3.
inline void add_charges4(BlobPoint* p, __m128 dx, __m128 dy, __m128 dz, __m128 strength) {
    const __m128 d2 = _mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy)), _mm_mul_ps(dz, dz));
    const __m128 w = _mm_div_ps(strength, _mm_sqrt_ps(d2));
    __m128 one = _mm_set1_ps(1.0f);
    _MM_TRANSPOSE4_PS(one, dx, dy, dz);  // now each holds one point's [1, dx, dy, dz]
    const __m128 per_point[4] = {one, dx, dy, dz};
    const __m128 weights[4] = {_mm_shuffle_ps(w, w, 0x00), _mm_shuffle_ps(w, w, 0x55), _mm_shuffle_ps(w, w, 0xAA),
                               _mm_shuffle_ps(w, w, 0xFF)};
    for (int i = 0; i < 4; i++) {
        float* sums = &p[i].value;  // value, gx, gy, gz
        _mm_storeu_ps(sums, _mm_add_ps(_mm_loadu_ps(sums), _mm_mul_ps(per_point[i], weights[i])));
    }
}

}  // namespace

void blob_point_charge(BlobField* field, float cx, float cy, float cz, float strength) {
    const int32_t n = field->nx * field->ny * field->nz;
    const __m128 c_x = _mm_set1_ps(cx), c_y = _mm_set1_ps(cy), c_z = _mm_set1_ps(cz), s = _mm_set1_ps(strength);
    int32_t q = 0;
    for (; q + 4 <= n; q += 4) {
        __m128 x, y, z;
        load_positions(&field->points[q], x, y, z);
        add_charges4(&field->points[q], _mm_sub_ps(x, c_x), _mm_sub_ps(y, c_y), _mm_sub_ps(z, c_z), s);
    }
    for (; q < n; q++) {
        BlobPoint* p = &field->points[q];
        add_charge(p, p->x - cx, p->y - cy, p->z - cz, strength);
    }
}

void blob_segment_charge(BlobField* field, float sx, float sy, float sz, float ux, float uy, float uz,
                         float length, float strength) {
    const float ex = sx + length * ux, ey = sy + length * uy, ez = sz + length * uz;
    const int32_t n = field->nx * field->ny * field->nz;
    const __m128 s_x = _mm_set1_ps(sx), s_y = _mm_set1_ps(sy), s_z = _mm_set1_ps(sz);
    const __m128 e_x = _mm_set1_ps(ex), e_y = _mm_set1_ps(ey), e_z = _mm_set1_ps(ez);
    const __m128 u_x = _mm_set1_ps(ux), u_y = _mm_set1_ps(uy), u_z = _mm_set1_ps(uz);
    const __m128 len = _mm_set1_ps(length), s = _mm_set1_ps(strength), zero = _mm_setzero_ps();
    int32_t q = 0;
    for (; q + 4 <= n; q += 4) {
        __m128 x, y, z;
        load_positions(&field->points[q], x, y, z);
        __m128 dx = _mm_sub_ps(x, s_x), dy = _mm_sub_ps(y, s_y), dz = _mm_sub_ps(z, s_z);
        const __m128 t = _mm_add_ps(_mm_add_ps(_mm_mul_ps(u_x, dx), _mm_mul_ps(u_y, dy)), _mm_mul_ps(u_z, dz));
        // Beyond the far end: to the end; alongside: straight across; else from the start.
        const __m128 beyond = _mm_and_ps(_mm_cmpgt_ps(t, zero), _mm_cmpgt_ps(t, len));
        const __m128 alongside = _mm_andnot_ps(beyond, _mm_cmpgt_ps(t, zero));
        const auto pick = [&](__m128 start, __m128 end, __m128 across) {
            return _mm_or_ps(_mm_andnot_ps(_mm_or_ps(beyond, alongside), start),
                             _mm_or_ps(_mm_and_ps(beyond, end), _mm_and_ps(alongside, across)));
        };
        dx = pick(dx, _mm_sub_ps(x, e_x), _mm_sub_ps(dx, _mm_mul_ps(t, u_x)));
        dy = pick(dy, _mm_sub_ps(y, e_y), _mm_sub_ps(dy, _mm_mul_ps(t, u_y)));
        dz = pick(dz, _mm_sub_ps(z, e_z), _mm_sub_ps(dz, _mm_mul_ps(t, u_z)));
        add_charges4(&field->points[q], dx, dy, dz, s);
    }
    for (; q < n; q++) {
        BlobPoint* p = &field->points[q];
        float dx = p->x - sx, dy = p->y - sy, dz = p->z - sz;
        const float t = ux * dx + uy * dy + uz * dz;
        if (t > 0.0f) {
            if (t > length) {  // beyond the far end: distance to it
                dx = p->x - ex;
                dy = p->y - ey;
                dz = p->z - ez;
            } else {  // alongside: perpendicular distance
                dx -= t * ux;
                dy -= t * uy;
                dz -= t * uz;
            }
        }
        add_charge(p, dx, dy, dz, strength);
    }
}

int blob_polygonise(const BlobField* field, int32_t k, int32_t j, int32_t i, BlobCell* cell) {
    const BlobPoint* corner[8];
    int index = 0;
    for (int n = 0; n < 8; n++) {
        corner[n] = &field->points[field->slice_offsets[i + CORNER_OFFSETS[n][2]] +
                                   field->row_offsets[j + CORNER_OFFSETS[n][1]] + k + CORNER_OFFSETS[n][0]];
        if (corner[n]->value < field->iso) index |= 1 << n;
    }
    cell->count = 0;
    const uint16_t edges = blob_edge_table[index];
    if (edges == 0) return 0;
    for (int e = 0; e < 12; e++) {
        if (!(edges & (1 << e))) continue;
        const BlobPoint* a = corner[blob_edge_corners[e][0]];
        const BlobPoint* b = corner[blob_edge_corners[e][1]];
        const float f = (field->iso - a->value) / (b->value - a->value);
        BlobEdgeVertex* v = &cell->edge[e];
        v->x = a->x + f * (b->x - a->x);
        v->y = a->y + f * (b->y - a->y);
        v->z = a->z + f * (b->z - a->z);
        vector n = {a->gx + f * (b->gx - a->gx), a->gy + f * (b->gy - a->gy), a->gz + f * (b->gz - a->gz)};
        vec_normalize(&n, &n);
        v->nx = n.x;
        v->ny = n.y;
        v->nz = n.z;
    }
    const int8_t* row = blob_triangle_table[index];
    for (int t = 0; row[t] != -1 && cell->count < 5; t += 3) {
        cell->triangles[cell->count][0] = row[t];
        cell->triangles[cell->count][1] = row[t + 1];
        cell->triangles[cell->count][2] = row[t + 2];
        cell->count++;
    }
    return cell->count;
}
