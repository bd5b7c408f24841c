// Device registry: the known list, the search list gio_open walks, the current
// node and the static fallback node. The file device is in every list from the start.
#include "engine/io/device.h"

#include "engine/memory/gmem.h"

// ---- module state ---------------------------------------------------------

static DeviceNode known_head = {&stdio_device, nullptr, nullptr};
static DeviceNode search_head = {&stdio_device, nullptr, nullptr};
static DeviceNode fallback_node = {&stdio_device, nullptr, nullptr};
static DeviceNode* current_node = &search_head;
static int device_error = 0;

// ---- private helpers ------------------------------------------------------

static DeviceNode* append(DeviceNode* head, const GioDevice* device)
{
    DeviceNode* last = head;
    while (last->next) last = last->next;
    DeviceNode* node = static_cast<DeviceNode*>(gmem_alloc(sizeof(DeviceNode)));
    if (!node) return nullptr;
    node->device = device;
    node->next = nullptr;
    node->prev = last;
    last->next = node;
    return node;
}

static DeviceNode* find(DeviceNode* head, const GioDevice* device)
{
    for (DeviceNode* n = head; n; n = n->next)
        if (n->device == device) return n;
    return nullptr;
}

// ---- public functions -----------------------------------------------------

int device_count()
{
    int count = 0;
    for (DeviceNode* n = &known_head; n; n = n->next) ++count;
    return count;
}

int device_enumerate(int* count, void (*callback)(const GioDevice*))
{
    if (!count && !callback) return 0;
    if (count) *count = device_count();
    if (callback)
        for (DeviceNode* n = &known_head; n; n = n->next) callback(n->device);
    return 1;
}

const GioDevice* device_register(const GioDevice* device)
{
    return append(&known_head, device) ? device : nullptr;
}

int device_add(const GioDevice* device)
{
    if (!append(&search_head, device)) return 0;
    device_select(device);
    return 1;
}

int device_remove(const GioDevice* device)
{
    if (device_count() < 2) return 0;
    if (current_node->device == device) current_node = &fallback_node;
    DeviceNode* node = find(&search_head, device);
    // The static head node has no previous node and is never unlinked.
    if (node && node->prev) {
        node->prev->next = node->next;
        if (node->next) node->next->prev = node->prev;
        if (current_node == node) current_node = &fallback_node;
        gmem_free(node);
    }
    return 1;
}

DeviceNode* device_select(const GioDevice* device)
{
    DeviceNode* node = find(&search_head, device);
    current_node = node ? node : &fallback_node;
    return node;
}

const GioDevice* device_current()
{
    return current_node->device;
}

const GioDevice* device_first()
{
    current_node = &search_head;
    return current_node->device;
}

const GioDevice* device_next()
{
    if (!current_node->next) return nullptr;
    current_node = current_node->next;
    return current_node->device;
}

int device_set_fallback(const GioDevice* device)
{
    if (!device) return 0;
    fallback_node.device = device;
    return 1;
}

int device_call(const GioDevice* device, int /*ignored*/, int value)
{
    if (!device || !device->extra2) return 0;
    return device->extra2(value);
}

const char* device_error_string()
{
    (void)device_error;
    return "No error was detected!";
}
