// Quaternion algebra and the squad rotation interpolator: identities that hold
// whatever the implementation, and the four-key spin about z.
#include "engine/math/quat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

static void expect_quat_near(const quat& a, const quat& b, double eps = 1e-12)
{
    EXPECT_NEAR(a.w, b.w, eps);
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
    EXPECT_NEAR(a.z, b.z, eps);
}

// Rotations are q and -q alike.
static void expect_same_rotation(const quat& a, const quat& b, double eps = 1e-9)
{
    expect_quat_near(quat_dot(a, b) < 0.0 ? -a : a, b, eps);
}

TEST(Quat, ConstantsAreReadyBeforeMain)
{
    EXPECT_EQ(QUAT_PI, std::numbers::pi);
    expect_quat_near(QUAT_IDENTITY, quat{1, 0, 0, 0}, 0.0);
    expect_quat_near(QUAT_ZERO, quat{0, 0, 0, 0}, 0.0);
}

TEST(Quat, AxisAngleRoundTrip)
{
    quat half = quat_from_axis_angle(QUAT_PI, 0, 0, 1);
    expect_quat_near(half, quat{0, 0, 0, 1});
    double angle, axis[3];
    quat_to_axis_angle(half, &angle, axis);
    EXPECT_NEAR(angle, QUAT_PI, 1e-12);
    EXPECT_NEAR(axis[0], 0.0, 1e-12);
    EXPECT_NEAR(axis[1], 0.0, 1e-12);
    EXPECT_NEAR(axis[2], 1.0, 1e-12);

    quat_to_axis_angle(QUAT_IDENTITY, &angle, axis);
    EXPECT_EQ(angle, 0.0);
    EXPECT_EQ(axis[0], 1.0);
    EXPECT_EQ(axis[1], 0.0);
    EXPECT_EQ(axis[2], 0.0);

    // The axis is taken as given: a long axis gives a long quaternion.
    EXPECT_NEAR(quat_norm(quat_from_axis_angle(1.0, 0, 2, 0)), std::cos(0.5) * std::cos(0.5) + 4 * std::sin(0.5) * std::sin(0.5), 1e-12);

    std::mt19937 rng(7);
    std::uniform_real_distribution<double> any(-1.0, 1.0), turn(0.01, 3.1);
    for (int i = 0; i < 100; i++) {
        double v[3] = {any(rng), any(rng), any(rng)};
        double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        for (double& c : v) c /= len;
        double a = turn(rng);
        quat_to_axis_angle(quat_from_axis_angle(a, v[0], v[1], v[2]), &angle, axis);
        EXPECT_NEAR(angle, a, 1e-9);
        for (int c = 0; c < 3; c++) EXPECT_NEAR(axis[c], v[c], 1e-9);
    }
}

TEST(Quat, ProductAlgebra)
{
    quat i{0, 1, 0, 0}, j{0, 0, 1, 0}, k{0, 0, 0, 1};
    expect_quat_near(i * j, k, 0.0);
    expect_quat_near(j * i, -k, 0.0);
    expect_quat_near(j * k, i, 0.0);
    expect_quat_near(k * i, j, 0.0);
    expect_quat_near(i * i, quat{-1, 0, 0, 0}, 0.0);

    quat p{0.5, -1.5, 2.0, 0.25}, q{-0.75, 0.5, 1.0, -2.0};
    // The norm of a product is the product of the norms.
    EXPECT_NEAR(quat_norm(p * q), quat_norm(p) * quat_norm(q), 1e-12);
    expect_quat_near((p - q) * 2.0 + q * 2.0, p + p, 1e-15);
    // The conjugate reverses a product; the inverse undoes it.
    expect_quat_near(quat_conjugate(p * q), quat_conjugate(q) * quat_conjugate(p));
    expect_quat_near(p * quat_inverse(p), QUAT_IDENTITY);
    expect_quat_near(quat_inverse(p) * p, QUAT_IDENTITY);
    expect_quat_near(quat_inverse(QUAT_ZERO), QUAT_ZERO, 0.0);
}

