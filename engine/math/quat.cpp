// Quaternion algebra in double precision and the squad rotation interpolator that
// prepared rotation tracks evaluate. Allocates with the language's allocator (never
// throwing: a failed build returns null), not with GMEM.
#include "engine/math/quat.h"

#include <cmath>
#include <new>

#include "engine/math/trig.h"

// Computed at start-up, before main runs, as the rest of the engine expects.
const double QUAT_PI = 4.0 * math_atan(1.0);

quat quat::operator+(const quat& q) const { return quat_add(*this, q); }
quat quat::operator-(const quat& q) const { return quat_sub(*this, q); }
quat quat::operator*(const quat& q) const { return quat_mul(*this, q); }
quat quat::operator*(double s) const { return quat_scale(*this, s); }
quat quat::operator-() const { return quat_negate(*this); }

quat quat_from_axis_angle(double angle, double x, double y, double z)
{
    double s = math_sin(angle / 2.0);
    return quat{math_cos(angle / 2.0), x * s, y * s, z * s};
}

void quat_to_axis_angle(const quat& q, double* angle, double axis[3])
{
    double d = q.x * q.x + q.y * q.y + q.z * q.z;
    if (d > 0.0) {
        // Rounding can push w of a unit quaternion a hair past 1; acos would give NaN.
        double w = q.w > 1.0 ? 1.0 : (q.w < -1.0 ? -1.0 : q.w);
        double len = std::sqrt(d);
        *angle = 2.0 * math_acos(w);
        axis[0] = q.x / len;
        axis[1] = q.y / len;
        axis[2] = q.z / len;
    } else {
        *angle = 0.0;
        axis[0] = 1.0;
        axis[1] = 0.0;
        axis[2] = 0.0;
    }
}

quat quat_add(const quat& p, const quat& q) { return quat{p.w + q.w, p.x + q.x, p.y + q.y, p.z + q.z}; }
quat quat_sub(const quat& p, const quat& q) { return quat{p.w - q.w, p.x - q.x, p.y - q.y, p.z - q.z}; }

quat quat_mul(const quat& p, const quat& q)
{
    return quat{p.w * q.w - p.x * q.x - p.y * q.y - p.z * q.z,
                p.w * q.x + p.x * q.w + p.y * q.z - p.z * q.y,
                p.w * q.y + p.y * q.w + p.z * q.x - p.x * q.z,
                p.w * q.z + p.z * q.w + p.x * q.y - p.y * q.x};
}

quat quat_scale(const quat& q, double s) { return quat{q.w * s, q.x * s, q.y * s, q.z * s}; }
quat quat_negate(const quat& q) { return quat{-q.w, -q.x, -q.y, -q.z}; }
double quat_dot(const quat& p, const quat& q) { return p.w * q.w + p.x * q.x + p.y * q.y + p.z * q.z; }
double quat_norm(const quat& q) { return q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z; }
quat quat_conjugate(const quat& q) { return quat{q.w, -q.x, -q.y, -q.z}; }

quat quat_inverse(const quat& q)
{
    double n = quat_norm(q);
    if (n > 0.0) return quat{q.w / n, -q.x / n, -q.y / n, -q.z / n};
    return QUAT_ZERO;
}

quat quat_exp(const quat& q)
{
    double t = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
    double s = math_sin(t);
    // Below the epsilon sin t / t is 1 to well within double rounding of the result.
    if (std::fabs(s) >= QUAT_EPSILON) {
        double k = s / t;
        return quat{math_cos(t), q.x * k, q.y * k, q.z * k};
    }
    return quat{math_cos(t), q.x, q.y, q.z};
}

quat quat_log(const quat& q)
{
    if (std::fabs(q.w) < 1.0) {
        double t = math_acos(q.w);
        double s = math_sin(t);
        if (std::fabs(s) >= QUAT_EPSILON) {
            double k = t / s;
            return quat{0.0, q.x * k, q.y * k, q.z * k};
        }
    }
    return quat{0.0, q.x, q.y, q.z};
}

// The angle between p and q and its sine, with the cosine clamped into acos's domain.
static double slerp_angle(const quat& p, const quat& q, double* s)
{
    double c = quat_dot(p, q);
    if (c > 1.0) c = 1.0;
    if (c < -1.0) c = -1.0;
    double a = math_acos(c);
    *s = math_sin(a);
    return a;
}

