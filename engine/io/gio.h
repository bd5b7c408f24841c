// GIO: byte streams opened by name on the registry's devices, typed readers and
// writers with optional byte-order reversal, whole-file operations, and the
// file device over the C library's files.
#pragma once

#include <cstdint>
#include <cstdio>

#include "engine/io/device.h"

// The stream record a device's open makes.
struct GioStream {
    int32_t unused;         // device private: not used by the file device
    FILE* file;             // device private: the C file
    int32_t zero;           // device private: set to 0
    int32_t size;           // file size in bytes (open, whole-file reader)
    uint32_t flags;         // GIO_FLAG_*; 0 after gio_open
    const GioDevice* device;
};

enum : uint32_t {
    GIO_FLAG_NATIVE = 0x10,   // values in the machine's own byte order
    GIO_FLAG_SWAP = 0x20,     // typed 16/32-bit values are byte-reversed
};

// Control commands.
enum : int32_t {
    GIO_CTL_EOF = 0x1001,
    GIO_CTL_TELL = 0x1002,
    GIO_CTL_SETPOS = 0x1003,   // two-step: the next control call carries a byte offset
    GIO_CTL_SIZE = 0x1004,
    GIO_CTL_SEEK_SET = 0x1005, // two-step: the next call carries the offset
    GIO_CTL_SEEK_CUR = 0x1006,
    GIO_CTL_SEEK_END = 0x1007,
    GIO_CTL_SET_NATIVE = 0x1008,
    GIO_CTL_SET_SWAP = 0x1009,
};

GioStream* gio_open(const char* name, const char* mode);   // null and error 1 on failure
// Closes the stream through its device and releases it; 0 for null.
int gio_close(GioStream* stream);
int32_t gio_read(void* buffer, int32_t size, int32_t count, GioStream* stream);   // whole items
// Whole items written; 0 for null, sizes <= 0 or more than 2 GiB at once.
int32_t gio_write(const void* buffer, int32_t size, int32_t count, GioStream* stream);

// Typed readers: at the end of the data they return 0.
int32_t gio_read_u8(GioStream* stream);
int32_t gio_read_s8(GioStream* stream);
int32_t gio_read_u16(GioStream* stream);
int32_t gio_read_s32(GioStream* stream);
uint32_t gio_read_u32(GioStream* stream);
float gio_read_f32(GioStream* stream);

// Typed writers (byte-reversed under GIO_FLAG_SWAP): 1 when the value was written.
int32_t gio_write_s8(GioStream* stream, int32_t value);
int32_t gio_write_u8(GioStream* stream, int32_t value);
int32_t gio_write_u16(GioStream* stream, int32_t value);
int32_t gio_write_s32(GioStream* stream, int32_t value);
int32_t gio_write_u32(GioStream* stream, uint32_t value);
int32_t gio_write_f32(GioStream* stream, float value);

// The whole file in a new gmem block (known size: n + 1 bytes, zero-terminated).
void* gio_read_file(const char* name, int32_t* size);
int gio_write_file(const char* name, const void* buffer, int32_t bytes);
int gio_exists(const char* name);
intptr_t gio_tell(GioStream* stream);
int gio_seek(GioStream* stream, int32_t offset, int whence);  // whence 1 current, 2 end, else start
int gio_eof(GioStream* stream);
int gio_set_position(GioStream* stream, int32_t position);    // a byte offset from the start
int gio_set_flags(GioStream* stream, int32_t flag);
const char* gio_error_string();
