// The tests' one Pixmap: a record over test-owned planes (no allocator involved),
// with guard words of a known pattern round the planes that tell whether
// anything outside was written (under the address sanitizer they are poisoned
// too, so any stray read or write is reported at once), pixel access by the
// row table, comparison with a readable message, and PNG output.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/pixmap/pixmap.h"
#include "tools/pngfile/pngfile.h"

#if defined(__SANITIZE_ADDRESS__)
#define TEST_PIXMAP_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TEST_PIXMAP_ASAN 1
#endif
#endif
#ifdef TEST_PIXMAP_ASAN
#include <sanitizer/asan_interface.h>
#endif

// Where the guard words go. `around`: words before and after each plane.
// `gutter`: words between rows, so that the row table is wider than the width
// (for routines that address rows only through the table; a routine that
// computes y * width must be given none). `misalign`: the pixel plane starts
// this many words past a 16-byte boundary.
struct PixmapGuard {
    int32_t around = 16;
    int32_t gutter = 0;
    int32_t misalign = 0;
};

struct TestPixmap {
    static constexpr uint32_t GUARD_PIXEL = 0xA5C3E1F0u;
    static constexpr int32_t GUARD_Z = 0x5A5A5A5A;

    // width x height; PIXMAP_ZBUFFER adds a z plane (at PIXMAP_Z_FAR), PIXMAP_CLEAR
    // makes the pixels opaque black (else 0). The flags are kept in the record.
    TestPixmap(int32_t width, int32_t height, uint32_t flags = 0, PixmapGuard guard = {})
        : guard_(guard), stride_(width + guard.gutter)
    {
        if (flags & ~uint32_t(PIXMAP_ZBUFFER | PIXMAP_CLEAR | PIXMAP_ALPHA))
            ADD_FAILURE() << "TestPixmap: 0x" << std::hex << flags
                          << " is not a set of Pixmap flags (a colour is set by clear())";
        const size_t span = size_t(stride_) * size_t(height) - size_t(guard.gutter);
        // Up to 3 words to reach a 16-byte boundary, then the misalignment.
        pixel_store_.assign(span + 2 * size_t(guard.around) + 3 + size_t(guard.misalign), GUARD_PIXEL);
        const uintptr_t base = reinterpret_cast<uintptr_t>(pixel_store_.data() + guard.around);
        pixel_origin_ = size_t(guard.around) + ((16 - base % 16) % 16) / 4 + size_t(guard.misalign);
        rows_.resize(size_t(height));
        for (int32_t y = 0; y < height; y++) rows_[size_t(y)] = y * stride_;
        pm_ = {width, height, flags, rows_.data(), nullptr, pixel_store_.data() + pixel_origin_, 0};
        if (flags & PIXMAP_ZBUFFER) {
            z_store_.assign(span + 2 * size_t(guard.around), GUARD_Z);
            pm_.zbuffer = z_store_.data() + guard.around;
        }
        clear(flags & PIXMAP_CLEAR ? 0xFF000000u : 0u);
        poison(true);
    }
    ~TestPixmap() { poison(false); }
    TestPixmap(const TestPixmap&) = delete;
    TestPixmap& operator=(const TestPixmap&) = delete;

    Pixmap* get() { return &pm_; }
    const Pixmap* get() const { return &pm_; }
    Pixmap* operator->() { return &pm_; }
    const Pixmap* operator->() const { return &pm_; }

    uint32_t& at(int32_t x, int32_t y) { return pm_.pixels[pm_.rows[y] + x]; }
    uint32_t at(int32_t x, int32_t y) const { return pm_.pixels[pm_.rows[y] + x]; }
    int32_t& z(int32_t x, int32_t y) { return pm_.zbuffer[pm_.rows[y] + x]; }
    int32_t z(int32_t x, int32_t y) const { return pm_.zbuffer[pm_.rows[y] + x]; }

    // The pixels (depths) row by row, without gutters.
    std::vector<uint32_t> plane() const
    {
        std::vector<uint32_t> out;
        out.reserve(size_t(pm_.width) * size_t(pm_.height));
        for (int32_t y = 0; y < pm_.height; y++)
            out.insert(out.end(), pm_.pixels + pm_.rows[y], pm_.pixels + pm_.rows[y] + pm_.width);
        return out;
    }
    std::vector<int32_t> zplane() const
    {
        std::vector<int32_t> out;
        for (int32_t y = 0; y < pm_.height; y++)
            out.insert(out.end(), pm_.zbuffer + pm_.rows[y], pm_.zbuffer + pm_.rows[y] + pm_.width);
        return out;
    }

