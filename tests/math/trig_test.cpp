// The engine's sine, cosine and arc tangents: within 1 ulp of the C library over
// random and edge arguments, the C library's zeros, infinities and NaNs, and fixed
// bits that any platform computing them differently fails.
#include "engine/math/trig.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double MAX = std::numeric_limits<double>::max();
constexpr double PI = 3.141592653589793;

// Doubles in order as integers: the difference is the distance in ulps (+0 = -0).
int64_t ordered(double x) {
    int64_t i = std::bit_cast<int64_t>(x);
    return i < 0 ? -(i & INT64_MAX) : i;
}
int64_t ulps(double a, double b) { return ordered(a) > ordered(b) ? ordered(a) - ordered(b) : ordered(b) - ordered(a); }

double next_up(double x) { return std::nextafter(x, INF); }
double next_down(double x) { return std::nextafter(x, -INF); }

// Random doubles with a given sign and exponent spread: m 2^e, m in [1, 2).
struct Sampler {
    std::mt19937_64 bits{20240611};
    double operator()(int min_exp, int max_exp) {
        uint64_t r = bits();
        double m = 1.0 + double(r >> 12) * 0x1p-52;
        int e = min_exp + int((r & 0x7FF) % uint64_t(max_exp - min_exp + 1));
        return (r & 0x800 ? -1.0 : 1.0) * std::ldexp(m, e);
    }
};

// Arguments where reduction or the choice of branch is hardest.
std::vector<double> edge_arguments() {
    std::vector<double> x = {0.0, 5e-324, 1e-300, 0x1p-27, 0x1p-26, next_down(0x1p-26), 1e-8, 0.5, 1.0, 2.0,
                             next_down(0x1p20), 0x1p20, next_up(0x1p20), 1e22, 0x1p1000, MAX};
    for (double k = 1; k < 2e6; k = k * 1.7 + 1) {  // multiples of pi/4 and their neighbours
        double m = k * (PI / 4);
        for (double v : {m, next_up(m), next_down(m)}) x.push_back(v);
    }
    size_t n = x.size();
    for (size_t i = 0; i < n; i++) x.push_back(-x[i]);
    return x;
}

struct Unary {
    const char* name;
    double (*ours)(double);
    double (*c)(double);
    int min_exp, max_exp;  // the random arguments' spread
    bool multiples;        // also the double nearest each multiple of pi/2 below 2^20
};

const Unary UNARY[] = {
    {"sin", math_sin, [](double x) { return std::sin(x); }, -40, 1023, true},
    {"cos", math_cos, [](double x) { return std::cos(x); }, -40, 1023, true},
    {"sin (small)", math_sin, [](double x) { return std::sin(x); }, -3, 12, false},
    {"cos (small)", math_cos, [](double x) { return std::cos(x); }, -3, 12, false},
    {"atan", math_atan, [](double x) { return std::atan(x); }, -70, 70, false},
    {"atan (near 1)", math_atan, [](double x) { return std::atan(x); }, -4, 4, false},
    {"acos", math_acos, [](double x) { return std::acos(x); }, -60, -1, false},
    // 1 - 2^-k u: close to the ends, where acos is steepest.
    {"acos (near +-1)", [](double x) { return math_acos(std::copysign(1.0 - std::fabs(x), x)); },
     [](double x) { return std::acos(std::copysign(1.0 - std::fabs(x), x)); }, -53, -2, false},
};

}  // namespace

TEST(Trig, WithinOneUlpOfTheCLibrary) {
    const std::vector<double> edges = edge_arguments();
    Sampler sample;
    for (const Unary& f : UNARY) {
        std::vector<double> args;
        if (f.ours != math_acos) args = edges;
        for (int i = 0; i < 300000; i++) args.push_back(sample(f.min_exp, f.max_exp));
        // Where the reduction cancels most: its result is then all but its last pieces of pi/2.
        for (double k = 1; f.multiples && k < 0x1p20 * 2 / PI; k++) args.push_back(k * (PI / 2));
        for (double x : {-1.0, next_up(-1.0), -0.5, 0.0, 0.5, next_down(1.0), 1.0})
            if (f.ours == math_acos) args.push_back(x);
        int64_t worst = 0;
        double worst_x = 0.0;
        for (double x : args) {
            int64_t d = ulps(f.ours(x), f.c(x));
            if (d > worst) worst = d, worst_x = x;
        }
        EXPECT_LE(worst, 1) << f.name << '(' << std::hexfloat << worst_x << ") is " << worst << " ulps off";
    }
}

