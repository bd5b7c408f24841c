// Tests of the device registry: the state it starts in, the fallback node,
// walking the search list, and removal of current and neighbouring nodes.
// The first case needs a fresh registry and is first in the file for that.
#include "engine/io/device.h"
#include "engine/io/gio.h"
#include "engine/memory/gmem.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

int32_t times_two(int32_t v) { return v * 2; }
int32_t times_three(int32_t v) { return v * 3; }

GioDevice make_device(const char* name)
{
    return GioDevice{name, "tests", "1", 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr,
                     times_three, times_two, times_three};
}

const GioDevice dev_a = make_device("a");
const GioDevice dev_b = make_device("b");
const GioDevice dev_c = make_device("c");
const GioDevice dev_d = make_device("d");
const GioDevice dev_never = make_device("never added");

// The search list from its head, as device_first / device_next walk it.
std::vector<const GioDevice*> search_list()
{
    std::vector<const GioDevice*> out;
    for (const GioDevice* d = device_first(); d; d = device_next()) out.push_back(d);
    return out;
}

std::vector<const GioDevice*> enumerated;
void collect(const GioDevice* d) { enumerated.push_back(d); }

}  // namespace

TEST(DeviceRegistry, StartsWithTheFileDeviceOnly)
{
    EXPECT_EQ(device_count(), 1);
    EXPECT_EQ(device_current(), &stdio_device);
    EXPECT_EQ(device_remove(&stdio_device), 0);  // fewer than 2 known devices
    EXPECT_EQ(device_current(), &stdio_device);
    EXPECT_EQ(device_first(), &stdio_device);
    EXPECT_EQ(device_next(), nullptr);
    EXPECT_EQ(device_current(), &stdio_device);
    int count = 0;
    EXPECT_EQ(device_enumerate(&count, nullptr), 1);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(device_enumerate(nullptr, nullptr), 0);
    EXPECT_STREQ(device_error_string(), "No error was detected!");

    // A device added but never registered: the refusal counts the known list, so
    // with the file device the only known one removal is refused and changes
    // nothing; once a second device is known the same call removes it.
    ASSERT_EQ(device_add(&dev_c), 1);
    EXPECT_EQ(device_remove(&dev_c), 0);
    EXPECT_EQ(device_current(), &dev_c);
    EXPECT_EQ(search_list(), (std::vector<const GioDevice*>{&stdio_device, &dev_c}));
    ASSERT_EQ(device_register(&dev_b), &dev_b);
    ASSERT_NE(device_select(&dev_c), nullptr);
    EXPECT_EQ(device_remove(&dev_c), 1);
    EXPECT_EQ(device_current(), &stdio_device);
    EXPECT_EQ(search_list(), std::vector<const GioDevice*>{&stdio_device});
}

TEST(DeviceRegistry, RegisterEnumeratesInOrder)
{
    int before = device_count();
    EXPECT_EQ(device_register(&dev_a), &dev_a);
    EXPECT_EQ(device_register(&dev_b), &dev_b);
    EXPECT_EQ(device_count(), before + 2);
    enumerated.clear();
    int count = 0;
    EXPECT_EQ(device_enumerate(&count, collect), 1);
    EXPECT_EQ(count, before + 2);
    ASSERT_EQ(int(enumerated.size()), before + 2);
    EXPECT_EQ(enumerated.front(), &stdio_device);
    EXPECT_EQ(enumerated[before], &dev_a);
    EXPECT_EQ(enumerated[before + 1], &dev_b);
    // Registering does not put a device on the search list.
    EXPECT_EQ(search_list(), std::vector<const GioDevice*>{&stdio_device});
}

TEST(DeviceRegistry, SelectFallsBackForUnknownDevices)
{
    device_register(&dev_a);  // at least two known devices, whatever ran before
    EXPECT_EQ(device_select(&dev_never), nullptr);
    EXPECT_EQ(device_current(), &stdio_device);  // the fallback's device
    EXPECT_EQ(device_next(), nullptr);           // the fallback has no neighbours

    EXPECT_EQ(device_set_fallback(nullptr), 0);
    EXPECT_EQ(device_set_fallback(&dev_d), 1);
    EXPECT_EQ(device_select(&dev_never), nullptr);
    EXPECT_EQ(device_current(), &dev_d);
    EXPECT_EQ(device_set_fallback(&stdio_device), 1);
    EXPECT_NE(device_select(&stdio_device), nullptr);
    EXPECT_EQ(device_current(), &stdio_device);
}

TEST(DeviceRegistry, AddSelectsAndNeighboursComeOutCleanly)
{
    device_register(&dev_a);
    int blocks_before;
    {
        GmemStats s;
        gmem_stats(&s);
        blocks_before = s.blocks;
    }
    ASSERT_EQ(device_add(&dev_a), 1);
    EXPECT_EQ(device_current(), &dev_a);
    ASSERT_EQ(device_add(&dev_b), 1);
    ASSERT_EQ(device_add(&dev_c), 1);
    ASSERT_EQ(device_add(&dev_d), 1);
    EXPECT_EQ(device_current(), &dev_d);
    EXPECT_EQ(search_list(), (std::vector<const GioDevice*>{&stdio_device, &dev_a, &dev_b, &dev_c, &dev_d}));
    EXPECT_EQ(device_next(), nullptr);  // at the last node: stays there
    EXPECT_EQ(device_current(), &dev_d);

    // Two neighbours, one after the other.
    ASSERT_NE(device_select(&dev_a), nullptr);
    EXPECT_EQ(device_remove(&dev_b), 1);
    EXPECT_EQ(device_remove(&dev_c), 1);
    EXPECT_EQ(search_list(), (std::vector<const GioDevice*>{&stdio_device, &dev_a, &dev_d}));
    // Walking backwards through the links agrees.
    DeviceNode* last = device_select(&dev_d);
    ASSERT_NE(last, nullptr);
    ASSERT_NE(last->prev, nullptr);
    EXPECT_EQ(last->prev->device, &dev_a);
    EXPECT_EQ(last->prev->prev->device, &stdio_device);
    EXPECT_EQ(last->prev->prev->prev, nullptr);

    // Removing the current device makes the fallback current.
    EXPECT_EQ(device_remove(&dev_d), 1);
    EXPECT_EQ(device_current(), &stdio_device);
    EXPECT_EQ(device_next(), nullptr);
    // The static head is never unlinked; removing what is not listed is harmless.
    EXPECT_EQ(device_remove(&stdio_device), 1);
    EXPECT_EQ(device_remove(&dev_never), 1);
    EXPECT_EQ(device_remove(&dev_a), 1);
    EXPECT_EQ(search_list(), std::vector<const GioDevice*>{&stdio_device});

    GmemStats s;
    gmem_stats(&s);
    EXPECT_EQ(s.blocks, blocks_before);  // every node went back to GMEM
}

TEST(DeviceRegistry, DeviceCallInvokesTheSecondFurtherOperation)
{
    EXPECT_EQ(device_call(&dev_a, 99, 21), 42);
    EXPECT_EQ(device_call(&stdio_device, 0, 5), 1);
    EXPECT_EQ(device_call(nullptr, 0, 5), 0);
}
