// Vectors and 3 x 3 matrices in single precision: the math of the 3D pipeline.
// Points are row vectors multiplied on the left (v' = v M), so A B applies A
// first. Every operation writes through its output pointer and returns it.
#pragma once

struct vector {
    float x, y, z;
};

// Row-major: element (row r, column c) is m[3 * r + c].
struct matrix {
    float m[9];
};

static_assert(sizeof(vector) == 12, "vector is three 32-bit floats");
static_assert(sizeof(matrix) == 36, "matrix is nine 32-bit floats");

// Component-wise operations accept an output that is one of their inputs.
vector* vec_add(vector* out, const vector* a, const vector* b);
vector* vec_sub(vector* out, const vector* a, const vector* b);
vector* vec_scale(vector* out, float s, const vector* v);
float vec_dot(const vector* a, const vector* b);
// out must be neither a nor b.
vector* vec_cross(vector* out, const vector* a, const vector* b);
float vec_length(const vector* v);
// out = v / |v|; out may be v. The zero vector normalizes to the zero vector.
vector* vec_normalize(vector* out, const vector* v);
// The unit vector in the plane of a and b perpendicular to a.
vector* vec_orthonormal(vector* out, const vector* a, const vector* b);
// out = v m; out must not be v.
vector* vec_mul_matrix(vector* out, const vector* v, const matrix* m);
// dst[i] = src[i] m; dst and src must not overlap.
vector* vec_transform_array(vector* dst, const vector* src, int count, const matrix* m);

// out = a b; out must be neither a nor b.
matrix* mat_mul(matrix* out, const matrix* a, const matrix* b);
// out must not be m.
matrix* mat_transpose(matrix* out, const matrix* m);
// Rotation by az about z, then ay about y, then ax about x (radians).
matrix* mat_rotate_zyx(matrix* out, float ax, float ay, float az);
// Rotation by ax about x, then ay about y, then az about z.
matrix* mat_rotate_xyz(matrix* out, float ax, float ay, float az);
// Rotation by angle about the (normalized) axis.
matrix* mat_axis_angle(matrix* out, const vector* axis, float angle);
float mat_rotation_angle(const matrix* m);
vector* mat_rotation_axis(vector* out, const matrix* m);
float mat_determinant(const matrix* m);
// Orthonormal frame with rows side, up, forward (side = up x forward).
matrix* mat_frame(matrix* out, const vector* forward, const vector* up);