TEST(Quat, ExpLogAndSlerp)
{
    expect_quat_near(quat_log(QUAT_IDENTITY), QUAT_ZERO, 0.0);
    expect_quat_near(quat_exp(QUAT_ZERO), QUAT_IDENTITY, 0.0);
    // exp undoes log on unit quaternions, and log of a rotation is half its angle about the axis.
    quat r = quat_from_axis_angle(1.2, 0.6, 0.0, 0.8);
    expect_quat_near(quat_exp(quat_log(r)), r);
    expect_quat_near(quat_log(r), quat{0, 0.6 * 0.6, 0, 0.8 * 0.6});
    // Small angles stay exact through the epsilon branch (sin t / t ~ 1).
    quat tiny = quat_from_axis_angle(1e-5, 0, 1, 0);
    expect_quat_near(quat_exp(quat_log(tiny)), tiny, 1e-12);

    quat p = quat_from_axis_angle(0.3, 1, 0, 0);
    expect_quat_near(quat_slerp(0.5, p, p), p, 0.0);
    const double h = std::sqrt(0.5);
    expect_quat_near(quat_slerp(0.5, QUAT_IDENTITY, quat{0, 0, 0, 1}), quat{h, 0, 0, h});
    quat q = quat_from_axis_angle(2.0, 0, 0, 1);
    expect_quat_near(quat_slerp(0.0, QUAT_IDENTITY, q), QUAT_IDENTITY);
    expect_quat_near(quat_slerp(1.0, QUAT_IDENTITY, q), q);
    expect_quat_near(quat_slerp(0.25, QUAT_IDENTITY, q), quat_from_axis_angle(0.5, 0, 0, 1));
    expect_quat_near(quat_slerp_spin(0.25, QUAT_IDENTITY, q, 0.0), quat_slerp(0.25, QUAT_IDENTITY, q), 0.0);
    // One spin adds half a turn of the quaternion (a whole turn of the rotation):
    // at t = 1 it lands on -q, the same rotation as q.
    expect_quat_near(quat_slerp_spin(1.0, QUAT_IDENTITY, q, 1.0), -q);
    // Near-parallel cosines a hair past 1 must not turn into NaN.
    quat unit = quat_from_axis_angle(0.7, 0, 1, 0);
    quat scaled = unit * (1.0 + 1e-15);
    EXPECT_FALSE(std::isnan(quat_slerp(0.5, unit, scaled).w));
}

TEST(Quat, SquadEndpointsAndControls)
{
    quat q0 = quat_from_axis_angle(0.2, 1, 0, 0), q1 = quat_from_axis_angle(1.1, 0, 1, 0);
    quat a = quat_from_axis_angle(0.5, 0, 0, 1), b = quat_from_axis_angle(0.9, 0.6, 0.8, 0);
    expect_quat_near(quat_squad(0.0, q0, a, b, q1), q0);
    expect_quat_near(quat_squad(1.0, q0, a, b, q1), q1);
    // Equal steps about one axis leave nothing to bend: both controls are the key itself.
    quat ca, cb;
    quat_squad_controls(quat_from_axis_angle(0.0, 0, 0, 1), quat_from_axis_angle(0.4, 0, 0, 1),
                        quat_from_axis_angle(0.8, 0, 0, 1), &ca, &cb);
    expect_quat_near(ca, quat_from_axis_angle(0.4, 0, 0, 1));
    expect_quat_near(cb, quat_from_axis_angle(0.4, 0, 0, 1));
}

TEST(Quat, MatrixConversions)
{
    double m[3][3];
    quat_to_matrix(quat_from_axis_angle(QUAT_PI / 2, 0, 0, 1), m);
    double v[3] = {1, 0, 0}, out[3];
    quat_rotate_vector(quat_from_axis_angle(QUAT_PI / 2, 0, 0, 1), v, out);
    EXPECT_NEAR(out[0], 0.0, 1e-12);
    EXPECT_NEAR(out[1], 1.0, 1e-12);
    EXPECT_NEAR(out[2], 0.0, 1e-12);

    // Angles near a half turn give a trace below 0 and walk every diagonal branch.
    const double axes[][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.6, 0.8, 0}, {0, 0.28, 0.96}};
    for (const auto& ax : axes) {
        for (double angle : {0.3, 1.5, 2.5, 3.1, QUAT_PI}) {
            quat q = quat_from_axis_angle(angle, ax[0], ax[1], ax[2]);
            quat_to_matrix(q, m);
            expect_same_rotation(quat_from_matrix(m), q);
            // The matrix and the sandwich product q v q* rotate alike.
            double w[3] = {0.3, -1.2, 0.7};
            quat_rotate_vector(q, w, out);
            quat r = q * quat{0, w[0], w[1], w[2]} * quat_conjugate(q);
            EXPECT_NEAR(out[0], r.x, 1e-12);
            EXPECT_NEAR(out[1], r.y, 1e-12);
            EXPECT_NEAR(out[2], r.z, 1e-12);
        }
    }
}

