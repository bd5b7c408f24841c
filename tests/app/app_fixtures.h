// Test fixtures for the demo's effects: a temporary working directory holding
// small generated textures and pictures under the names the effects load.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/image/jpeg.h"
#include "engine/pixmap/pixmap.h"

namespace app_fixtures {

// A shiny-ball environment map: bright in the middle, dark at the rim.
inline Pixmap* make_envmap(uint32_t tint) {
    Pixmap* p = pixmap_create(256, 256, 0);
    for (int v = 0; v < 256; v++)
        for (int u = 0; u < 256; u++) {
            const float dx = (u - 128) / 128.0f, dy = (v - 128) / 128.0f;
            float l = 1.0f - std::sqrt(dx * dx + dy * dy);
            if (l < 0) l = 0;
            const uint32_t c = uint32_t(40 + 215 * l * l);
            p->pixels[v * 256 + u] = 0xFF000000u | (c * (tint & 255) / 255) | (c * ((tint >> 8) & 255) / 255) << 8 |
                                     (c * ((tint >> 16) & 255) / 255) << 16;
        }
    return p;
}

inline Pixmap* make_flat(int w, int h, uint32_t colour) {
    Pixmap* p = pixmap_create(w, h, 0);
    for (int i = 0; i < w * h; i++) p->pixels[i] = colour;
    return p;
}

inline void save_jpeg(const char* name, Pixmap* p) {
    ASSERT_EQ(jpeg_save_pixmap(name, p, 95), 1) << name;
    pixmap_destroy(p);
}

// An 8-bit, run-length coded PCX (version 5) of a grey ramp, 256 x 256.
inline void save_pcx(const char* name) {
    FILE* f = std::fopen(name, "wb");
    ASSERT_NE(f, nullptr);
    uint8_t header[128] = {};
    header[0] = 0x0A, header[1] = 5, header[2] = 1, header[3] = 8;
    header[8] = 255, header[10] = 255;         // xmax, ymax
    header[65] = 1, header[66] = 0, header[67] = 1;  // one plane, 256 bytes per line
    std::fwrite(header, 1, 128, f);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            const uint8_t b = uint8_t((x + y) / 2);
            const uint8_t run[2] = {0xC1, b};
            std::fwrite(run, 1, 2, f);
        }
    std::fputc(0x0C, f);
    for (int i = 0; i < 256; i++) {
        const uint8_t rgb[3] = {uint8_t(i), uint8_t(i), uint8_t(i)};
        std::fwrite(rgb, 1, 3, f);
    }
    std::fclose(f);
}

// Makes a temporary directory with every texture the effects load, and makes
// it the working directory until destroyed. Credits are plain white.
struct EffectData {
    std::string old_dir;
    std::string dir;
    EffectData() {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd)) old_dir = cwd;
        char tmpl[] = "/tmp/wendril_fx_XXXXXX";
        dir = mkdtemp(tmpl);
        if (chdir(dir.c_str()) != 0) ADD_FAILURE() << "chdir " << dir;
        mkdir("data", 0755);
        mkdir("data/hairy", 0755);
        mkdir("data/knot", 0755);
        save_jpeg("envmap.jpg", make_envmap(0xFFFFFF));
        save_jpeg("bl\xE5.jpg", make_envmap(0xFF8080));
        save_jpeg("r\xF6" "d.jpg", make_envmap(0x4080FF));
        save_jpeg("data/hairy/envmap01.jpg", make_envmap(0x40FFFF));
        save_pcx("data/hairy/envmap03.pcx");
        save_jpeg("data/knot/img.jpg", make_flat(320, 240, 0xFF000000u));
        const char* credits[] = {"music", "warnip", "coding", "hoskel", "dunraf", "selvin", "mobrek"};
        for (const char* c : credits)
            save_jpeg(("data/knot/" + std::string(c) + ".jpg").c_str(), make_flat(160, 32, 0xFFFFFFFFu));
    }
    ~EffectData() {
        if (!old_dir.empty() && chdir(old_dir.c_str()) != 0) ADD_FAILURE() << "chdir back";
        std::system(("rm -rf " + dir).c_str());
    }
};

}  // namespace app_fixtures