TEST(Trig, Atan2QuadrantsZerosAndInfinities) {
    const double special[] = {0.0, -0.0, 5e-324, -5e-324, 1.0, -1.0, 1e-300, 1e300, -1e300, MAX, INF, -INF};
    std::vector<std::pair<double, double>> args;
    for (double y : special)
        for (double x : special) args.push_back({y, x});
    Sampler sample;
    for (int i = 0; i < 300000; i++) args.push_back({sample(-4, 4), sample(-4, 4)});         // all four quadrants
    for (int i = 0; i < 100000; i++) args.push_back({sample(-1070, 1023), sample(-1070, 1023)});  // any ratio
    int64_t worst = 0;
    for (auto [y, x] : args) {
        double ours = math_atan2(y, x), c = std::atan2(y, x);
        int64_t d = ulps(ours, c);
        if (d > worst) worst = d;
        EXPECT_LE(d, 1) << std::hexfloat << "atan2(" << y << ", " << x << ") = " << ours << ", C library " << c;
        EXPECT_EQ(std::signbit(ours), std::signbit(c)) << std::hexfloat << "atan2(" << y << ", " << x << ")";
    }
    EXPECT_EQ(worst, 1);  // the comparison above did meet results that differ
}

TEST(Trig, FloatFormsRoundTheDoubleOnce) {
    Sampler sample;
    for (int i = 0; i < 100000; i++) {
        float x = float(sample(-20, 10)), y = float(sample(-20, 10));
        EXPECT_EQ(math_sinf(x), float(math_sin(x)));
        EXPECT_EQ(math_cosf(x), float(math_cos(x)));
        EXPECT_EQ(math_atan2f(y, x), float(math_atan2(y, x)));
        ASSERT_LE(ulps(math_sinf(x), std::sin(double(x))), 1 << 29) << x;  // within a float ulp
    }
}

TEST(Trig, NaNForNaNInfinitiesAndOutsideTheDomain) {
    const struct {
        const char* what;
        double value;
    } cases[] = {
        {"sin(inf)", math_sin(INF)},        {"sin(-inf)", math_sin(-INF)},     {"sin(NaN)", math_sin(NaN)},
        {"cos(inf)", math_cos(INF)},        {"cos(-inf)", math_cos(-INF)},     {"cos(NaN)", math_cos(NaN)},
        {"atan(NaN)", math_atan(NaN)},      {"atan2(NaN, 1)", math_atan2(NaN, 1.0)},
        {"atan2(0, NaN)", math_atan2(0.0, NaN)},
        {"acos(1 + ulp)", math_acos(next_up(1.0))}, {"acos(-1 - ulp)", math_acos(next_down(-1.0))},
        {"acos(2)", math_acos(2.0)},        {"acos(inf)", math_acos(INF)},     {"acos(NaN)", math_acos(NaN)},
        {"sinf(inf)", math_sinf(float(INF))}, {"atan2f(NaN, 0)", math_atan2f(float(NaN), 0.0f)},
    };
    for (const auto& c : cases) EXPECT_TRUE(std::isnan(c.value)) << c.what << " = " << c.value;
    EXPECT_EQ(math_atan(INF), PI / 2);
    EXPECT_EQ(math_atan(-INF), -PI / 2);
    EXPECT_EQ(math_acos(-1.0), PI);
    EXPECT_EQ(std::bit_cast<uint64_t>(math_acos(1.0)), 0u);  // +0
    EXPECT_EQ(std::bit_cast<uint64_t>(math_sin(-0.0)), std::bit_cast<uint64_t>(-0.0));
    EXPECT_EQ(std::bit_cast<uint64_t>(math_atan(-0.0)), std::bit_cast<uint64_t>(-0.0));
}

