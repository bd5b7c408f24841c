// The engine's sine, cosine and arc tangents beside the C library's: 1024 calls per
// iteration over arguments of the size the demo uses (angles up to a few thousand
// radians, ratios of either sign), plus large sine arguments (the full reduction)
// and the float forms the effects call.
#include "engine/math/trig.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

static constexpr int CALLS = 1024;

// Fixed arguments in [-scale, scale] from a small linear congruential generator.
static std::vector<double> arguments(double scale, uint64_t seed)
{
    std::vector<double> x(CALLS);
    for (double& v : x) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        v = scale * (double(seed >> 11) * 0x1p-52 - 1.0);
    }
    return x;
}

// Each function through a pointer, the engine's and the C library's alike.
static void unary(benchmark::State& state, double (*f)(double), double scale)
{
    const std::vector<double> x = arguments(scale, 1);
    for (auto _ : state) {
        double sum = 0.0;
        for (double v : x) sum += f(v);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * CALLS);
}

static void binary(benchmark::State& state, double (*f)(double, double))
{
    const std::vector<double> y = arguments(4.0, 1), x = arguments(4.0, 2);
    for (auto _ : state) {
        double sum = 0.0;
        for (int i = 0; i < CALLS; i++) sum += f(y[i], x[i]);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * CALLS);
}

static void unary_float(benchmark::State& state, float (*f)(float))
{
    std::vector<float> x;
    for (double v : arguments(100.0, 1)) x.push_back(float(v));
    for (auto _ : state) {
        float sum = 0.0f;
        for (float v : x) sum += f(v);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * CALLS);
}

static double c_sin(double x) { return std::sin(x); }
static double c_cos(double x) { return std::cos(x); }
static double c_atan(double x) { return std::atan(x); }
static double c_acos(double x) { return std::acos(x); }
static double c_atan2(double y, double x) { return std::atan2(y, x); }
static float c_sinf(float x) { return std::sin(x); }

BENCHMARK_CAPTURE(unary, engine_sin, math_sin, 100.0);
BENCHMARK_CAPTURE(unary, libm_sin, c_sin, 100.0);
BENCHMARK_CAPTURE(unary, engine_cos, math_cos, 100.0);
BENCHMARK_CAPTURE(unary, libm_cos, c_cos, 100.0);
BENCHMARK_CAPTURE(unary, engine_sin_large, math_sin, 1e300);
BENCHMARK_CAPTURE(unary, libm_sin_large, c_sin, 1e300);
BENCHMARK_CAPTURE(unary, engine_atan, math_atan, 4.0);
BENCHMARK_CAPTURE(unary, libm_atan, c_atan, 4.0);
BENCHMARK_CAPTURE(unary, engine_acos, math_acos, 1.0);
BENCHMARK_CAPTURE(unary, libm_acos, c_acos, 1.0);
BENCHMARK_CAPTURE(binary, engine_atan2, math_atan2);
BENCHMARK_CAPTURE(binary, libm_atan2, c_atan2);
BENCHMARK_CAPTURE(unary_float, engine_sinf, math_sinf);
BENCHMARK_CAPTURE(unary_float, libm_sinf, c_sinf);
