// GIO: streams over the registry's devices, typed reads and writes with
// optional byte reversal, whole-file operations, and the C-library file device.
#include "engine/io/gio.h"

#include <cstring>
#include <string>

#include <sys/stat.h>

#include "engine/io/device.h"
#include "engine/memory/gmem.h"

// ---- module state ---------------------------------------------------------

static int gio_error = 0;
// The file device's pending two-step command: one for all its streams.
static intptr_t stdio_pending = 0;

// ---- the file device ------------------------------------------------------

// Latin-1 bytes as UTF-8, the form names take on POSIX file systems.
static std::string latin1_to_utf8(const char* name)
{
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
        if (*p < 0x80) {
            out += static_cast<char>(*p);
        } else {
            out += static_cast<char>(0xC0 | (*p >> 6));
            out += static_cast<char>(0x80 | (*p & 0x3F));
        }
    }
    return out;
}

static bool has_high_bytes(const char* name)
{
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p)
        if (*p >= 0x80) return true;
    return false;
}

static bool is_folder(FILE* file)
{
    struct stat info;
    return fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode);
}

static long stdio_size(FILE* file)
{
    long here = std::ftell(file);
    std::fseek(file, 0, SEEK_END);
    long end = std::ftell(file);
    std::fseek(file, here, SEEK_SET);
    return end;
}

static GioStream* stdio_open(const char* name, const char* mode, int32_t)
{
    GioStream* stream = static_cast<GioStream*>(gmem_alloc(sizeof(GioStream)));
    if (!stream) return nullptr;
    FILE* file = std::fopen(name, mode);
    // Names are stored in Latin-1; on POSIX the file may carry the UTF-8 form.
    if (!file && has_high_bytes(name)) file = std::fopen(latin1_to_utf8(name).c_str(), mode);
    // POSIX opens a folder for reading where Windows refuses: refuse it too,
    // rather than hand out a stream whose reads all fail.
    if (file && is_folder(file)) {
        std::fclose(file);
        file = nullptr;
    }
    if (!file) {
        gmem_free(stream);
        return nullptr;
    }
    stream->unused = 0;
    stream->file = file;
    stream->zero = 0;
    stream->size = static_cast<int32_t>(stdio_size(file));
    stream->flags = 0;
    stream->device = &stdio_device;
    return stream;
}

static int32_t stdio_close(GioStream* stream)
{
    std::fclose(stream->file);
    gmem_free(stream);
    return 1;
}

static int32_t stdio_read(GioStream* stream, void* buffer, int32_t bytes)
{
    if (bytes <= 0) return 0;
    return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(bytes), stream->file));
}

static int32_t stdio_write(GioStream* stream, const void* buffer, int32_t bytes)
{
    if (bytes <= 0) return 0;
    return static_cast<int32_t>(std::fwrite(buffer, 1, static_cast<size_t>(bytes), stream->file));
}

static intptr_t stdio_control(GioStream* stream, intptr_t command)
{
    if (stdio_pending) {
        intptr_t pending = stdio_pending;
        stdio_pending = 0;
        switch (pending) {
        // Set-position takes a byte offset from the start, as gio_set_position passes it.
        case GIO_CTL_SETPOS:
        case GIO_CTL_SEEK_SET: return std::fseek(stream->file, static_cast<long>(command), SEEK_SET);
        case GIO_CTL_SEEK_CUR: return std::fseek(stream->file, static_cast<long>(command), SEEK_CUR);
        case GIO_CTL_SEEK_END: return std::fseek(stream->file, static_cast<long>(command), SEEK_END);
        default: break;
        }
    }
    switch (command) {
    case GIO_CTL_EOF: return std::feof(stream->file) ? 1 : 0;
    case GIO_CTL_TELL: return std::ftell(stream->file);
    case GIO_CTL_SIZE: return stdio_size(stream->file);
    case GIO_CTL_SETPOS:
    case GIO_CTL_SEEK_SET:
    case GIO_CTL_SEEK_CUR:
    case GIO_CTL_SEEK_END: stdio_pending = command; return command;
    case GIO_CTL_SET_NATIVE: stream->flags |= GIO_FLAG_NATIVE; return reinterpret_cast<intptr_t>(stream);
    case GIO_CTL_SET_SWAP: stream->flags |= GIO_FLAG_SWAP; return reinterpret_cast<intptr_t>(stream);
    default: return command;
    }
}