// The bits this implementation gives, one or more per path through it: a platform
// whose arithmetic differs anywhere fails here. 6381956970095103 2^797 is the double
// nearest a multiple of pi/2; its sine and cosine are the correctly rounded values
// (worked out to 3000 bits), where glibc's cosine is 8 ulps off.
TEST(Trig, FixedBits) {
    enum Fn { SIN, COS, ATAN, ACOS, ATAN2, SINF, COSF, ATAN2F };
    const struct {
        Fn fn;
        double x, y;  // y: atan2's x
        uint64_t bits;
    } cases[] = {
        {SIN, 0x1p-30, 0x0p+0, 0x3e10000000000000u},
        {SIN, 0x1p-1, 0x0p+0, 0x3fdeaee8744b05f0u},
        {SIN, 0x1p+0, 0x0p+0, 0x3feaed548f090ceeu},
        {SIN, 0x1p+1, 0x0p+0, 0x3fed18f6ead1b446u},
        {SIN, 0x1.8p+1, 0x0p+0, 0x3fc210386db6d55bu},
        {SIN, 0x1.2p+2, 0x0p+0, 0xbfef47ed3dc74080u},
        {SIN, 0x1.6p+2, 0x0p+0, 0xbfe693c94e0ab057u},
        {SIN, 0x1.9p+6, 0x0p+0, 0xbfe03425b78c4db8u},
        {SIN, -0x1.edd2f1a9fbe77p+6, 0x0p+0, 0x3fe9b9dadc41aeb6u},
        {SIN, 0x1.e848p+19, 0x0p+0, 0xbfd6664b2568d867u},
        {SIN, 0x1.000008p+20, 0x0p+0, 0x3fe7c2bb1d7c0924u},
        {SIN, 0x1.0f0cf064dd592p+73, 0x0p+0, 0xbfeb453ab76bf397u},
        {SIN, 0x1.7e43c8800759cp+996, 0x0p+0, 0xbfea2c16b010e385u},
        {SIN, 0x1.6ac5b262ca1ffp+849, 0x0p+0, 0x3ff0000000000000u},
        {COS, 0x1.6ac5b262ca1ffp+849, 0x0p+0, 0xbc214ae72e6ba22fu},
        {COS, 0x1.b7cdfd9d7bdbbp-34, 0x0p+0, 0x3ff0000000000000u},
        {COS, 0x1.3333333333333p-2, 0x0p+0, 0x3fee921dd42f09bau},
        {COS, 0x1.6666666666666p-1, 0x0p+0, 0x3fe87996529f9d93u},
        {COS, 0x1.999999999999ap+0, 0x0p+0, 0xbf9de67ac55f1633u},
        {COS, 0x1.999999999999ap+1, 0x0p+0, 0xbfeff207e2b9cbb6u},
        {COS, 0x1.3333333333333p+2, 0x0p+0, 0x3fb66655584e4040u},
        {COS, 0x1.8p+2, 0x0p+0, 0x3feeb9b7097822f5u},
        {COS, 0x1.86ap+16, 0x0p+0, 0xbfeffac3841b3da7u},
        {COS, 0x1.e848p+20, 0x0p+0, 0x3fe82908d6687143u},
        {COS, 0x1.0f0cf064dd592p+73, 0x0p+0, 0x3fe0be2cef01c8f4u},
        {COS, 0x1.fffffffffffffp+1023, 0x0p+0, 0xbfefffe62ecfab75u},
        {ATAN, 0x1.b7cdfd9d7bdbbp-34, 0x0p+0, 0x3ddb7cdfd9d7bdbbu},
        {ATAN, 0x1.999999999999ap-5, 0x0p+0, 0x3fa9942597929f27u},
        {ATAN, 0x1.999999999999ap-4, 0x0p+0, 0x3fb983e282e2cc4du},
        {ATAN, 0x1.3333333333333p-2, 0x0p+0, 0x3fd2a73a661eaf06u},
        {ATAN, 0x1.6666666666666p-1, 0x0p+0, 0x3fe38b112d7bd4adu},
        {ATAN, 0x1p+0, 0x0p+0, 0x3fe921fb54442d18u},
        {ATAN, 0x1.4cccccccccccdp+0, 0x0p+0, 0x3fed488143ad8c44u},
        {ATAN, 0x1.8p+1, 0x0p+0, 0x3ff3fc176b7a8560u},
        {ATAN, 0x1.1p+4, 0x0p+0, 0x3ff831516233f561u},
        {ATAN, 0x1.2a05f2p+33, 0x0p+0, 0x3ff921fb543d4de0u},
        {ATAN, 0x1.249ad2594c37dp+332, 0x0p+0, 0x3ff921fb54442d18u},
        {ATAN, -0x1.3333333333333p-1, 0x0p+0, 0xbfe14b1dd5f90ce1u},
        {ACOS, -0x1p+0, 0x0p+0, 0x400921fb54442d18u},
        {ACOS, -0x1.fff2e48e8a71ep-1, 0x0p+0, 0x40090504b722c141u},
        {ACOS, -0x1p-1, 0x0p+0, 0x4000c152382d7366u},
        {ACOS, 0x0p+0, 0x0p+0, 0x3ff921fb54442d18u},
        {ACOS, 0x1.3333333333333p-2, 0x0p+0, 0x3ff441f5ecbeef59u},
        {ACOS, 0x1.ccccccccccccdp-1, 0x0p+0, 0x3fdcdd9f8f922e98u},
        {ACOS, 0x1.ffffffaa19c47p-1, 0x0p+0, 0x3f228950343cef55u},
        {ACOS, 0x1p+0, 0x0p+0, 0x0000000000000000u},
        {ATAN2, 0x1p+0, 0x1p+1, 0x3fddac670561bb4fu},
        {ATAN2, 0x1p+1, 0x1p+0, 0x3ff1b6e192ebbe44u},
        {ATAN2, 0x1p+0, -0x1p+1, 0x40056c6e7397f5aeu},
        {ATAN2, -0x1p+1, -0x1p+0, 0xc000468a8ace4df6u},
        {ATAN2, -0x1p+0, 0x1p+1, 0xbfddac670561bb4fu},
        {ATAN2, 0x1.87e92154ef7acp-665, 0x1.4e718d7d7625ap+664, 0x0000000000000000u},
        {ATAN2, 0x1.7e43c8800759cp+996, 0x1.31cfd3999f7bp+993, 0x3ff789bd2c160054u},
        {ATAN2, 0x1.8p+1, 0x0p+0, 0x3ff921fb54442d18u},
        {ATAN2, 0x0p+0, -0x1.4p+2, 0x400921fb54442d18u},
        {ATAN2, -0x0p+0, -0x1.4p+2, 0xc00921fb54442d18u},
        {ATAN2, 0x0.0000000000001p-1022, -0x0.0000000000001p-1022, 0x4002d97c7f3321d2u},
        {SINF, 0x1.999999999999ap-4, 0x0p+0, 0x3fb98eaee0000000u},
        {SINF, 0x1.9p+3, 0x0p+0, 0xbfb0fa78c0000000u},
        {SINF, -0x1.91p+6, 0x0p+0, 0x3fd1bf00a0000000u},
        {COSF, 0x1p+1, 0x0p+0, 0xbfdaa22660000000u},
        {COSF, 0x1.f4p+9, 0x0p+0, 0x3fe1ff0260000000u},
        {ATAN2F, 0x1.3333333333333p-2, -0x1.6666666666666p-1, 0x4005e4c360000000u},
    };
    for (const auto& c : cases) {
        double r = 0.0;
        switch (c.fn) {
        case SIN: r = math_sin(c.x); break;
        case COS: r = math_cos(c.x); break;
        case ATAN: r = math_atan(c.x); break;
        case ACOS: r = math_acos(c.x); break;
        case ATAN2: r = math_atan2(c.x, c.y); break;
        case SINF: r = math_sinf(float(c.x)); break;
        case COSF: r = math_cosf(float(c.x)); break;
        case ATAN2F: r = math_atan2f(float(c.x), float(c.y)); break;
        }
        EXPECT_EQ(std::bit_cast<uint64_t>(r), c.bits)
            << "function " << c.fn << std::hexfloat << " of " << c.x << ", " << c.y << " gave " << r;
    }
}
