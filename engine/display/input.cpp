// The drivers' one keyboard state: key-state slots and the queue of pressed keys.
#include "engine/display/input.h"

#include <cstring>

#include "engine/display/gfx.h"
#include "platform/win32.h"

static struct {
    int32_t keys[GFX_KEY_STATES];
    uint32_t queue[GFX_KEY_QUEUE];
    int32_t queue_count;
} input;

void gfx_input_keys_up() { memset(input.keys, 0, sizeof input.keys); }

void gfx_input_flush() { input.queue_count = 0; }

void gfx_input_set(int32_t slot, int32_t down) {
    if (slot >= 0 && slot < GFX_KEY_STATES) input.keys[slot] = down;
}

void gfx_input_queue(uint32_t vk) {
    if (input.queue_count < GFX_KEY_QUEUE) input.queue[input.queue_count++] = vk & 0xFF;
}

int32_t gfx_input_state(int32_t code) { return (code >= 0 && code < GFX_KEY_STATES) ? input.keys[code] : 0; }

int32_t gfx_input_next() {
    if (!input.queue_count) return 0;
    const bool caps = (GetKeyState(VK_CAPITAL) & 1) != 0;
    const uint32_t vk = input.queue[0];
    input.queue_count--;
    memmove(input.queue, input.queue + 1, (size_t)input.queue_count * sizeof input.queue[0]);
    int32_t c = gfx_key_table[vk & 0xFF];
    if ((input.keys[16] || caps) && c >= 'a' && c <= 'z') c -= 32;
    return (signed char)c;
}