quat quat_slerp(double t, const quat& p, const quat& q)
{
    double s;
    double a = slerp_angle(p, q, &s);
    if (s >= QUAT_EPSILON)
        return quat_add(quat_scale(p, math_sin((1.0 - t) * a) / s), quat_scale(q, math_sin(t * a) / s));
    return p;
}

quat quat_slerp_spin(double t, const quat& p, const quat& q, double spin)
{
    double s;
    double a = slerp_angle(p, q, &s);
    if (s >= QUAT_EPSILON) {
        double f = spin * QUAT_PI * t;
        return quat_add(quat_scale(p, math_sin((1.0 - t) * a - f) / s), quat_scale(q, math_sin(t * a + f) / s));
    }
    return p;
}

quat quat_squad(double t, const quat& q0, const quat& a, const quat& b, const quat& q1)
{
    return quat_slerp(2.0 * t * (1.0 - t), quat_slerp(t, q0, q1), quat_slerp(t, a, b));
}

void quat_squad_controls(const quat& prev, const quat& cur, const quat& next, quat* a, quat* b)
{
    quat d = quat_scale(quat_sub(quat_log(quat_mul(quat_conjugate(prev), cur)),
                                 quat_log(quat_mul(quat_conjugate(cur), next))), 0.25);
    *a = quat_mul(cur, quat_exp(d));
    *b = quat_mul(cur, quat_exp(quat_negate(d)));
}

void quat_to_matrix(const quat& q, double m[3][3])
{
    double w = q.w, x = q.x, y = q.y, z = q.z;
    m[0][0] = 1.0 - 2.0 * y * y - 2.0 * z * z;
    m[0][1] = 2.0 * x * y - 2.0 * z * w;
    m[0][2] = 2.0 * x * z + 2.0 * y * w;
    m[1][0] = 2.0 * x * y + 2.0 * z * w;
    m[1][1] = 1.0 - 2.0 * z * z - 2.0 * x * x;
    m[1][2] = 2.0 * y * z - 2.0 * x * w;
    m[2][0] = 2.0 * x * z - 2.0 * y * w;
    m[2][1] = 2.0 * y * z + 2.0 * x * w;
    m[2][2] = 1.0 - 2.0 * y * y - 2.0 * x * x;
}

quat quat_from_matrix(const double m[3][3])
{
    double tr = m[0][0] + m[1][1] + m[2][2];
    quat q;
    if (tr > 0.0) {
        double s = std::sqrt(tr + 1.0);
        q.w = s / 2.0;
        s = 0.5 / s;
        q.x = (m[2][1] - m[1][2]) * s;
        q.y = (m[0][2] - m[2][0]) * s;
        q.z = (m[1][0] - m[0][1]) * s;
        return q;
    }
    // Trace not positive: start from the largest diagonal element so the square
    // root is of a number at least 1 and the divisions stay well conditioned.
    static const int next[3] = {1, 2, 0};
    int i = 0;
    if (m[1][1] > m[0][0]) i = 1;
    if (m[2][2] > m[i][i]) i = 2;
    int j = next[i], k = next[j];
    double v[3];
    double s = std::sqrt(m[i][i] - m[j][j] - m[k][k] + 1.0);
    v[i] = s / 2.0;
    s = 0.5 / s;
    q.w = (m[k][j] - m[j][k]) * s;
    v[j] = (m[j][i] + m[i][j]) * s;
    v[k] = (m[k][i] + m[i][k]) * s;
    q.x = v[0];
    q.y = v[1];
    q.z = v[2];
    return q;
}