    // Every pixel to colour, every depth to PIXMAP_Z_FAR.
    void clear(uint32_t colour)
    {
        for (int32_t y = 0; y < pm_.height; y++) {
            std::fill_n(pm_.pixels + pm_.rows[y], pm_.width, colour);
            if (pm_.zbuffer) std::fill_n(pm_.zbuffer + pm_.rows[y], pm_.width, PIXMAP_Z_FAR);
        }
    }
    void randomise(std::mt19937& rng)
    {
        for (int32_t y = 0; y < pm_.height; y++)
            for (int32_t x = 0; x < pm_.width; x++) at(x, y) = rng();
    }
    // Pixels that differ from colour.
    int count_not(uint32_t colour) const
    {
        int n = 0;
        for (int32_t y = 0; y < pm_.height; y++)
            for (int32_t x = 0; x < pm_.width; x++) n += at(x, y) != colour;
        return n;
    }

    // Whether every guard word still holds its pattern.
    bool guard_intact()
    {
        poison(false);
        bool intact = true;
        for (size_t i = 0; i < pixel_store_.size(); i++)
            if (!inside(i, pixel_origin_) && pixel_store_[i] != GUARD_PIXEL) intact = false;
        for (size_t i = 0; i < z_store_.size(); i++)
            if (!inside(i, size_t(guard_.around)) && z_store_[i] != GUARD_Z) intact = false;
        poison(true);
        return intact;
    }

private:
    bool inside(size_t index, size_t origin) const
    {
        if (index < origin) return false;
        const size_t offset = index - origin;
        return offset / size_t(stride_) < size_t(pm_.height) && int32_t(offset % size_t(stride_)) < pm_.width;
    }
    void poison(bool on)
    {
#ifdef TEST_PIXMAP_ASAN
        auto mark = [on](const void* from, const void* to) {
            if (to <= from) return;
            const size_t bytes = size_t(static_cast<const char*>(to) - static_cast<const char*>(from));
            if (on) ASAN_POISON_MEMORY_REGION(from, bytes);
            else ASAN_UNPOISON_MEMORY_REGION(from, bytes);
        };
        auto plane = [&](const auto& store, const auto* first) {
            if (store.empty()) return;
            const auto* end = store.data() + store.size();
            mark(store.data(), first);
            for (int32_t y = 0; y + 1 < pm_.height; y++)
                mark(first + rows_[size_t(y)] + pm_.width, first + rows_[size_t(y) + 1]);
            mark(first + size_t(stride_) * size_t(pm_.height) - size_t(guard_.gutter), end);
        };
        plane(pixel_store_, pm_.pixels);
        plane(z_store_, pm_.zbuffer);
#else
        (void)on;
#endif
    }

    PixmapGuard guard_;
    int32_t stride_;
    size_t pixel_origin_ = 0;
    std::vector<uint32_t> pixel_store_;
    std::vector<int32_t> z_store_;
    std::vector<int32_t> rows_;
    Pixmap pm_{};
};

// Writes a Pixmap as an 8-bit RGB PNG (alpha dropped); false on failure.
inline bool write_png(const std::string& path, const Pixmap* p)
{
    std::vector<uint8_t> rgb(size_t(p->width) * size_t(p->height) * 3);
    pngfile_rgb_from_rgba(p->pixels, p->rows, p->width, p->height, rgb.data());
    return pngfile_write_rgb(path, p->width, p->height, rgb.data());
}

// The folder under the build folder where tests leave pictures.
inline std::string test_output_dir()
{
    const std::string dir = std::string(TAVIK_BINARY_DIR) + "/test_output";
    std::filesystem::create_directories(dir);
    return dir;
}

// Success when both Pixmaps have the same size and pixels; otherwise how many
// pixels differ and the first, and both pictures are left in test_output/ as
// <test>-got.png and <test>-want.png.
inline testing::AssertionResult same_pixels(const Pixmap* got, const Pixmap* want)
{
    if (got->width != want->width || got->height != want->height)
        return testing::AssertionFailure() << "size " << got->width << " x " << got->height << ", want "
                                           << want->width << " x " << want->height;
    int64_t differ = 0;
    int32_t fx = 0, fy = 0;
    for (int32_t y = 0; y < got->height; y++)
        for (int32_t x = 0; x < got->width; x++)
            if (got->pixels[got->rows[y] + x] != want->pixels[want->rows[y] + x] && differ++ == 0) fx = x, fy = y;
    if (differ == 0) return testing::AssertionSuccess();
    std::string name = "picture";
    if (const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info())
        name = std::string(info->test_suite_name()) + "." + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    const std::string base = test_output_dir() + "/" + name;
    write_png(base + "-got.png", got);
    write_png(base + "-want.png", want);
    std::ostringstream first;
    first << std::hex << "0x" << got->pixels[got->rows[fy] + fx] << ", want 0x" << want->pixels[want->rows[fy] + fx];
    return testing::AssertionFailure() << differ << " of " << int64_t(got->width) * got->height
                                       << " pixels differ, the first at (" << fx << ", " << fy << "): " << first.str()
                                       << " (pictures in " << base << "-got.png / -want.png)";
}

// Owns a Pixmap that the engine made (pixmap_create, the image loaders).
struct PixmapDestroy {
    void operator()(Pixmap* p) const { pixmap_destroy(p); }
};
using PixmapPtr = std::unique_ptr<Pixmap, PixmapDestroy>;
