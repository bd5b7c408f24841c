// The blob's set-up and its two kernels: the charged scalar field on a grid of
// points (1/distance potential plus gradient) and the extraction of its
// iso-surface one cell at a time with the marching-cubes tables.
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

void blob_point_charge(BlobField* field, float cx, float cy, float cz, float strength) {
    const int32_t n = field->nx * field->ny * field->nz;
    for (int32_t q = 0; q < n; q++) {
        BlobPoint* p = &field->points[q];
        add_charge(p, p->x - cx, p->y - cy, p->z - cz, strength);
    }
}

void blob_segment_charge(BlobField* field, float sx, float sy, float sz, float ux, float uy, float uz,
                         float length, float strength) {
    const float ex = sx + length * ux, ey = sy + length * uy, ez = sz + length * uz;
    const int32_t n = field->nx * field->ny * field->nz;
    for (int32_t q = 0; q < n; q++) {
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
