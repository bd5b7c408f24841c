// Quaternions in double precision and the rotation interpolator built on them:
// a chain of squad segments whose inner control points come from Kochanek-Bartels
// tension, continuity and bias. The engine's one value class with member operators.
#pragma once

#include <cstddef>

// w is the scalar part. Copying is a plain value copy; no operation changes its operands.
struct quat {
    double w, x, y, z;

    quat operator+(const quat& q) const;   // quat_add
    quat operator-(const quat& q) const;   // quat_sub
    quat operator*(const quat& q) const;   // quat_mul (Hamilton product, this first)
    quat operator*(double s) const;        // quat_scale
    quat operator-() const;                // quat_negate
};
static_assert(sizeof(quat) == 4 * sizeof(double), "quat is four doubles: w, x, y, z");

constexpr quat QUAT_ZERO = {0.0, 0.0, 0.0, 0.0};
constexpr quat QUAT_IDENTITY = {1.0, 0.0, 0.0, 0.0};
constexpr double QUAT_EPSILON = 0.001;  // smallest sine that exp, log and slerp divide by
extern const double QUAT_PI;            // 4 * math_atan(1.0), computed before main runs

// (cos(angle/2), axis * sin(angle/2)); the axis is used as given, not normalized.
quat quat_from_axis_angle(double angle, double x, double y, double z);
// angle = 2 acos(w) and the unit axis; angle 0 about (1, 0, 0) when the vector part is 0.
void quat_to_axis_angle(const quat& q, double* angle, double axis[3]);

// Component-wise sum and difference, the Hamilton product p q, scaling by s,
// negation and the four-component dot product.
quat quat_add(const quat& p, const quat& q);
quat quat_sub(const quat& p, const quat& q);
quat quat_mul(const quat& p, const quat& q);
quat quat_scale(const quat& q, double s);
quat quat_negate(const quat& q);
double quat_dot(const quat& p, const quat& q);
double quat_norm(const quat& q);         // squared length
// (w, -x, -y, -z).
quat quat_conjugate(const quat& q);
quat quat_inverse(const quat& q);        // QUAT_ZERO for a zero quaternion
quat quat_exp(const quat& q);            // of the vector part; w is ignored
quat quat_log(const quat& q);            // pure quaternion; w' = 0
// Spherical linear interpolation from p (t = 0) to q (t = 1); p when they are too close.
quat quat_slerp(double t, const quat& p, const quat& q);
// As quat_slerp with spin extra half-turns on the way.
quat quat_slerp_spin(double t, const quat& p, const quat& q, double spin);
// Spherical quadrangle interpolation from q0 to q1 with inner control points a and b.
quat quat_squad(double t, const quat& q0, const quat& a, const quat& b, const quat& q1);
// The plain (parameter-free) squad control pair of cur between prev and next.
void quat_squad_controls(const quat& prev, const quat& cur, const quat& next, quat* a, quat* b);

// Rotation matrix, row-major m[row][column], acting on column vectors.
void quat_to_matrix(const quat& q, double m[3][3]);
// Inverse of quat_to_matrix for a rotation matrix (Shoemake's method).
quat quat_from_matrix(const double m[3][3]);
// out = M v with M = quat_to_matrix(q).
void quat_rotate_vector(const quat& q, const double v[3], double out[3]);

// One squad segment between two neighbouring keys, 19 doubles.
struct rotation_segment {
    quat q0;          // rotation at the start key
    quat a, b;        // inner control points
    quat q1;          // rotation at the end key
    double t0;        // start key time
    double t1;        // end key time
    double duration;  // t1 - t0
};
static_assert(sizeof(rotation_segment) == 19 * sizeof(double), "rotation_segment is 19 doubles");

// The interpolator of one rotation track.
struct rotation_spline {
    int count;                  // number of segments: key count - 3
    rotation_segment* segments;
};

// Doubles per rotation key handed to rotation_spline_build:
// time, axis x, axis y, axis z, angle (radians), tension, continuity, bias.
constexpr int ROTATION_KEY_DOUBLES = 8;

// New interpolator over key_count keys (ROTATION_KEY_DOUBLES each, ascending time).
// The first and last keys only shape tangents. Null for fewer than 4 keys or when
// memory runs out (nothing is left allocated then).
rotation_spline* rotation_spline_build(int key_count, const double* keys);
// out = axis x, y, z and angle at time, clamped to the interpolated range.
// A spline without segments gives angle 0 about (1, 0, 0).
void rotation_spline_evaluate(const rotation_spline* spline, double time, double out[4]);
// Releases the segment array and the record. Null is ignored.
void rotation_spline_free(rotation_spline* spline);
