// Vectors and 3 x 3 matrices: row vectors on the left, single precision stored,
// sines and cosines taken in double from the float angles.
#include "engine/math/vector.h"

#include <cmath>

#include "engine/math/trig.h"

vector* vec_add(vector* out, const vector* a, const vector* b) {
    out->x = a->x + b->x;
    out->y = a->y + b->y;
    out->z = a->z + b->z;
    return out;
}

vector* vec_sub(vector* out, const vector* a, const vector* b) {
    out->x = a->x - b->x;
    out->y = a->y - b->y;
    out->z = a->z - b->z;
    return out;
}

vector* vec_scale(vector* out, float s, const vector* v) {
    out->x = s * v->x;
    out->y = s * v->y;
    out->z = s * v->z;
    return out;
}

float vec_dot(const vector* a, const vector* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z;
}

vector* vec_cross(vector* out, const vector* a, const vector* b) {
    out->x = a->y * b->z - a->z * b->y;
    out->y = a->z * b->x - a->x * b->z;
    out->z = a->x * b->y - a->y * b->x;
    return out;
}

float vec_length(const vector* v) {
    return (float)std::sqrt((double)vec_dot(v, v));
}

vector* vec_normalize(vector* out, const vector* v) {
    float d = vec_dot(v, v);
    // A zero vector has no direction: keep it zero rather than spreading NaNs.
    if (d == 0.0f) {
        out->x = out->y = out->z = 0.0f;
        return out;
    }
    float k = (float)(1.0 / std::sqrt((double)d));
    return vec_scale(out, k, v);
}

vector* vec_orthonormal(vector* out, const vector* a, const vector* b) {
    vector an, bn, p;
    vec_normalize(&an, a);
    vec_normalize(&bn, b);
    vec_scale(&p, vec_dot(&an, &bn), &an);
    vec_sub(&p, &bn, &p);
    return vec_normalize(out, &p);
}

vector* vec_mul_matrix(vector* out, const vector* v, const matrix* m) {
    const float* e = m->m;
    out->x = v->x * e[0] + v->y * e[3] + v->z * e[6];
    out->y = v->x * e[1] + v->y * e[4] + v->z * e[7];
    out->z = v->x * e[2] + v->y * e[5] + v->z * e[8];
    return out;
}

vector* vec_transform_array(vector* dst, const vector* src, int count, const matrix* m) {
    for (int i = 0; i < count; i++) vec_mul_matrix(&dst[i], &src[i], m);
    return dst;
}

matrix* mat_mul(matrix* out, const matrix* a, const matrix* b) {
    for (int c = 0; c < 3; c++)
        for (int r = 0; r < 3; r++)
            out->m[3 * r + c] = a->m[3 * r] * b->m[c] + a->m[3 * r + 1] * b->m[3 + c] +
                                a->m[3 * r + 2] * b->m[6 + c];
    return out;
}

matrix* mat_transpose(matrix* out, const matrix* m) {
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++) out->m[3 * r + c] = m->m[3 * c + r];
    return out;
}

static void mat_set(matrix* out, double e0, double e1, double e2, double e3, double e4, double e5,
                    double e6, double e7, double e8) {
    const double e[9] = {e0, e1, e2, e3, e4, e5, e6, e7, e8};
    for (int i = 0; i < 9; i++) out->m[i] = (float)e[i];
}

matrix* mat_rotate_zyx(matrix* out, float ax, float ay, float az) {
    double sx = math_sin((double)ax), cx = math_cos((double)ax);
    double sy = math_sin((double)ay), cy = math_cos((double)ay);
    double sz = math_sin((double)az), cz = math_cos((double)az);
    double t1 = sx * sy, t2 = cx * sy;
    mat_set(out, cy * cz, cx * sz + t1 * cz, sx * sz - t2 * cz,
            -cy * sz, cx * cz - t1 * sz, sx * cz + t2 * sz,
            sy, -cy * sx, cy * cx);
    return out;
}

matrix* mat_rotate_xyz(matrix* out, float ax, float ay, float az) {
    double sx = math_sin((double)ax), cx = math_cos((double)ax);
    double sy = math_sin((double)ay), cy = math_cos((double)ay);
    double sz = math_sin((double)az), cz = math_cos((double)az);
    double t1 = sx * sy, t2 = cx * sy;
    mat_set(out, cy * cz, cy * sz, -sy,
            t1 * cz - cx * sz, t1 * sz + cx * cz, sx * cy,
            t2 * cz + sx * sz, t2 * sz - sx * cz, cx * cy);
    return out;
}

matrix* mat_axis_angle(matrix* out, const vector* axis, float angle) {
    vector n;
    vec_normalize(&n, axis);
    double c = math_cos((double)angle), s = math_sin((double)angle), t = 1.0 - c;
    double x = n.x, y = n.y, z = n.z;
    mat_set(out, t * x * x + c, t * x * y + s * z, t * x * z - s * y,
            t * y * x - s * z, t * y * y + c, t * y * z + s * x,
            t * z * x + s * y, t * z * y - s * x, t * z * z + c);
    return out;
}

float mat_rotation_angle(const matrix* m) {
    double c = ((double)m->m[0] + m->m[4] + m->m[8] - 1.0) * 0.5;
    // Rounding can push the cosine of a near-zero or near-pi angle past 1.
    if (c > 1.0) c = 1.0;
    if (c < -1.0) c = -1.0;
    return (float)math_acos(c);
}

vector* mat_rotation_axis(vector* out, const matrix* m) {
    vector a = {m->m[5] - m->m[7], m->m[6] - m->m[2], m->m[1] - m->m[3]};
    return vec_normalize(out, &a);
}

float mat_determinant(const matrix* m) {
    const float* e = m->m;
    return e[0] * (e[4] * e[8] - e[5] * e[7]) - e[1] * (e[3] * e[8] - e[5] * e[6]) +
           e[2] * (e[3] * e[7] - e[4] * e[6]);
}

matrix* mat_frame(matrix* out, const vector* forward, const vector* up) {
    vector f, nu, u, p, s;
    vec_normalize(&f, forward);
    vec_normalize(&nu, up);
    vec_scale(&p, vec_dot(&f, &nu), &f);
    vec_sub(&p, &nu, &p);
    vec_normalize(&u, &p);
    vec_cross(&s, &u, &f);
    const vector rows[3] = {s, u, f};
    for (int r = 0; r < 3; r++) {
        out->m[3 * r] = rows[r].x;
        out->m[3 * r + 1] = rows[r].y;
        out->m[3 * r + 2] = rows[r].z;
    }
    return out;
}
