// Tests of GIO and the file device: opening and its messages, byte order of the
// typed readers and writers, item counts, positions, both whole-file paths (the
// growing one through a device that cannot tell sizes) and Latin-1 file names.
#include "engine/io/gio.h"
#include "engine/io/device.h"
#include "engine/memory/gmem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A scratch folder per test process, removed at the end.
class GioFiles : public testing::Test {
protected:
    fs::path dir;
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("tavik-gio-" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }
    void put(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        std::ofstream out(path(name), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::vector<uint8_t> get(const std::string& name) const
    {
        std::ifstream in(path(name), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
};

// A device over a memory buffer that, like a pipe, cannot tell its size and
// hands out at most 700 bytes per read. It opens only names beginning "mem:".
struct MemoryFile {
    std::vector<uint8_t> data;
    size_t at = 0;
} memory_file;

GioStream* memory_open(const char* name, const char*, int32_t)
{
    if (std::strncmp(name, "mem:", 4) != 0) return nullptr;
    GioStream* s = static_cast<GioStream*>(gmem_alloc(sizeof(GioStream)));
    if (s) memory_file.at = 0;
    return s;
}
int32_t memory_close(GioStream* s)
{
    gmem_free(s);
    return 1;
}
int32_t memory_read(GioStream*, void* buffer, int32_t bytes)
{
    size_t n = std::min({size_t(bytes), size_t(700), memory_file.data.size() - memory_file.at});
    std::memcpy(buffer, memory_file.data.data() + memory_file.at, n);
    memory_file.at += n;
    return int32_t(n);
}
int32_t memory_write(GioStream*, const void*, int32_t) { return 0; }
intptr_t memory_control(GioStream*, intptr_t command)
{
    if (command == GIO_CTL_SIZE) return 0;      // cannot tell
    if (command == GIO_CTL_SETPOS) return -1;   // cannot be positioned
    return command;
}
int32_t memory_extra(int32_t value) { return value * 2; }

const GioDevice memory_device = {"memory", "tests", "1", 0, 0, memory_open, memory_close, memory_read,
                                 memory_write, memory_control, memory_extra, memory_extra, memory_extra};

int live_bytes()
{
    GmemStats s;
    gmem_stats(&s);
    return s.bytes;
}

}  // namespace

TEST_F(GioFiles, MissingFileAndNullArguments)
{
    EXPECT_EQ(gio_open(path("missing.bin").c_str(), "rb"), nullptr);
    EXPECT_STREQ(gio_error_string(), "[GIO] Unable to open file");
    EXPECT_STREQ(gio_error_string(), "[GIO] Unable to open file");  // reading does not reset it
    EXPECT_EQ(gio_read_file(path("missing.bin").c_str(), nullptr), nullptr);
    EXPECT_EQ(gio_exists(path("missing.bin").c_str()), 0);

    // A folder is not a file, on any system.
    EXPECT_EQ(gio_open(dir.string().c_str(), "rb"), nullptr);
    EXPECT_EQ(gio_exists(dir.string().c_str()), 0);
    EXPECT_EQ(gio_read_file(dir.string().c_str(), nullptr), nullptr);

    EXPECT_EQ(gio_open(nullptr, "rb"), nullptr);
    EXPECT_EQ(gio_close(nullptr), 0);
    EXPECT_EQ(gio_tell(nullptr), -1);
    EXPECT_EQ(gio_seek(nullptr, 0, 0), -1);
    EXPECT_EQ(gio_set_position(nullptr, 0), 0);
    EXPECT_EQ(gio_set_flags(nullptr, GIO_FLAG_SWAP), 0);
    EXPECT_EQ(gio_read_u32(nullptr), 0u);
}

TEST_F(GioFiles, OpenFillsTheStreamRecord)
{
    put("ten.bin", std::vector<uint8_t>(10, 7));
    EXPECT_EQ(gio_exists(path("ten.bin").c_str()), 1);
    GioStream* s = gio_open(path("ten.bin").c_str(), "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->size, 10);
    EXPECT_EQ(s->flags, 0u);
    EXPECT_EQ(s->device, &stdio_device);
    EXPECT_STREQ(stdio_device.name, "stdio_device");
    EXPECT_STREQ(stdio_device.version, "Version 0.01b");
    EXPECT_EQ(gio_close(s), 1);
}

TEST_F(GioFiles, ByteOrderOfTypedReaders)
{
    put("order.bin", {0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF});
    for (bool swap : {false, true}) {
        GioStream* s = gio_open(path("order.bin").c_str(), "rb");
        ASSERT_NE(s, nullptr);
        if (swap) {
            EXPECT_EQ(gio_set_flags(s, GIO_FLAG_SWAP), 1);
        }
        EXPECT_EQ(gio_read_u16(s), swap ? 0x3412 : 0x1234);
        EXPECT_EQ(gio_read_u32(s), swap ? 0x78563412u : 0x12345678u);
        EXPECT_EQ(gio_read_u8(s), 0xFF);
        EXPECT_EQ(gio_read_s8(s), -2);
        EXPECT_EQ(gio_read_s32(s), 0);  // three bytes left: not a whole value
        gio_close(s);
    }
    put("neg.bin", {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE});
    GioStream* s = gio_open(path("neg.bin").c_str(), "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(gio_read_s32(s), -2);
    gio_set_flags(s, GIO_FLAG_SWAP);
    EXPECT_EQ(gio_read_s32(s), -2);
    gio_close(s);
}

TEST_F(GioFiles, TypedWritersRoundTripAndReverseUnderTheFlag)
{
    for (bool swap : {false, true}) {
        GioStream* w = gio_open(path("typed.bin").c_str(), "wb");
        ASSERT_NE(w, nullptr);
        if (swap) gio_set_flags(w, GIO_FLAG_SWAP);
        EXPECT_EQ(gio_write_u8(w, 0x1AB), 1);  // the low byte
        EXPECT_EQ(gio_write_s8(w, -3), 1);
        EXPECT_EQ(gio_write_u16(w, 0xBEEF), 1);
        EXPECT_EQ(gio_write_u32(w, 0x01020304u), 1);
        EXPECT_EQ(gio_write_s32(w, -123456), 1);
        EXPECT_EQ(gio_write_f32(w, -1.5f), 1);
        gio_close(w);

        std::vector<uint8_t> bytes = get("typed.bin");
        ASSERT_EQ(bytes.size(), 16u);
        EXPECT_EQ(bytes[0], 0xAB);
        EXPECT_EQ(bytes[1], 0xFD);
        std::vector<uint8_t> u16 = swap ? std::vector<uint8_t>{0xBE, 0xEF} : std::vector<uint8_t>{0xEF, 0xBE};
        std::vector<uint8_t> u32 = swap ? std::vector<uint8_t>{1, 2, 3, 4} : std::vector<uint8_t>{4, 3, 2, 1};
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 2, bytes.begin() + 4), u16);
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 4, bytes.begin() + 8), u32);

        GioStream* r = gio_open(path("typed.bin").c_str(), "rb");
        ASSERT_NE(r, nullptr);
        if (swap) gio_set_flags(r, GIO_FLAG_SWAP);
        EXPECT_EQ(gio_read_u8(r), 0xAB);
        EXPECT_EQ(gio_read_s8(r), -3);
        EXPECT_EQ(gio_read_u16(r), 0xBEEF);
        EXPECT_EQ(gio_read_u32(r), 0x01020304u);
        EXPECT_EQ(gio_read_s32(r), -123456);
        EXPECT_EQ(gio_read_f32(r), -1.5f);
        gio_close(r);
    }
}

TEST_F(GioFiles, ItemCountsAndReadersAtTheEnd)
{
    std::vector<uint8_t> ten = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    put("ten.bin", ten);
    GioStream* s = gio_open(path("ten.bin").c_str(), "rb");
    ASSERT_NE(s, nullptr);
    uint8_t buffer[12] = {};
    EXPECT_EQ(gio_read(buffer, 4, 3, s), 2);  // all 10 bytes read, 2 whole items
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 10), ten);
    EXPECT_EQ(gio_tell(s), 10);
    EXPECT_EQ(gio_read_u8(s), 0);
    EXPECT_EQ(gio_read_s8(s), 0);
    EXPECT_EQ(gio_read_u16(s), 0);
    EXPECT_EQ(gio_read_u32(s), 0u);
    EXPECT_EQ(gio_read_s32(s), 0);
    EXPECT_EQ(gio_read_f32(s), 0.0f);
    EXPECT_EQ(gio_eof(s), 1);
    gio_close(s);

    s = gio_open(path("out.bin").c_str(), "wb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(gio_write(ten.data(), 5, 2, s), 2);
    EXPECT_EQ(gio_write(ten.data(), 3, 0, s), 0);
    gio_close(s);
    EXPECT_EQ(get("out.bin"), ten);
}

