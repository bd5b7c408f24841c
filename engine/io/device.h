// Device registry: the I/O devices GIO streams can be opened on, a search list
// that gio_open walks, and which device is current. The file device is always there.
#pragma once

#include <cstdint>

struct GioStream;

// A device descriptor: a constant record of its name and operations.
struct GioDevice {
    const char* name;
    const char* author;
    const char* version;
    int32_t value0;  // 0 for the file device; unused by GIO
    int32_t value1;  // 1 for the file device; unused by GIO
    GioStream* (*open)(const char* name, const char* mode, int32_t zero);
    int32_t (*close)(GioStream* stream);
    int32_t (*read)(GioStream* stream, void* buffer, int32_t bytes);
    int32_t (*write)(GioStream* stream, const void* buffer, int32_t bytes);
    intptr_t (*control)(GioStream* stream, intptr_t command);
    int32_t (*extra1)(int32_t value);
    int32_t (*extra2)(int32_t value);  // what device_call invokes
    int32_t (*extra3)(int32_t value);
};

// The file device over the C library's files (with GIO's streams, gio.cpp).
extern const GioDevice stdio_device;

struct DeviceNode {
    const GioDevice* device;
    DeviceNode* next;
    DeviceNode* prev;
};

int device_count();                                            // nodes in the known list
// The known list's size through count and each of its devices to callback (either
// may be null, not both); 0 when both are.
int device_enumerate(int* count, void (*callback)(const GioDevice*));
const GioDevice* device_register(const GioDevice* device);     // append to the known list
int device_add(const GioDevice* device);                       // append to the search list, select
int device_remove(const GioDevice* device);                    // unlink from the search list
DeviceNode* device_select(const GioDevice* device);            // null: the fallback is current
// The current device; device_first makes the search list's first node current and
// returns its device.
const GioDevice* device_current();
const GioDevice* device_first();
const GioDevice* device_next();                                // null at the last node
// The device current when device_select finds none; 0 for null.
int device_set_fallback(const GioDevice* device);
// The device's extra routine with value; 0 when it has none.
int device_call(const GioDevice* device, int ignored, int value);
// Message for the module's error code (the registry sets none).
const char* device_error_string();
