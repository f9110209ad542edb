#include "V4L2CameraList.h"

#include <algorithm>
#include <cctype>
#include <numeric>
#include <set>
#include <utility>

#include "V4L2System.h"
#include "V4L2VideoDevice.h"

namespace {

// The end of the run of digits at in_at.
size_t DigitsEnd(const std::string& in_text, size_t in_at)
{
    while (in_at < in_text.size() && isdigit(uint8_t(in_text[in_at])))
        ++in_at;
    return in_at;
}

// "usb-0000:00:14.0-2" before "usb-0000:00:14.0-10": runs of digits compare as numbers.
bool BusBefore(const std::string& in_a, const std::string& in_b)
{
    size_t i = 0, j = 0;
    while (i < in_a.size() && j < in_b.size()) {
        if (isdigit(uint8_t(in_a[i])) && isdigit(uint8_t(in_b[j]))) {
            const size_t endA = DigitsEnd(in_a, i);
            const size_t endB = DigitsEnd(in_b, j);
            while (i + 1 < endA && in_a[i] == '0')
                ++i;
            while (j + 1 < endB && in_b[j] == '0')
                ++j;
            const std::string_view a(in_a.data() + i, endA - i);
            const std::string_view b(in_b.data() + j, endB - j);
            if (a.size() != b.size())
                return a.size() < b.size();
            if (a != b)
                return a < b;
            i = endA;
            j = endB;
        } else if (in_a[i] != in_b[j]) {
            return uint8_t(in_a[i]) < uint8_t(in_b[j]);
        } else {
            ++i;
            ++j;
        }
    }
    return in_a.size() - i < in_b.size() - j;
}

struct Naming
{
    std::string base;
    const std::string* busInfo;
    size_t device; // list position: the order of nodes breaks ties of bus position
    uint32_t input;
    std::string* name;
};

// Equal names get " (2)", " (3)", ... in bus order; a suffixed name never takes a name that
// something else has already.
void NameUniquely(std::vector<Naming>& io_items)
{
    const size_t max = V4L2CameraList::kMaxNameBytes;
    for (Naming& item : io_items)
        item.base = V4L2CameraList::Cut(item.base, max);
    std::vector<size_t> order(io_items.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t in_a, size_t in_b) {
        const Naming& a = io_items[in_a];
        const Naming& b = io_items[in_b];
        if (a.base != b.base)
            return a.base < b.base;
        if (*a.busInfo != *b.busInfo)
            return BusBefore(*a.busInfo, *b.busInfo);
        return std::pair(a.device, a.input) < std::pair(b.device, b.input);
    });
    std::set<std::string> used;
    for (const Naming& item : io_items)
        used.insert(item.base);
    size_t rank = 0;
    for (size_t k = 0; k < order.size(); ++k) {
        Naming& item = io_items[order[k]];
        rank = k > 0 && io_items[order[k - 1]].base == item.base ? rank + 1 : 0;
        if (rank == 0) {
            *item.name = item.base;
            continue;
        }
        for (size_t number = rank + 1;; ++number) {
            const std::string suffix = " (" + std::to_string(number) + ")";
            std::string name = V4L2CameraList::Cut(item.base, max - suffix.size()) + suffix;
            if (used.insert(name).second) {
                *item.name = std::move(name);
                break;
            }
        }
    }
}

} // namespace

std::string V4L2CameraList::Cut(std::string_view in_text, size_t in_maxBytes)
{
    if (in_text.size() <= in_maxBytes)
        return std::string(in_text);
    size_t end = in_maxBytes;
    // Back off the continuation bytes (10xxxxxx) of a character that would be split.
    while (end > 0 && (uint8_t(in_text[end]) & 0xC0) == 0x80)
        --end;
    return std::string(in_text.substr(0, end));
}

V4L2CameraList::V4L2CameraList(std::vector<V4L2CameraDevice> in_devices)
    : mDevices(std::move(in_devices))
{
    std::vector<Naming> devices;
    std::vector<Naming> cameras;
    for (size_t d = 0; d < mDevices.size(); ++d) {
        V4L2CameraDevice& device = mDevices[d];
        devices.push_back({device.card, &device.busInfo, d, 0, &device.name});
        for (V4L2Camera& camera : device.cameras) {
            std::string base = device.card;
            if (device.cameras.size() > 1)
                base += ": " + camera.inputName;
            cameras.push_back({std::move(base), &device.busInfo, d, camera.input, &camera.name});
        }
    }
    NameUniquely(devices);
    NameUniquely(cameras);
}

V4L2CameraList V4L2CameraList::Enumerate()
{
    std::vector<std::string> nodes;
    V4L2Sys().ListNodes(nodes);
    std::vector<V4L2CameraDevice> devices;
    for (const std::string& node : nodes) {
        V4L2VideoDevice device(node);
        if (device.Open() != 0 || !device.CanCapture())
            continue;
        V4L2CameraDevice entry{node, device.Card(), device.BusInfo(), {}, {}};
        const std::vector<std::string> inputs = device.InputNames();
        for (uint32_t i = 0; i < inputs.size(); ++i)
            entry.cameras.push_back({i, inputs[i], {}});
        devices.push_back(std::move(entry));
    }
    return V4L2CameraList(std::move(devices));
}

const V4L2CameraDevice* V4L2CameraList::FindDevice(std::string_view in_name) const
{
    for (const V4L2CameraDevice& device : mDevices)
        if (device.name == in_name)
            return &device;
    return nullptr;
}

const V4L2CameraDevice* V4L2CameraList::FindNode(std::string_view in_node) const
{
    for (const V4L2CameraDevice& device : mDevices)
        if (device.node == in_node)
            return &device;
    return nullptr;
}

std::pair<const V4L2CameraDevice*, const V4L2Camera*>
V4L2CameraList::FindCamera(std::string_view in_name) const
{
    for (const V4L2CameraDevice& device : mDevices)
        for (const V4L2Camera& camera : device.cameras)
            if (camera.name == in_name)
                return {&device, &camera};
    return {nullptr, nullptr};
}
