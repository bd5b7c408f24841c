// Sync tracks: reading tracks at rows against values worked out by hand, key
// editing, the track file's bytes both ways, and bad files refused whole.
#include "engine/sync/sync.h"

#include "engine/memory/gmem.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string temp_base(const char* test)
{
    std::filesystem::path dir = std::filesystem::path(TAVIK_BINARY_DIR) / "sync_test_files";
    std::filesystem::create_directories(dir);
    return (dir / test).string();
}

void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> read_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

SyncTrack* make_track(SyncDevice* device, const char* name, std::vector<SyncKey> keys)
{
    EXPECT_NE(sync_get_track(device, name), nullptr);
    SyncTrack* track = sync_track_at(device, sync_find_track(device, name));
    for (const SyncKey& k : keys) EXPECT_EQ(sync_set_key(track, &k), 1);
    return track;
}

std::vector<int32_t> rows_of(const SyncTrack* t)
{
    std::vector<int32_t> rows;
    for (int32_t i = 0; i < t->count; ++i) rows.push_back(t->keys[i].row);
    return rows;
}

int32_t live_blocks()
{
    GmemStats stats;
    gmem_stats(&stats);
    return stats.blocks;
}

}  // namespace

// Two keys, (10, 2) and (20, 6), the first of each type; edges, one key, no key.
TEST(Sync, ReadsEachInterpolationAsWorkedOutByHand)
{
    struct Case {
        const char* what;
        std::vector<SyncKey> keys;
        double row;
        float expected;
    };
    const std::vector<SyncKey> step = {{10, 2.0f, SYNC_STEP}, {20, 6.0f, SYNC_LINEAR}};
    const std::vector<SyncKey> linear = {{10, 2.0f, SYNC_LINEAR}, {20, 6.0f, SYNC_STEP}};
    const std::vector<SyncKey> smooth = {{10, 2.0f, SYNC_SMOOTH}, {20, 6.0f, SYNC_STEP}};
    const std::vector<SyncKey> ramp = {{10, 2.0f, SYNC_RAMP}, {20, 6.0f, SYNC_STEP}};
    const std::vector<SyncKey> three = {{0, 0.0f, SYNC_RAMP}, {4, 8.0f, SYNC_LINEAR}, {8, 0.0f, SYNC_STEP}};
    const Case cases[] = {
        {"step between", step, 15.0, 2.0f},
        {"step just before the next key", step, 19.99, 2.0f},
        {"linear halfway", linear, 15.0, 4.0f},
        {"linear a quarter", linear, 12.5, 3.0f},
        {"smooth a quarter: 0.15625 of the way", smooth, 12.5, 2.625f},
        {"smooth halfway", smooth, 15.0, 4.0f},
        {"smooth three quarters: 0.84375", smooth, 17.5, 5.375f},
        {"ramp a quarter: 0.0625 of the way", ramp, 12.5, 2.25f},
        {"ramp halfway: 0.25", ramp, 15.0, 3.0f},
        {"exactly on the first key", linear, 10.0, 2.0f},
        {"exactly on the last key", linear, 20.0, 6.0f},
        {"before the first key", linear, 0.0, 2.0f},
        {"a negative row", smooth, -5.5, 2.0f},
        {"after the last key", ramp, 1000.0, 6.0f},
        {"a NaN row reads as before the first key", linear, std::nan(""), 2.0f},
        {"the first segment's own type (ramp)", three, 2.0, 2.0f},
        {"the second segment's own type (linear)", three, 6.0, 4.0f},
        {"the middle key exactly", three, 4.0, 8.0f},
        {"one key, before it", {{4, -3.0f, SYNC_LINEAR}}, 0.0, -3.0f},
        {"one key, on it", {{4, -3.0f, SYNC_LINEAR}}, 4.0, -3.0f},
        {"one key, after it", {{4, -3.0f, SYNC_SMOOTH}}, 99.5, -3.0f},
        {"no key", {}, 7.25, 0.0f},
    };
    for (const Case& c : cases) {
        SyncDevice* device = sync_create("unused");
        ASSERT_NE(device, nullptr);
        const SyncTrack* track = make_track(device, "t", c.keys);
        EXPECT_EQ(sync_get_val(track, c.row), c.expected) << c.what;
        sync_destroy(device);
    }
    EXPECT_EQ(sync_get_val(nullptr, 1.0), 0.0f);
}

TEST(Sync, TracksAreFoundByNameAndKeepTheirPlace)
{
    SyncDevice* device = sync_create("base");
    const SyncTrack* a = sync_get_track(device, "cam:x");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->count, 0);
    // Enough tracks to grow the table: the first keeps its address and index.
    for (int i = 0; i < 40; ++i) sync_get_track(device, ("t" + std::to_string(i)).c_str());
    EXPECT_EQ(sync_get_track(device, "cam:x"), a);
    EXPECT_EQ(sync_find_track(device, "cam:x"), 0);
    EXPECT_EQ(sync_find_track(device, "t39"), 40);
    EXPECT_EQ(sync_find_track(device, "missing"), -1);
    EXPECT_EQ(device->count, 41);
    EXPECT_EQ(sync_track_at(device, 41), nullptr);
    EXPECT_STREQ(sync_error_string(), "[Sync] Bad argument (null device, track, name or key, or a key type other than 0-3)");
    EXPECT_EQ(sync_get_track(nullptr, "x"), nullptr);
    EXPECT_EQ(sync_create(nullptr), nullptr);
    sync_destroy(device);
}