static int32_t stdio_extra(int32_t)
{
    return 1;
}

const GioDevice stdio_device = {
    "stdio_device", "Tavik", "Version 0.01b", 0, 1,
    stdio_open, stdio_close, stdio_read, stdio_write, stdio_control,
    stdio_extra, stdio_extra, stdio_extra,
};

// ---- private helpers ------------------------------------------------------

static uint16_t swap16(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }
static uint32_t swap32(uint32_t v)
{
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

// ---- public functions -----------------------------------------------------

GioStream* gio_open(const char* name, const char* mode)
{
    if (!name) return nullptr;
    const GioDevice* current = device_current();
    GioStream* stream = current->open(name, mode, 0);
    if (!stream) {
        for (const GioDevice* d = device_first(); d && !stream; d = device_next()) {
            stream = d->open(name, mode, 0);
            if (stream) stream->device = d;
        }
        device_select(current);
    } else {
        stream->device = current;
    }
    if (!stream) {
        gio_error = 1;
        return nullptr;
    }
    stream->flags = 0;
    return stream;
}

int gio_close(GioStream* stream)
{
    if (!stream) return 0;
    stream->device->close(stream);
    return 1;
}

int32_t gio_read(void* buffer, int32_t size, int32_t count, GioStream* stream)
{
    if (!stream || size <= 0 || count <= 0) return 0;
    int64_t bytes = static_cast<int64_t>(size) * count;
    if (bytes > 0x7FFFFFFF) return 0;
    return stream->device->read(stream, buffer, static_cast<int32_t>(bytes)) / size;
}

int32_t gio_write(const void* buffer, int32_t size, int32_t count, GioStream* stream)
{
    if (!stream || size <= 0 || count <= 0) return 0;
    int64_t bytes = static_cast<int64_t>(size) * count;
    if (bytes > 0x7FFFFFFF) return 0;
    return stream->device->write(stream, buffer, static_cast<int32_t>(bytes)) / size;
}

// The typed readers give 0 unless the whole value was read: at the end of the
// data, or with only part of a value left, never stale or partial storage.
int32_t gio_read_u8(GioStream* stream)
{
    uint8_t v = 0;
    if (gio_read(&v, 1, 1, stream) != 1) return 0;
    return v;
}

int32_t gio_read_s8(GioStream* stream)
{
    int8_t v = 0;
    if (gio_read(&v, 1, 1, stream) != 1) return 0;
    return v;
}

int32_t gio_read_u16(GioStream* stream)
{
    uint16_t v = 0;
    if (gio_read(&v, 2, 1, stream) != 1) return 0;
    if (stream->flags & GIO_FLAG_SWAP) v = swap16(v);
    return v;
}

uint32_t gio_read_u32(GioStream* stream)
{
    uint32_t v = 0;
    if (gio_read(&v, 4, 1, stream) != 1) return 0;
    if (stream->flags & GIO_FLAG_SWAP) v = swap32(v);
    return v;
}

int32_t gio_read_s32(GioStream* stream)
{
    return static_cast<int32_t>(gio_read_u32(stream));
}

float gio_read_f32(GioStream* stream)
{
    uint32_t bits = gio_read_u32(stream);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

int32_t gio_write_s8(GioStream* stream, int32_t value)
{
    int8_t v = static_cast<int8_t>(value);
    return gio_write(&v, 1, 1, stream);
}

int32_t gio_write_u8(GioStream* stream, int32_t value)
{
    uint8_t v = static_cast<uint8_t>(value);
    return gio_write(&v, 1, 1, stream);
}

int32_t gio_write_u16(GioStream* stream, int32_t value)
{
    uint16_t v = static_cast<uint16_t>(value);
    if (stream && (stream->flags & GIO_FLAG_SWAP)) v = swap16(v);
    return gio_write(&v, 2, 1, stream);
}

int32_t gio_write_u32(GioStream* stream, uint32_t value)
{
    if (stream && (stream->flags & GIO_FLAG_SWAP)) value = swap32(value);
    return gio_write(&value, 4, 1, stream);
}

int32_t gio_write_s32(GioStream* stream, int32_t value)
{
    return gio_write_u32(stream, static_cast<uint32_t>(value));
}

int32_t gio_write_f32(GioStream* stream, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return gio_write_u32(stream, bits);
}

void* gio_read_file(const char* name, int32_t* size)
{
    GioStream* stream = gio_open(name, "rb");
    if (!stream) return nullptr;
    intptr_t known = stream->device->control(stream, GIO_CTL_SIZE);
    if (known > 0 && known < 0x7FFFFFFF) {
        int32_t n = static_cast<int32_t>(known);
        if (size) *size = n;
        uint8_t* block = static_cast<uint8_t*>(gmem_alloc(static_cast<uint32_t>(n) + 1));
        if (!block) {
            gio_error = 3;
            gio_close(stream);
            return nullptr;
        }
        int32_t got = stream->device->read(stream, block, n);
        // A file that shrank under us: the rest stays zero-filled, and the size says what was read.
        if (got < n && size) *size = got < 0 ? 0 : got;
        block[n] = 0;
        gio_close(stream);
        return block;
    }
    // The device cannot tell the size: grow the block while reading.
    uint32_t capacity = 1024, total = 0;
    uint8_t* block = static_cast<uint8_t*>(gmem_alloc(capacity));
    if (!block) {
        gio_error = 3;
        gio_close(stream);
        return nullptr;
    }
    for (;;) {
        if (capacity - total < 512) {
            uint8_t* grown = static_cast<uint8_t*>(gmem_realloc(block, capacity + 1024));
            if (!grown) {
                gio_error = 3;
                gmem_free(block);
                gio_close(stream);
                return nullptr;
            }
            block = grown;
            capacity += 1024;
        }
        int32_t got = stream->device->read(stream, block + total, static_cast<int32_t>(capacity - total));
        if (got <= 0) break;
        total += static_cast<uint32_t>(got);
    }
    stream->size = static_cast<int32_t>(total);
    if (size) *size = static_cast<int32_t>(total);
    gio_close(stream);
    return block;
}

int gio_write_file(const char* name, const void* buffer, int32_t bytes)
{
    GioStream* stream = gio_open(name, "wb");
    if (!stream) return 0;
    int32_t written = bytes > 0 ? stream->device->write(stream, buffer, bytes) : 0;
    gio_close(stream);
    return written == bytes ? 1 : 0;
}

int gio_exists(const char* name)
{
    GioStream* stream = gio_open(name, "r");
    if (!stream) return 0;
    gio_close(stream);
    return 1;
}

intptr_t gio_tell(GioStream* stream)
{
    if (!stream) return -1;
    return stream->device->control(stream, GIO_CTL_TELL);
}

int gio_seek(GioStream* stream, int32_t offset, int whence)
{
    if (!stream) return -1;
    intptr_t command = whence == 1 ? GIO_CTL_SEEK_CUR : whence == 2 ? GIO_CTL_SEEK_END : GIO_CTL_SEEK_SET;
    stream->device->control(stream, command);
    stream->device->control(stream, offset);
    return 1;
}

int gio_eof(GioStream* stream)
{
    if (!stream) return 0;
    return stream->device->control(stream, GIO_CTL_EOF) > 0 ? 1 : 0;
}

int gio_set_position(GioStream* stream, int32_t position)
{
    if (!stream) return 0;
    if (stream->device->control(stream, GIO_CTL_SETPOS) == -1) {
        gio_error = 2;
        return 0;
    }
    stream->device->control(stream, position);
    return 1;
}

int gio_set_flags(GioStream* stream, int32_t flag)
{
    if (!stream) return 0;
    if (flag == static_cast<int32_t>(GIO_FLAG_NATIVE) || flag == static_cast<int32_t>(GIO_FLAG_SWAP))
        stream->flags |= static_cast<uint32_t>(flag);
    else
        stream->device->control(stream, flag);
    return 1;
}

const char* gio_error_string()
{
    switch (gio_error) {
    case 1: return "[GIO] Unable to open file";
    case 2: return "[GIO] File not open";
    case 3: return "[GIO] Unable to allocate memory";
    default: return "[GIO] No error\n";
    }
}
