// The tube scene drawn by Mesa's off-screen software OpenGL: the same vertices,
// triangles, per-vertex texture coordinates, 256 x 256 texture, projection and
// per-frame clear of colour and depth as tube_scene_draw, for timing our
// rasterizer beside llvmpipe and for checking that both cover the same pixels.
#pragma once

#include <GL/osmesa.h>

#include <cstdint>
#include <vector>

#include "bench/tube_scene.h"

struct OsmesaTube {
    OSMesaContext context;
    int width, height;
    std::vector<uint8_t> colour;  // RGBA, the context's colour buffer
    GLuint texture;
    std::vector<float> xyz, st;   // the triangles as GL_TRIANGLES arrays
};

// Eye-space position of a view-space point: the view looks along +z from
// z = -perspective; GL looks along -z from the origin.
inline void osmesa_tube_vertex(OsmesaTube* o, const vector& p, float u, float v) {
    o->xyz.push_back(p.x);
    o->xyz.push_back(p.y);
    o->xyz.push_back(-(p.z + 400.0f));
    o->st.push_back(u / 256.0f);
    o->st.push_back(v / 256.0f);
}

// Copies the scene's current triangles (after tube_scene_build) in the order
// and winding tube_scene_draw submits them.
inline void osmesa_tube_load(OsmesaTube* o, TubeScene* s) {
    o->xyz.clear();
    o->st.clear();
    for (int i = 0; i < TUBE_SEGMENTS; i++) {
        for (int j = 0; j < TUBE_SIDES; j++) {
            const int tri[2][3][2] = {{{i, j}, {i, j + 1}, {i + 1, j + 1}}, {{i, j}, {i + 1, j + 1}, {i + 1, j}}};
            for (const auto& t : tri) {
                tube_scene_triangle(s, t);
                for (int k = 0; k < 3; k++)
                    osmesa_tube_vertex(o, s->poly->vertex[k], s->poly->uv[2 * k], s->poly->uv[2 * k + 1]);
            }
        }
    }
}

inline void osmesa_tube_destroy(OsmesaTube* o) {
    if (!o) return;
    if (o->context) OSMesaDestroyContext(o->context);
    delete o;
}

// A context of width x height drawing the scene's texture with the scene's
// projection; null when OSMesa cannot make one. llvmpipe reads LP_NUM_THREADS
// when its screen is made, the first time in a process.
inline OsmesaTube* osmesa_tube_create(TubeScene* s) {
    OsmesaTube* o = new OsmesaTube{};
    o->width = s->screen->width;
    o->height = s->screen->height;
    o->colour.resize((size_t)o->width * o->height * 4);
    o->context = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    if (!o->context || !OSMesaMakeCurrent(o->context, o->colour.data(), GL_UNSIGNED_BYTE, o->width, o->height)) {
        osmesa_tube_destroy(o);
        return nullptr;
    }
    glViewport(0, 0, o->width, o->height);
    // The view's projection: screen x = w/2 + x * (w / 320 * 400) / (z + 400),
    // so x_ndc = x * 2.5 / depth and y_ndc = y * (400 / 120) / depth.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-0.4, 0.4, -0.3, 0.3, 1.0, 10000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    // The front faces are the ones wound clockwise as seen, as GL sees them too.
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CW);
    glCullFace(GL_BACK);
    glGenTextures(1, &o->texture);
    glBindTexture(GL_TEXTURE_2D, o->texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    // Our pixels are bytes R, G, B, A in memory.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 256, 256, 0, GL_RGBA, GL_UNSIGNED_BYTE, s->texture->pixels);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glClearColor(0x08 / 255.0f, 0x10 / 255.0f, 0x20 / 255.0f, 1.0f);  // 0xFF201008
    glClearDepth(1.0);
    osmesa_tube_load(o, s);
    return o;
}

// One frame: clear colour and depth, the 1000 triangles, and wait until drawn.
inline void osmesa_tube_frame(OsmesaTube* o) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glVertexPointer(3, GL_FLOAT, 0, o->xyz.data());
    glTexCoordPointer(2, GL_FLOAT, 0, o->st.data());
    glDrawArrays(GL_TRIANGLES, 0, (GLsizei)(o->xyz.size() / 3));
    glFinish();
}

// Pixels that received a depth in the last frame.
inline int64_t osmesa_tube_covered(OsmesaTube* o) {
    std::vector<float> depth((size_t)o->width * o->height);
    glReadPixels(0, 0, o->width, o->height, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    int64_t n = 0;
    for (float d : depth) n += d < 1.0f;
    return n;
}

inline const char* osmesa_tube_renderer() { return (const char*)glGetString(GL_RENDERER); }
