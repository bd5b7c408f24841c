// Fuzz target for GIO: the input chooses a file's bytes and a script of stream
// operations (typed reads with and without byte reversal, item reads, seeks,
// set-position, end-of-file tests) and both whole-file paths. A model of the
// file checks every value read; a mismatch, crash, overrun or leak is a finding.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <vector>

#include "engine/io/device.h"
#include "engine/io/gio.h"
#include "fuzz/fuzz_file.h"

namespace {

// A device that cannot tell a file's size and hands its bytes out in chunks of
// the input's choosing: the whole-file reader's growing path.
struct MemoryFile {
    std::vector<uint8_t> bytes;
    std::vector<int32_t> chunks;  // largest read each call may return, cycled
};
MemoryFile memory_file;
const char MEMORY_NAME[] = "memory:fuzz";

GioStream* memory_open(const char* name, const char*, int32_t)
{
    if (std::strcmp(name, MEMORY_NAME) != 0) return nullptr;
    GioStream* s = static_cast<GioStream*>(gmem_alloc(sizeof(GioStream)));
    if (!s) return nullptr;
    std::memset(s, 0, sizeof *s);
    s->unused = 0;  // read position
    s->zero = 0;    // chunk index
    return s;
}

int32_t memory_close(GioStream* s)
{
    gmem_free(s);
    return 1;
}

int32_t memory_read(GioStream* s, void* buffer, int32_t bytes)
{
    if (bytes <= 0) return 0;
    const int32_t left = static_cast<int32_t>(memory_file.bytes.size()) - s->unused;
    int32_t n = bytes < left ? bytes : left;
    if (!memory_file.chunks.empty()) {
        const int32_t chunk = memory_file.chunks[static_cast<size_t>(s->zero++) % memory_file.chunks.size()];
        if (chunk < n) n = chunk;
    }
    if (n <= 0) return 0;
    std::memcpy(buffer, memory_file.bytes.data() + s->unused, static_cast<size_t>(n));
    s->unused += n;
    return n;
}

int32_t memory_write(GioStream*, const void*, int32_t) { return 0; }
intptr_t memory_control(GioStream*, intptr_t command) { return command == GIO_CTL_SIZE ? 0 : command; }
int32_t memory_extra(int32_t) { return 1; }

const GioDevice memory_device = {
    "memory_device", "fuzz", "1", 0, 0, memory_open, memory_close, memory_read, memory_write,
    memory_control, memory_extra, memory_extra, memory_extra,
};

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "GIO model mismatch: %s\n", what);
        std::abort();
    }
}

// The file as the stream should see it: position and byte order.
struct Model {
    const std::vector<uint8_t>& bytes;
    int64_t pos = 0;
    bool swap = false;
    // The next n bytes as one little-endian (or reversed) value; 0 unless all are there.
    uint32_t take(int n)
    {
        if (pos + n > static_cast<int64_t>(bytes.size())) {
            // A short read moves to the end: fread consumed what there was.
            if (pos < static_cast<int64_t>(bytes.size())) pos = static_cast<int64_t>(bytes.size());
            return 0;
        }
        uint32_t v = 0;
        for (int i = 0; i < n; i++) v |= static_cast<uint32_t>(bytes[pos + i]) << (8 * (swap ? n - 1 - i : i));
        pos += n;
        return v;
    }
};

void check_whole_file(const std::vector<uint8_t>& bytes, const char* path)
{
    int32_t size = -1;
    uint8_t* block = static_cast<uint8_t*>(gio_read_file(path, &size));
    check(block != nullptr, "whole-file read of a file that exists");
    check(size == static_cast<int32_t>(bytes.size()), "whole-file size");
    if (!bytes.empty()) {
        check(std::memcmp(block, bytes.data(), bytes.size()) == 0, "whole-file bytes");
        check(block[bytes.size()] == 0, "known-size block ends in a zero");
    }
    gmem_free(block);
}

void check_growing(const std::vector<uint8_t>& bytes, FuzzedDataProvider& in)
{
    memory_file.bytes = bytes;
    memory_file.chunks.clear();
    const int n = in.ConsumeIntegralInRange<int>(0, 4);
    for (int i = 0; i < n; i++) memory_file.chunks.push_back(in.ConsumeIntegralInRange<int32_t>(1, 3000));
    device_select(&memory_device);
    int32_t size = -1;
    uint8_t* block = static_cast<uint8_t*>(gio_read_file(MEMORY_NAME, &size));
    device_select(nullptr);
    check(block != nullptr, "growing read");
    // Short chunks do not end the read early: only a read that returns nothing does.
    check(size == static_cast<int32_t>(bytes.size()), "growing size");
    check(bytes.empty() || std::memcmp(block, bytes.data(), bytes.size()) == 0, "growing bytes");
    gmem_free(block);
}

