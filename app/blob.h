// The blob effect: a scalar field sampled on a 20 x 20 x 20 grid to which moving
// charges add a 1/distance potential and its gradient, polygonised cell by cell
// with marching cubes and drawn environment-mapped by the surface normals.
#pragma once

#include <cstdint>

struct Pixmap;
struct frustum;

// One sample of the field: value, gradient sum, fixed position.
struct BlobPoint {
    float value;
    float gx, gy, gz;
    float x, y, z;
};
static_assert(sizeof(BlobPoint) == 7 * 4, "a grid point is seven floats");

struct BlobField {
    float size_x, size_y, size_z;  // extent of the sampled cube
    int32_t nx, ny, nz;            // grid points per axis
    float iso;                     // iso level of the surface
    int32_t* row_offsets;          // [ny]: j * nx
    int32_t* slice_offsets;        // [nz]: i * nx * ny
    BlobPoint* points;             // point (k, j, i) at slice_offsets[i] + row_offsets[j] + k
};

// A surface vertex on a cube edge: position and unit normal.
struct BlobEdgeVertex {
    float x, y, z;
    float nx, ny, nz;
};

// What polygonising one cell gives: the vertices on its crossing edges (indexed
// by edge number) and up to 5 triangles, each three edge numbers.
struct BlobCell {
    BlobEdgeVertex edge[12];
    int32_t triangles[5][3];
    int32_t count;
};

// The four charges of the last blob_draw: three balls and a capsule.
struct BlobCharges {
    float ball1[3];
    float ball2[3];
    float capsule_start[3];
    float capsule_direction[3];
    float ball4[3];
};

// Module state: what blob_init keeps, the charges' phases and the error code.
struct BlobState {
    Pixmap* screen;
    frustum* view;
    Pixmap* texture;
    BlobField* field;
    float a, b, c, d, e;     // phases, advanced per frame
    BlobCharges charges;     // positions used by the last draw
    int error;
};
extern BlobState blob;

// The classic marching-cubes tables: crossing edges per case (12 bits), the
// triangles per case (edge numbers, ended by -1), the corners of each edge.
extern const uint16_t (&blob_edge_table)[256];
extern const int8_t (&blob_triangle_table)[256][16];
extern const int (&blob_edge_corners)[12][2];

// Keeps the screen, makes the frustum (perspective 256), loads "envmap.jpg",
// selects the 0x94 rasterizer and creates the 20^3 field. 1, or 0 with the code set
// and everything taken so far released.
int blob_init(Pixmap* screen);
// Message for the current code; resets it to 0.
const char* blob_error_string();

// New field of nx x ny x nz points over a cube of the given size, centred on the
// origin, iso level 1.0; null with code 1 when memory is refused.
BlobField* blob_field_create(int32_t nx, int32_t ny, int32_t nz, float size);
void blob_field_destroy(BlobField* field);
// Sets every value and gradient sum to 0.
void blob_field_clear(BlobField* field);
// Adds strength / distance and its gradient from a point.
void blob_point_charge(BlobField* field, float cx, float cy, float cz, float strength);
// The same for the segment from start along the unit direction for length: a capsule.
void blob_segment_charge(BlobField* field, float sx, float sy, float sz, float ux, float uy, float uz,
                         float length, float strength);
// Polygonises the cell whose lowest grid indices are (k, j, i); returns its
// triangle count (0 to 5). Needs 0 <= k < nx - 1, and likewise j and i.
int blob_polygonise(const BlobField* field, int32_t k, int32_t j, int32_t i, BlobCell* cell);

// One frame: moves the charges, rebuilds the field and draws the surface into
// the screen kept by blob_init. Returns 1.
int blob_draw();
