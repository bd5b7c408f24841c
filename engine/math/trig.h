// The engine's own sine, cosine and arc tangents, used wherever the picture depends on
// them: the C library's differ in the last bits between glibc, mingw-w64 and emscripten,
// these give the same bits on every platform (only +, -, *, / and sqrt, floor in double
// precision, evaluated in a fixed order with no fused multiply-add).
#pragma once

// Each is within about 1 ulp of the exact value for every finite argument (sine and
// cosine reduce even the largest doubles exactly); tests/math/trig_test.cpp measures
// the bound against the C library and pins the bits.

// NaN or an infinity gives NaN.
double math_sin(double x);
double math_cos(double x);
// In [-pi/2, pi/2]; +-infinity gives +-pi/2.
double math_atan(double x);
// The angle of the point (x, y) in [-pi, pi], with the C library's rules for zeros
// and infinities (atan2(+-0, -0) = +-pi, atan2(+-0, +0) = +-0, ...); NaN if either is.
double math_atan2(double y, double x);
// In [0, pi]; NaN outside [-1, 1].
double math_acos(double x);

// Single precision: computed in double and rounded to float once.
float math_sinf(float x);
float math_cosf(float x);
float math_atan2f(float y, float x);