TEST_F(GioFiles, PositionsAreByteOffsets)
{
    std::vector<uint8_t> bytes(100);
    for (int i = 0; i < 100; ++i) bytes[i] = uint8_t(i);
    put("hundred.bin", bytes);
    GioStream* s = gio_open(path("hundred.bin").c_str(), "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(gio_set_position(s, 42), 1);
    EXPECT_EQ(gio_read_u8(s), 42);
    EXPECT_EQ(gio_tell(s), 43);
    EXPECT_EQ(gio_seek(s, -3, 1), 1);
    EXPECT_EQ(gio_read_u8(s), 40);
    EXPECT_EQ(gio_seek(s, -1, 2), 1);
    EXPECT_EQ(gio_read_u8(s), 99);
    EXPECT_EQ(gio_eof(s), 0);
    gio_read_u8(s);
    EXPECT_EQ(gio_eof(s), 1);
    EXPECT_EQ(gio_seek(s, 7, 0), 1);
    EXPECT_EQ(gio_eof(s), 0);  // a seek clears the end-of-file state
    EXPECT_EQ(gio_read_u8(s), 7);
    EXPECT_EQ(gio_seek(s, 2, 12345), 1);  // any other whence: from the start
    EXPECT_EQ(gio_read_u8(s), 2);

    // The device protocol underneath: a two-step command returns itself, and
    // the next control call is its argument.
    EXPECT_EQ(stdio_device.control(s, GIO_CTL_SEEK_SET), GIO_CTL_SEEK_SET);
    EXPECT_EQ(stdio_device.control(s, 90), 0);
    EXPECT_EQ(stdio_device.control(s, GIO_CTL_TELL), 90);
    EXPECT_EQ(stdio_device.control(s, GIO_CTL_SIZE), 100);
    EXPECT_EQ(stdio_device.control(s, GIO_CTL_TELL), 90);  // the size query restores the position
    EXPECT_EQ(stdio_device.control(s, 0x4242), 0x4242);
    EXPECT_EQ(stdio_device.control(s, GIO_CTL_SET_NATIVE), reinterpret_cast<intptr_t>(s));
    EXPECT_EQ(s->flags & GIO_FLAG_NATIVE, GIO_FLAG_NATIVE);
    EXPECT_EQ(gio_set_flags(s, GIO_CTL_SET_SWAP), 1);  // another value goes to control
    EXPECT_EQ(s->flags & GIO_FLAG_SWAP, GIO_FLAG_SWAP);
    gio_close(s);
}

TEST_F(GioFiles, WholeFileKnownSize)
{
    std::vector<uint8_t> bytes(3000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 + 1);
    EXPECT_EQ(gio_write_file(path("whole.bin").c_str(), bytes.data(), 3000), 1);
    EXPECT_EQ(get("whole.bin"), bytes);

    int32_t size = -1;
    int before = live_bytes();
    uint8_t* block = static_cast<uint8_t*>(gio_read_file(path("whole.bin").c_str(), &size));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, 3000);
    EXPECT_EQ(live_bytes() - before, 3001 + 16);  // one block of n + 1 bytes, stream released
    EXPECT_EQ(std::vector<uint8_t>(block, block + 3000), bytes);
    EXPECT_EQ(block[3000], 0);
    EXPECT_EQ(gmem_free(block), 1);

    EXPECT_EQ(gio_write_file(path("no/such/dir/x.bin").c_str(), bytes.data(), 10), 0);
}