TEST(Sync, KeysStaySortedOnePerRow)
{
    SyncDevice* device = sync_create("base");
    SyncTrack* track = make_track(device, "t", {{5, 1.0f, SYNC_STEP}, {1, 2.0f, SYNC_LINEAR}, {9, 3.0f, SYNC_RAMP}});
    EXPECT_EQ(rows_of(track), (std::vector<int32_t>{1, 5, 9}));

    SyncKey replace = {5, 7.0f, SYNC_SMOOTH};
    EXPECT_EQ(sync_set_key(track, &replace), 1);
    EXPECT_EQ(rows_of(track), (std::vector<int32_t>{1, 5, 9}));
    EXPECT_EQ(track->keys[1].value, 7.0f);
    EXPECT_EQ(track->keys[1].type, SYNC_SMOOTH);

    SyncKey bad_types[] = {{3, 1.0f, 4}, {3, 1.0f, -1}};
    for (const SyncKey& bad : bad_types) EXPECT_EQ(sync_set_key(track, &bad), 0);
    EXPECT_EQ(rows_of(track), (std::vector<int32_t>{1, 5, 9}));

    EXPECT_EQ(sync_del_key(track, 5), 1);
    EXPECT_EQ(rows_of(track), (std::vector<int32_t>{1, 9}));
    EXPECT_EQ(sync_del_key(track, 5), 0);
    EXPECT_EQ(sync_find_key(track, 9), 1);
    EXPECT_EQ(sync_find_key(track, 5), -1);

    // Many keys inserted from the end down: still ascending, each read back.
    for (int32_t r = 300; r >= 100; --r) {
        SyncKey k = {r, static_cast<float>(r), SYNC_LINEAR};
        ASSERT_EQ(sync_set_key(track, &k), 1);
    }
    ASSERT_EQ(track->count, 203);
    for (int32_t i = 1; i < track->count; ++i) ASSERT_LT(track->keys[i - 1].row, track->keys[i].row);
    EXPECT_EQ(sync_get_val(track, 150.5), 150.5f);
    sync_destroy(device);
}

// The bad-type message is checked here apart, as the code resets when read.
TEST(Sync, ABadKeyTypeIsAnArgumentError)
{
    SyncDevice* device = sync_create("base");
    SyncTrack* track = make_track(device, "t", {});
    SyncKey bad = {3, 1.0f, 7};
    EXPECT_EQ(sync_set_key(track, &bad), 0);
    EXPECT_STREQ(sync_error_string(), "[Sync] Bad argument (null device, track, name or key, or a key type other than 0-3)");
    EXPECT_STREQ(sync_error_string(), "[Sync] No error");
    EXPECT_EQ(track->count, 0);
    sync_destroy(device);
}