// time, axis x, y, z, angle, tension, continuity, bias
static void rotation_key(double* k, double time, double angle)
{
    const double key[ROTATION_KEY_DOUBLES] = {time, 0, 0, 1, angle, 0, 0, 0};
    for (int i = 0; i < ROTATION_KEY_DOUBLES; i++) k[i] = key[i];
}

TEST(RotationSpline, FourKeysAboutZ)
{
    double keys[4 * ROTATION_KEY_DOUBLES];
    for (int i = 0; i < 4; i++) rotation_key(keys + i * ROTATION_KEY_DOUBLES, i, 0.5 * i);
    rotation_spline* spline = rotation_spline_build(4, keys);
    ASSERT_NE(spline, nullptr);
    EXPECT_EQ(spline->count, 1);
    EXPECT_EQ(spline->segments[0].t0, 1.0);
    EXPECT_EQ(spline->segments[0].t1, 2.0);
    EXPECT_EQ(spline->segments[0].duration, 1.0);

    // Equal steps about one axis: the curve turns at a constant rate, clamped outside.
    const double times[] = {0.0, 1.0, 1.25, 1.5, 2.0, 3.0};
    const double angles[] = {0.5, 0.5, 0.625, 0.75, 1.0, 1.0};
    for (int i = 0; i < 6; i++) {
        double out[4];
        rotation_spline_evaluate(spline, times[i], out);
        EXPECT_NEAR(out[0], 0.0, 1e-9) << times[i];
        EXPECT_NEAR(out[1], 0.0, 1e-9) << times[i];
        EXPECT_NEAR(out[2], 1.0, 1e-9) << times[i];
        EXPECT_NEAR(out[3], angles[i], 1e-9) << times[i];
    }
    rotation_spline_free(spline);
}

TEST(RotationSpline, ShortWayAndSegmentsPerKey)
{
    // 0.2 to 6.0 radians about x: the short way is backwards through 0 (to -0.28),
    // not forwards through a half turn. The outer keys (0.4 and 12.0, i.e. -0.57 in
    // quaternion terms) continue the same short path.
    double keys[6 * ROTATION_KEY_DOUBLES];
    const double angles[] = {0.4, 0.2, 6.0, 12.0};
    for (int i = 0; i < 4; i++) {
        rotation_key(keys + i * ROTATION_KEY_DOUBLES, 2.0 * i, angles[i]);
        keys[i * ROTATION_KEY_DOUBLES + 1] = 1;
        keys[i * ROTATION_KEY_DOUBLES + 3] = 0;
    }
    rotation_spline* spline = rotation_spline_build(4, keys);
    ASSERT_NE(spline, nullptr);
    double out[4], m[3][3];
    rotation_spline_evaluate(spline, 3.0, out);  // halfway from key 1 to key 2
    quat_to_matrix(quat_from_axis_angle(out[3], out[0], out[1], out[2]), m);
    EXPECT_GT(m[1][1], std::cos(0.3));  // within 0.3 rad of no rotation
    rotation_spline_evaluate(spline, 4.0, out);
    expect_same_rotation(quat_from_axis_angle(out[3], out[0], out[1], out[2]), quat_from_axis_angle(6.0, 1, 0, 0));
    rotation_spline_free(spline);

    // One segment per key beyond the third; the range runs from key 1 to key count - 2.
    for (int i = 0; i < 6; i++) rotation_key(keys + i * ROTATION_KEY_DOUBLES, i, 0.3 * i);
    spline = rotation_spline_build(6, keys);
    ASSERT_NE(spline, nullptr);
    EXPECT_EQ(spline->count, 3);
    const double times[] = {-1.0, 1.0, 2.5, 3.0, 3.5, 4.0, 9.0};
    const double expect[] = {0.3, 0.3, 0.75, 0.9, 1.05, 1.2, 1.2};
    for (int i = 0; i < 7; i++) {
        rotation_spline_evaluate(spline, times[i], out);
        EXPECT_NEAR(out[3], expect[i], 1e-9) << times[i];
    }
    rotation_spline_free(spline);

    EXPECT_EQ(rotation_spline_build(3, keys), nullptr);
    rotation_spline_evaluate(nullptr, 1.0, out);
    EXPECT_EQ(out[0], 1.0);
    EXPECT_EQ(out[3], 0.0);
}