TEST_F(GioFiles, WholeFileEmptyTakesTheGrowingPath)
{
    put("empty.bin", {});
    int32_t size = -1;
    int before = live_bytes();
    void* block = gio_read_file(path("empty.bin").c_str(), &size);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(live_bytes() - before, 1024 + 16);
    EXPECT_EQ(gmem_free(block), 1);
}

TEST_F(GioFiles, WholeFileGrowingPathOnTheFileDevice)
{
    // Files of the process file system report no size: the growing path reads them.
    const char* name = "/proc/self/maps";
    ASSERT_TRUE(fs::exists(name)) << "no /proc (the tests run on Linux)";
    int32_t size = -1;
    char* block = static_cast<char*>(gio_read_file(name, &size));
    ASSERT_NE(block, nullptr);
    EXPECT_GT(size, 1024);  // more than the first block: it had to grow
    EXPECT_NE(std::string(block, size_t(size)).find("gio_test"), std::string::npos);
    gmem_free(block);
}

TEST_F(GioFiles, WholeFileGrowingPathOnADeviceWithoutSizes)
{
    ASSERT_EQ(device_register(&memory_device), &memory_device);
    ASSERT_EQ(device_add(&memory_device), 1);
    ASSERT_EQ(device_current(), &memory_device);

    memory_file.data.resize(5000);
    for (size_t i = 0; i < 5000; ++i) memory_file.data[i] = uint8_t(i % 251);
    int32_t size = -1;
    uint8_t* block = static_cast<uint8_t*>(gio_read_file("mem:data", &size));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, 5000);
    EXPECT_EQ(std::vector<uint8_t>(block, block + 5000), memory_file.data);
    gmem_free(block);

    // A name the current device refuses is tried on the search list; the
    // current device stays current afterwards.
    put("plain.bin", {1, 2, 3});
    GioStream* s = gio_open(path("plain.bin").c_str(), "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->device, &stdio_device);
    EXPECT_EQ(device_current(), &memory_device);
    gio_close(s);
    s = gio_open("mem:x", "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->device, &memory_device);
    EXPECT_EQ(s->flags, 0u);
    EXPECT_EQ(gio_set_position(s, 3), 0);  // the device refused the command
    EXPECT_STREQ(gio_error_string(), "[GIO] File not open");
    gio_close(s);

    EXPECT_EQ(device_remove(&memory_device), 1);
    device_first();
    EXPECT_EQ(gio_open("mem:x", "rb"), nullptr);
}

TEST_F(GioFiles, Latin1NameFindsItsUtf8File)
{
    // "r\xF6d.bin" in Latin-1; the file on disk carries the UTF-8 form.
    put("r\xC3\xB6" "d.bin", {9, 8, 7});
    std::string latin1 = path("r\xF6" "d.bin");
    EXPECT_EQ(gio_exists(latin1.c_str()), 1);
    int32_t size = 0;
    uint8_t* block = static_cast<uint8_t*>(gio_read_file(latin1.c_str(), &size));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, 3);
    EXPECT_EQ(block[0], 9);
    gmem_free(block);
    // The UTF-8 name itself works as given, and a file stored under the Latin-1
    // bytes is found first.
    EXPECT_EQ(gio_exists(path("r\xC3\xB6" "d.bin").c_str()), 1);
    put("r\xF6" "d.bin", {1});
    GioStream* s = gio_open(latin1.c_str(), "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(gio_read_u8(s), 1);
    gio_close(s);
}
