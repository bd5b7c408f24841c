// Vector and matrix math: rotation tables, frames, normalisation, axis and
// angle round trips, and the row-vector convention.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/math/vector.h"

namespace {

void expect_matrix(const matrix& m, const float (&want)[9], float tol = 1e-6f) {
    for (int i = 0; i < 9; i++) EXPECT_NEAR(m.m[i], want[i], tol) << "element " << i;
}

void expect_vector(const vector& v, float x, float y, float z, float tol = 1e-6f) {
    EXPECT_NEAR(v.x, x, tol);
    EXPECT_NEAR(v.y, y, tol);
    EXPECT_NEAR(v.z, z, tol);
}

const float IDENTITY[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

}  // namespace

TEST(Vector, NormalizeAndZeroVector) {
    vector v = {3, 4, 0}, n;
    vec_normalize(&n, &v);
    expect_vector(n, 0.6f, 0.8f, 0.0f);
    vec_normalize(&v, &v);  // in place
    expect_vector(v, 0.6f, 0.8f, 0.0f);
    // The zero vector stays zero instead of becoming NaN.
    vector zero = {0, 0, 0};
    vec_normalize(&n, &zero);
    EXPECT_EQ(n.x, 0.0f);
    EXPECT_EQ(n.y, 0.0f);
    EXPECT_EQ(n.z, 0.0f);
    EXPECT_FLOAT_EQ(vec_length(&v), 1.0f);
}

TEST(Vector, CrossDotAndOrthonormal) {
    vector x = {1, 0, 0}, y = {0, 1, 0}, c;
    vec_cross(&c, &x, &y);
    expect_vector(c, 0, 0, 1);
    EXPECT_EQ(vec_dot(&x, &y), 0.0f);
    // The unit vector in the plane of a and b perpendicular to a.
    vector a = {2, 0, 0}, b = {3, 3, 0}, o;
    vec_orthonormal(&o, &a, &b);
    expect_vector(o, 0, 1, 0);
    vector s;
    vec_scale(&s, 2.0f, &b);
    vec_sub(&s, &s, &b);  // output aliasing an input
    vec_add(&s, &s, &a);
    expect_vector(s, 5, 3, 0);
}

TEST(Matrix, RotationsFromZeroAreIdentity) {
    matrix m;
    expect_matrix(*mat_rotate_zyx(&m, 0, 0, 0), IDENTITY);
    expect_matrix(*mat_rotate_xyz(&m, 0, 0, 0), IDENTITY);
    vector axis = {1, 2, 3};
    expect_matrix(*mat_axis_angle(&m, &axis, 0), IDENTITY);
}

TEST(Matrix, RowVectorsOnTheLeft) {
    matrix m;
    mat_rotate_zyx(&m, 0, 0, (float)M_PI / 2);
    // Row 0 is (cos, sin, 0): (1, 0, 0) goes to (0, 1, 0).
    vector x = {1, 0, 0}, out;
    vec_mul_matrix(&out, &x, &m);
    expect_vector(out, 0, 1, 0);

    // A B applies A first: rotate about z, then about x.
    matrix a, b, ab;
    mat_rotate_zyx(&a, 0, 0, (float)M_PI / 2);
    mat_rotate_zyx(&b, (float)M_PI / 2, 0, 0);
    mat_mul(&ab, &a, &b);
    vector r1, r2, r3;
    vec_mul_matrix(&r1, &x, &a);
    vec_mul_matrix(&r2, &r1, &b);
    vec_mul_matrix(&r3, &x, &ab);
    expect_vector(r3, r2.x, r2.y, r2.z);
    expect_vector(r3, 0, 0, 1);

    // Transposing a rotation inverts it.
    matrix t, tm;
    mat_rotate_zyx(&m, 0.3f, -1.1f, 2.0f);
    mat_transpose(&t, &m);
    mat_mul(&tm, &m, &t);
    expect_matrix(tm, IDENTITY, 1e-6f);
    EXPECT_NEAR(mat_determinant(&m), 1.0f, 1e-6f);

    vector pts[2] = {{1, 0, 0}, {0, 2, 0}}, dst[2];
    vec_transform_array(dst, pts, 2, &ab);
    expect_vector(dst[0], 0, 0, 1);
    vec_mul_matrix(&r1, &pts[1], &ab);
    expect_vector(dst[1], r1.x, r1.y, r1.z);
}

TEST(Matrix, ZyxAndXyzOrdersDiffer) {
    // zyx applies z first, then y, then x; xyz the reverse. Compose and compare.
    const float ax = 0.4f, ay = -0.7f, az = 1.3f;
    matrix rx, ry, rz, t, zyx, xyz, m;
    mat_rotate_zyx(&rx, ax, 0, 0);
    mat_rotate_zyx(&ry, 0, ay, 0);
    mat_rotate_zyx(&rz, 0, 0, az);
    mat_mul(&t, &rz, &ry);
    mat_mul(&zyx, &t, &rx);
    expect_matrix(*mat_rotate_zyx(&m, ax, ay, az), zyx.m, 1e-6f);
    // xyz applies the same single-axis rotations in the opposite order.
    mat_rotate_xyz(&rx, ax, 0, 0);
    mat_rotate_xyz(&ry, 0, ay, 0);
    mat_rotate_xyz(&rz, 0, 0, az);
    mat_mul(&t, &rx, &ry);
    mat_mul(&xyz, &t, &rz);
    expect_matrix(*mat_rotate_xyz(&m, ax, ay, az), xyz.m, 1e-6f);
}

TEST(Matrix, FrameRows) {
    matrix m;
    vector f = {0, 0, 1}, up = {0, 1, 0};
    expect_matrix(*mat_frame(&m, &f, &up), IDENTITY);
    vector f2 = {1, 0, 0}, up2 = {1, 1, 0};
    const float want[9] = {0, 0, -1, 0, 1, 0, 1, 0, 0};
    expect_matrix(*mat_frame(&m, &f2, &up2), want);
}

TEST(Matrix, AxisAngleRoundTrip) {
    vector axis = {1, -2, 0.5f}, n, back;
    vec_normalize(&n, &axis);
    matrix m;
    mat_axis_angle(&m, &axis, 0.5f);
    EXPECT_NEAR(mat_rotation_angle(&m), 0.5f, 1e-6f);
    mat_rotation_axis(&back, &m);
    expect_vector(back, n.x, n.y, n.z);
    // A point on the axis stays; a rotation by zero has angle 0, not NaN.
    vector on, moved;
    vec_scale(&on, 3.0f, &n);
    vec_mul_matrix(&moved, &on, &m);
    expect_vector(moved, on.x, on.y, on.z, 1e-5f);
    mat_rotate_zyx(&m, 0, 0, 0);
    EXPECT_EQ(mat_rotation_angle(&m), 0.0f);
}