void run_script(const std::vector<uint8_t>& bytes, const char* path, FuzzedDataProvider& in)
{
    GioStream* s = gio_open(path, "rb");
    check(s != nullptr, "open a file that exists");
    check(s->flags == 0 && s->size == static_cast<int32_t>(bytes.size()), "fresh stream");
    Model m{bytes};
    const int64_t end = static_cast<int64_t>(bytes.size());
    for (int step = 0; step < 64 && in.remaining_bytes() > 0; step++) {
        switch (in.ConsumeIntegralInRange<int>(0, 11)) {
        case 0: check(gio_read_u8(s) == static_cast<int32_t>(m.take(1)), "u8"); break;
        case 1: check(gio_read_s8(s) == static_cast<int8_t>(m.take(1)), "s8"); break;
        case 2: check(gio_read_u16(s) == static_cast<int32_t>(m.take(2)), "u16"); break;
        case 3: check(gio_read_u32(s) == m.take(4), "u32"); break;
        case 4: check(gio_read_s32(s) == static_cast<int32_t>(m.take(4)), "s32"); break;
        case 5: {
            const uint32_t want = m.take(4);
            const float f = gio_read_f32(s);
            uint32_t got;
            std::memcpy(&got, &f, 4);
            check(got == want, "f32 bits");
            break;
        }
        case 6: {
            const int32_t item = in.ConsumeIntegralInRange<int32_t>(1, 8);
            const int32_t count = in.ConsumeIntegralInRange<int32_t>(0, 300);
            std::vector<uint8_t> buffer(static_cast<size_t>(item) * static_cast<size_t>(count) + 1);
            const int64_t avail = m.pos < end ? end - m.pos : 0;
            const int64_t want_bytes = std::min<int64_t>(avail, int64_t(item) * count);
            const int32_t got = gio_read(buffer.data(), item, count, s);
            check(got == want_bytes / item, "whole items read");
            check(want_bytes == 0 || std::memcmp(buffer.data(), bytes.data() + m.pos, want_bytes) == 0, "item bytes");
            m.pos += want_bytes;
            break;
        }
        case 7: {
            const int whence = in.ConsumeIntegralInRange<int>(0, 3);
            const int32_t offset = in.ConsumeIntegralInRange<int32_t>(-2 * int32_t(end) - 8, 2 * int32_t(end) + 8);
            const int64_t base = whence == 1 ? m.pos : whence == 2 ? end : 0;
            check(gio_seek(s, offset, whence) == 1, "seek result");
            // A seek before the start fails and leaves the position; past the end is allowed.
            if (base + offset >= 0) m.pos = base + offset;
            check(gio_tell(s) == m.pos, "tell after seek");
            break;
        }
        case 8: {
            const int32_t position = in.ConsumeIntegralInRange<int32_t>(-4, int32_t(end) + 4);
            check(gio_set_position(s, position) == 1, "set position");
            if (position >= 0) m.pos = position;
            check(gio_tell(s) == m.pos, "tell after set position");
            break;
        }
        case 9: {
            // The indicator is set only by a read that hit the end, and every move
            // back before the end goes through a seek, which clears it.
            const int eof = gio_eof(s);
            check(eof == 0 || eof == 1, "eof is 0 or 1");
            if (m.pos < end) check(eof == 0, "no end-of-file before the end");
            break;
        }
        case 10:
            m.swap = true;
            check(gio_set_flags(s, GIO_FLAG_SWAP) == 1 && (s->flags & GIO_FLAG_SWAP), "swap flag");
            break;
        default:
            check(gio_set_flags(s, GIO_FLAG_NATIVE) == 1 && (s->flags & GIO_FLAG_NATIVE), "native flag");
            break;
        }
    }
    check(gio_close(s) == 1, "close");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    device_register(&memory_device);
    device_add(&memory_device);
    device_select(nullptr);  // the file device is current; the memory device is searched
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const size_t length = in.ConsumeIntegralInRange<size_t>(0, in.remaining_bytes());
    const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(length);
    const char* path = fuzz::scratch_file();
    const int32_t blocks = fuzz::live_blocks();

    check(gio_write_file(path, bytes.data(), static_cast<int32_t>(bytes.size())) == 1, "write the file");
    check_whole_file(bytes, path);
    check_growing(bytes, in);
    run_script(bytes, path, in);
    // A name no device knows: error 1 and nothing taken.
    check(gio_read_file("/nonexistent/tavik-fuzz", nullptr) == nullptr, "missing file");
    check(std::strcmp(gio_error_string(), "[GIO] Unable to open file") == 0, "missing file message");
    fuzz::check_no_leak(blocks);
    return 0;
}