void quat_rotate_vector(const quat& q, const double v[3], double out[3])
{
    double m[3][3];
    quat_to_matrix(q, m);
    for (int i = 0; i < 3; i++) out[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
}

// Key fields, ROTATION_KEY_DOUBLES per key.
enum { RK_TIME, RK_X, RK_Y, RK_Z, RK_ANGLE, RK_TENSION, RK_CONTINUITY, RK_BIAS };

static quat key_quat(const double* k) { return quat_from_axis_angle(k[RK_ANGLE], k[RK_X], k[RK_Y], k[RK_Z]); }

// Tangent length ratio; keys sharing one time would divide by zero, so such a
// tangent gets no length instead of an infinite one.
static double time_ratio(double num, double den) { return den != 0.0 ? num / den : 0.0; }

rotation_spline* rotation_spline_build(int key_count, const double* keys)
{
    if (key_count < 4 || !keys) return nullptr;
    int count = key_count - 3;
    rotation_spline* spline = new (std::nothrow) rotation_spline;
    if (!spline) return nullptr;
    spline->count = count;
    spline->segments = new (std::nothrow) rotation_segment[count];
    if (!spline->segments) {
        delete spline;
        return nullptr;
    }
    for (int i = 0; i < count; i++) {
        const double* kp = keys + (i + 0) * ROTATION_KEY_DOUBLES;
        const double* k0 = keys + (i + 1) * ROTATION_KEY_DOUBLES;
        const double* k1 = keys + (i + 2) * ROTATION_KEY_DOUBLES;
        const double* kn = keys + (i + 3) * ROTATION_KEY_DOUBLES;
        double tp = kp[RK_TIME], t0 = k0[RK_TIME], t1 = k1[RK_TIME], tn = kn[RK_TIME];

        quat p = key_quat(kp), q0 = key_quat(k0), q1 = key_quat(k1), n = key_quat(kn);
        // Take the short way round; the flip stays local to this segment.
        if (quat_dot(q0, q1) < 0.0) q1 = -q1;
        quat l = quat_log(quat_conjugate(q0) * q1);

        double tension = k0[RK_TENSION], continuity = k0[RK_CONTINUITY], bias = k0[RK_BIAS];
        double j = time_ratio(2.0 * (t1 - t0), t1 - tp);
        double g1 = 0.5 * j * (1.0 - tension) * (1.0 + continuity) * (1.0 + bias);
        double g2 = 0.5 * j * (1.0 - tension) * (1.0 - continuity) * (1.0 - bias);
        quat out = l * g2 + quat_log(quat_conjugate(p) * q0) * g1;

        tension = k1[RK_TENSION], continuity = k1[RK_CONTINUITY], bias = k1[RK_BIAS];
        double u = time_ratio(2.0 * (t1 - t0), tn - t0);
        double g3 = 0.5 * u * (1.0 - tension) * (1.0 - continuity) * (1.0 + bias);
        double g4 = 0.5 * u * (1.0 - tension) * (1.0 + continuity) * (1.0 - bias);
        quat in = quat_log(quat_conjugate(q1) * n) * g4 + l * g3;

        rotation_segment& seg = spline->segments[i];
        seg.q0 = q0;
        seg.a = q0 * quat_exp((out - l) * 0.5);
        seg.b = q1 * quat_exp((l - in) * 0.5);
        seg.q1 = q1;
        seg.t0 = t0;
        seg.t1 = t1;
        seg.duration = t1 - t0;
    }
    return spline;
}

void rotation_spline_evaluate(const rotation_spline* spline, double time, double out[4])
{
    if (!spline || spline->count < 1 || !spline->segments) {
        out[0] = 1.0;
        out[1] = out[2] = out[3] = 0.0;
        return;
    }
    const rotation_segment* seg;
    double u;
    const rotation_segment* last = &spline->segments[spline->count - 1];
    if (time <= spline->segments[0].t0) {
        seg = &spline->segments[0];
        u = 0.0;
    } else if (time >= last->t1) {
        seg = last;
        u = 1.0;
    } else {
        seg = spline->segments;
        while (seg < last && !(seg->t1 > time)) seg++;
        // Two keys at one time make a segment of no duration; it is only ever passed over
        // (its t1 is not greater than a time past its t0), but guard the division anyway.
        u = seg->duration > 0.0 ? (time - seg->t0) / seg->duration : 0.0;
    }
    quat q = quat_squad(u, seg->q0, seg->a, seg->b, seg->q1);
    double angle, axis[3];
    quat_to_axis_angle(q, &angle, axis);
    out[0] = axis[0];
    out[1] = axis[1];
    out[2] = axis[2];
    out[3] = angle;
}

void rotation_spline_free(rotation_spline* spline)
{
    if (!spline) return;
    delete[] spline->segments;
    delete spline;
}