TEST(Sync, FileNamesFollowTheEditorsConvention)
{
    SyncDevice* device = sync_create("data/sync");
    char path[SYNC_MAX_PATH];
    struct Case {
        const char* name;
        const char* file;
    } cases[] = {
        {"camera.x", "data/sync_camera.x.track"},
        {"cam:x", "data/sync_cam-3Ax.track"},
        {"fx/glow_2", "data/sync_fx/glow_2.track"},
        {"a b#", "data/sync_a-20b-23.track"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(sync_track_path(device, c.name, path, SYNC_MAX_PATH), 1);
        EXPECT_STREQ(path, c.file);
    }
    std::string long_name(SYNC_MAX_PATH, 'x');
    EXPECT_EQ(sync_track_path(device, long_name.c_str(), path, SYNC_MAX_PATH), 0);
    EXPECT_STREQ(sync_error_string(), "[Sync] Track file name too long");
    sync_destroy(device);
}

// A file written by hand as the format defines it: count 3, then (row, value, type).
static const std::vector<uint8_t> known_file = {
    0x03, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F, 0x01,  // row 0, 1.0, linear
    0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0xC0, 0x03,  // row 16, -2.5, ramp
    0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x7F, 0x00,  // row 256, NaN, step
};

TEST(Sync, AFileWrittenByHandLoadsAndSavesByteForByte)
{
    std::string base = temp_base("known");
    SyncDevice* device = sync_create(base.c_str());
    write_bytes(base + "_cam-3Ax.track", known_file);
    SyncTrack* track = make_track(device, "cam:x", {{99, 9.0f, SYNC_STEP}});
    ASSERT_EQ(sync_load_track(device, track), 1) << sync_error_detail();
    ASSERT_EQ(track->count, 3);
    EXPECT_EQ(rows_of(track), (std::vector<int32_t>{0, 16, 256}));
    EXPECT_EQ(track->keys[0].value, 1.0f);
    EXPECT_EQ(track->keys[1].value, -2.5f);
    EXPECT_TRUE(std::isnan(track->keys[2].value));
    EXPECT_EQ(track->keys[0].type, SYNC_LINEAR);
    EXPECT_EQ(track->keys[1].type, SYNC_RAMP);
    EXPECT_EQ(track->keys[2].type, SYNC_STEP);
    EXPECT_EQ(sync_get_val(track, 8.0), -0.75f);

    std::filesystem::remove(base + "_cam-3Ax.track");
    ASSERT_EQ(sync_save_tracks(device), 1) << sync_error_detail();
    EXPECT_EQ(read_bytes(base + "_cam-3Ax.track"), known_file);
    sync_destroy(device);
}

TEST(Sync, SaveThenLoadGivesTheSameKeys)
{
    std::string base = temp_base("round");
    SyncDevice* device = sync_create(base.c_str());
    std::vector<SyncKey> keys;
    for (int32_t i = 0; i < 50; ++i) keys.push_back({i * 3 - 20, std::ldexp(static_cast<float>(i) - 7.3f, i % 9 - 4), i % 4});
    SyncTrack* full = make_track(device, "fx:glow", keys);
    make_track(device, "empty", {});
    ASSERT_EQ(sync_save_tracks(device), 1) << sync_error_detail();

    SyncDevice* again = sync_create(base.c_str());
    SyncTrack* loaded = make_track(again, "fx:glow", {{1000, 1.0f, SYNC_STEP}});
    SyncTrack* empty = make_track(again, "empty", {{1, 1.0f, SYNC_STEP}});
    ASSERT_EQ(sync_load_tracks(again), 1) << sync_error_detail();
    ASSERT_EQ(loaded->count, full->count);
    EXPECT_EQ(std::memcmp(loaded->keys, full->keys, sizeof(SyncKey) * full->count), 0);
    EXPECT_EQ(empty->count, 0);
    sync_destroy(device);
    sync_destroy(again);
}

TEST(Sync, KeysOutOfOrderInAFileAreSortedAndTheLaterOfARowStays)
{
    std::string base = temp_base("order");
    write_bytes(base + "_t.track", {
        0x03, 0x00, 0x00, 0x00,
        0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F, 0x00,  // row 8, 1.0
        0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00,  // row 2, 2.0
        0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x40, 0x00,  // row 8, 3.0
    });
    SyncDevice* device = sync_create(base.c_str());
    SyncTrack* track = make_track(device, "t", {});
    ASSERT_EQ(sync_load_track(device, track), 1);
    EXPECT_EQ(rows_of(track), (std::vector<int32_t>{2, 8}));
    EXPECT_EQ(track->keys[1].value, 3.0f);
    sync_destroy(device);
}

TEST(Sync, BadFilesAreRefusedWithTheTrackAsItWas)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool missing;
        const char* message;
    };
    const char* short_file = "[Sync] Track file shorter than its key count";
    const char* bad_count = "[Sync] Track file key count negative or beyond its data";
    const char* bad_type = "[Sync] Track file key with an interpolation type other than 0-3";
    const Case cases[] = {
        {"no file", {}, true, "[Sync] Unable to open the track file"},
        {"an empty file", {}, false, short_file},
        {"a truncated count", {0x01, 0x00, 0x00}, false, short_file},
        {"one key short of a byte", {0x01, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x80, 0x3F}, false, bad_count},
        {"two keys counted, one there", {0x02, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x80, 0x3F, 0}, false, bad_count},
        {"a huge count", {0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0, 0, 0, 0x80, 0x3F, 0}, false, bad_count},
        {"a negative count", {0xFF, 0xFF, 0xFF, 0xFF}, false, bad_count},
        {"type 4", {0x01, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x80, 0x3F, 4}, false, bad_type},
        {"type 255 after a good key",
         {0x02, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x80, 0x3F, 0, 2, 0, 0, 0, 0, 0, 0x80, 0x3F, 0xFF}, false, bad_type},
    };
    std::string base = temp_base("bad");
    for (const Case& c : cases) {
        std::filesystem::remove(base + "_t.track");
        if (!c.missing) write_bytes(base + "_t.track", c.bytes);
        SyncDevice* device = sync_create(base.c_str());
        SyncTrack* track = make_track(device, "t", {{4, 5.0f, SYNC_LINEAR}, {8, 6.0f, SYNC_STEP}});
        int32_t blocks = live_blocks();
        EXPECT_EQ(sync_load_track(device, track), 0) << c.what;
        EXPECT_STREQ(sync_error_string(), c.message) << c.what;
        EXPECT_NE(std::string(sync_error_detail()).find(base + "_t.track"), std::string::npos) << c.what;
        EXPECT_EQ(live_blocks(), blocks) << c.what << ": a block left over";
        EXPECT_EQ(rows_of(track), (std::vector<int32_t>{4, 8})) << c.what;
        EXPECT_EQ(sync_get_val(track, 6.0), 5.5f) << c.what;
        sync_destroy(device);
    }
}
