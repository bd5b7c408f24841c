// Device registry: the I/O devices GIO streams can be opened on, a search list
// that gio_open walks, and which device is current. The file device is always there.
#pragma once

#include <cstdint>

struct GioDevice;

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
