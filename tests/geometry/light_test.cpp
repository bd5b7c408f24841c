// Lights: the four models' levels, the model mask and the error messages.
#include <gtest/gtest.h>

#include "engine/geometry/light.h"

namespace {
const vector ORIGIN = {0, 0, 0}, UP = {0, 1, 0}, DOWN = {0, -1, 0};
}

// A new light lights nothing until it is given a model; the headlight works as
// it comes: diffuse, level 255, far behind the eye, lighting by the cosine
// between the normal and the view direction.
TEST(Light, NewLightIsDarkAndTheHeadlightLightsWhatFacesTheEye) {
    light* dark = light_create();
    ASSERT_NE(dark, nullptr);
    EXPECT_EQ(dark->type, 0);
    EXPECT_EQ(dark->colour[0], 255);
    const vector anywhere = {3, -2, 8};
    EXPECT_EQ(light_evaluate(dark, &anywhere, &UP), 0.0f);
    light_destroy(dark);

    light* l = light_create_headlight();
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->type, LIGHT_DIFFUSE);
    EXPECT_EQ(l->colour[0], 255);
    EXPECT_EQ(l->strength, 1.0f);
    const struct {
        vector point, normal;
        float low, high;
    } cases[] = {
        {{0, 0, 0}, {0, 0, -1}, 255.0f, 255.0f},      // facing the eye
        {{0, 0, 0}, {0, 0, 1}, 0.0f, 0.0f},           // facing away
        {{0, 0, 0}, {1, 0, 0}, 0.0f, 0.0f},           // edge-on
        {{0, 0, 0}, {0, 0.8f, -0.6f}, 152.99f, 153.01f},  // 0.6 of the level
        {{300, -200, 500}, {0, 0, -1}, 254.0f, 255.0f},  // a corner of the view
    };
    for (const auto& c : cases) {
        const float level = light_evaluate(l, &c.point, &c.normal);
        EXPECT_GE(level, c.low) << c.normal.x << " " << c.normal.y << " " << c.normal.z;
        EXPECT_LE(level, c.high) << c.normal.x << " " << c.normal.y << " " << c.normal.z;
    }
    l->type = 0;  // the model that lights nothing, by choice
    EXPECT_EQ(light_evaluate(l, &cases[0].point, &cases[0].normal), 0.0f);
    light_destroy(l);
    light_destroy(nullptr);
    EXPECT_STREQ(light_error_string(), "[Light] No error, so far...");
}

TEST(Light, Models) {
    light* l = light_create();
    ASSERT_NE(l, nullptr);
    // Ambient: the level everywhere; bits 0x04 and 0x10 take no part.
    l->type = 8;
    l->colour[0] = 100;
    vector far = {1000, 5, -7};
    EXPECT_EQ(light_evaluate(l, &far, &DOWN), 100.0f);
    l->type = 8 | 0x04 | 0x10;
    EXPECT_EQ(light_evaluate(l, &far, &DOWN), 100.0f);

    // Diffuse: facing the light full level, facing away nothing.
    l->type = 1;
    l->colour[0] = 200;
    l->position = {0, 10, 0};
    EXPECT_FLOAT_EQ(light_evaluate(l, &ORIGIN, &UP), 200.0f);
    EXPECT_EQ(light_evaluate(l, &ORIGIN, &DOWN), 0.0f);
    l->type = 2;
    vector slant = {0.6f, 0.8f, 0};  // d = 0.8
    EXPECT_FLOAT_EQ(light_evaluate(l, &ORIGIN, &slant), 160.0f);

    // Diffuse with inverse-square falloff: 255 * 2 / 4.
    l->type = 0x21;
    l->colour[0] = 255;
    l->strength = 1.0f;
    l->position = {0, 2, 0};
    EXPECT_FLOAT_EQ(light_evaluate(l, &ORIGIN, &UP), 127.5f);
    l->type = 0x22;
    EXPECT_EQ(light_evaluate(l, &ORIGIN, &DOWN), 0.0f);

    // Ambient with 1/distance falloff: 100 * 3 / 6.
    l->type = 0x28;
    l->colour[0] = 100;
    l->strength = 3.0f;
    l->position = {0, 0, 6};
    EXPECT_FLOAT_EQ(light_evaluate(l, &ORIGIN, &UP), 50.0f);
    // At the light's own position no model divides by zero.
    for (int type : {1, 2, 0x21, 0x22, 0x28}) {
        l->type = type;
        EXPECT_EQ(light_evaluate(l, &l->position, &UP), 0.0f) << type;
    }
    // Unknown models give 0.
    for (int type : {3, 9, 0x20, 0x23, 0x29, 0x2B}) {
        l->type = type;
        EXPECT_EQ(light_evaluate(l, &ORIGIN, &UP), 0.0f) << type;
    }
    light_destroy(l);
}
