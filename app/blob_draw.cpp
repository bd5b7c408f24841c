// The blob's frame: four charges (three balls and a capsule) move along
// sine paths, the field is rebuilt from them and its surface is drawn cell by
// cell, environment-mapped by the normals. The phases advance per frame.
#include <cmath>
#include <cstdint>
#include <vector>

#include "app/blob.h"
#include "engine/geometry/frustum.h"
#include "engine/math/trig.h"
#include "engine/math/vector.h"
#include "engine/raster/raster.h"
#include "engine/raster/tpoly.h"

namespace {

constexpr float R1 = 70.0f, R2 = 65.0f, R3 = 30.0f, R4 = 60.0f;

void set3(float* out, float x, float y, float z) {
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

}  // namespace

int blob_draw() {
    BlobField* field = blob.field;
    if (!field) return 1;  // blob_init did not succeed: nothing to draw
    blob_field_clear(field);

    BlobCharges* q = &blob.charges;
    const float a = blob.a, b = blob.b, c = blob.c, d = blob.d, e = blob.e;
    set3(q->ball1, R1 * math_sinf(-a), R1 * math_sinf(0.5f * a - 1.0f), R1 * math_sinf(-1.25f * a));
    set3(q->ball2, R2 * math_sinf(0.9f * b + 2.2f), 0.7f * R2 * math_sinf(1.2f * b),
         R2 * math_sinf(-0.6f * b - 1.6f));
    set3(q->capsule_start, R3 * math_sinf(0.67f * c + 2.05f), R3 * math_sinf(-0.89f * c - 0.4f),
         R3 * math_sinf(1.4f * c - 0.2f));
    matrix m;
    mat_rotate_zyx(&m, 0.6f * d, 1.1f * d, -0.9f * d);
    set3(q->capsule_direction, m.m[3], m.m[4], m.m[5]);
    set3(q->ball4, R4 * math_sinf(0.2f * e - 0.1f), R4 * math_sinf(1.4f * e + 1.3f),
         R4 * math_sinf(0.9f * e + 0.6f));

    blob.a += 0.19198056f;
    blob.b += 0.16056556f;
    blob.c += 0.13962223f;
    blob.d += 0.08726389f;
    blob.e += 0.12216944f;

    blob_point_charge(field, q->ball1[0], q->ball1[1], q->ball1[2], 15.0f);
    blob_point_charge(field, q->ball2[0], q->ball2[1], q->ball2[2], 15.0f);
    blob_segment_charge(field, q->capsule_start[0], q->capsule_start[1], q->capsule_start[2],
                        q->capsule_direction[0], q->capsule_direction[1], q->capsule_direction[2], 75.0f,
                        15.0f);
    blob_point_charge(field, q->ball4[0], q->ball4[1], q->ball4[2], 16.0f);

    tpoly poly = {};
    poly.flags = TPOLY_TEXTURED;
    poly.stride = 5;
    poly.uv_count = 6;
    poly.uv_index[0] = 0;
    poly.texturemap = blob.texture;
    // Most cells lie wholly inside or outside the surface: each point's side
    // is taken once, and a cell whose eight corners agree is passed over
    // (blob_polygonise would give it no triangle).
    static std::vector<uint8_t> below;
    const int32_t nx = field->nx, ny = field->ny, nz = field->nz;
    below.resize(size_t(nx) * size_t(ny) * size_t(nz));
    for (size_t q = 0; q < below.size(); q++) below[q] = field->points[q].value < field->iso;
    BlobCell cell;
    raster_begin(blob.view->target);
    for (int32_t i = 0; i < nz - 1; i++)
        for (int32_t j = 0; j < ny - 1; j++)
            for (int32_t k = 0; k < nx - 1; k++) {
                const uint8_t* c = &below[size_t(field->slice_offsets[i] + field->row_offsets[j] + k)];
                const size_t row = size_t(nx), slice = size_t(nx) * size_t(ny);
                const int sum = c[0] + c[1] + c[row] + c[row + 1] + c[slice] + c[slice + 1] + c[slice + row] +
                                c[slice + row + 1];
                if (sum == 0 || sum == 8) continue;
                const int count = blob_polygonise(field, k, j, i, &cell);
                for (int t = 0; t < count; t++) {
                    for (int corner = 0; corner < 3; corner++) {
                        const BlobEdgeVertex* v = &cell.edge[cell.triangles[t][corner]];
                        poly.vertex[corner] = {v->x, v->y, v->z};
                        poly.uv[2 * corner] = (v->nx + 1.0f) * 128.0f;
                        poly.uv[2 * corner + 1] = (v->ny + 1.0f) * 128.0f;
                    }
                    frustum_draw_tpoly(blob.view, &poly);
                }
            }
    raster_flush();
    return 1;
}
