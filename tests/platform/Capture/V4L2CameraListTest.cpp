// Camera names: human, unique on the machine, stable across replugs, and within 63 bytes.
#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <string>
#include <vector>

#include "FakeV4L2.h"
#include "V4L2CameraList.h"
#include "V4L2System.h"

namespace {

struct Device
{
    std::string card;
    std::string busInfo;
    std::vector<std::string> inputs;
};

V4L2CameraList Listed(const std::vector<Device>& in_devices)
{
    std::vector<V4L2CameraDevice> devices;
    for (size_t d = 0; d < in_devices.size(); ++d) {
        V4L2CameraDevice device{
            "/dev/video" + std::to_string(d), in_devices[d].card, in_devices[d].busInfo, "", {}};
        for (uint32_t i = 0; i < in_devices[d].inputs.size(); ++i)
            device.cameras.push_back({i, in_devices[d].inputs[i], ""});
        devices.push_back(std::move(device));
    }
    return V4L2CameraList(std::move(devices));
}

std::vector<std::string> DeviceNames(const V4L2CameraList& in_list)
{
    std::vector<std::string> names;
    for (const V4L2CameraDevice& device : in_list.Devices())
        names.push_back(device.name);
    return names;
}

std::vector<std::string> CameraNames(const V4L2CameraList& in_list)
{
    std::vector<std::string> names;
    for (const V4L2CameraDevice& device : in_list.Devices())
        for (const V4L2Camera& camera : device.cameras)
            names.push_back(camera.name);
    return names;
}

const std::string k70(70, 'w');
const std::string kLong62 = std::string(62, 'c');

struct NamingCase
{
    const char* what;
    std::vector<Device> devices;
    std::vector<std::string> deviceNames;
    std::vector<std::string> cameraNames;
};

TEST(V4L2CameraList, NamesCamerasHumanUniqueAndWithinTheirFields)
{
    const NamingCase cases[] = {
        {"two identical webcams, numbered by bus position, not by node order",
         {{"HD Webcam C525", "usb-0000:00:14.0-2", {"Camera 1"}},
          {"HD Webcam C525", "usb-0000:00:14.0-1", {"Camera 1"}}},
         {"HD Webcam C525 (2)", "HD Webcam C525"},
         {"HD Webcam C525 (2)", "HD Webcam C525"}},
        {"port 2 before port 10",
         {{"Cam", "usb-1-10", {"Camera 1"}}, {"Cam", "usb-1-2", {"Camera 1"}}},
         {"Cam (2)", "Cam"},
         {"Cam (2)", "Cam"}},
        {"a capture card with three inputs",
         {{"Grabster", "pci-0000:03:00.0", {"Composite", "S-Video", "Tuner"}}},
         {"Grabster"},
         {"Grabster: Composite", "Grabster: S-Video", "Grabster: Tuner"}},
        {"the test pattern's eyes",
         {{"Parallax3D Test Pattern", "platform:parallax3d", {"Left Eye", "Right Eye"}}},
         {"Parallax3D Test Pattern"},
         {"Parallax3D Test Pattern: Left Eye", "Parallax3D Test Pattern: Right Eye"}},
        {"a device without inputs has a name and no cameras",
         {{"Bare", "", {}}, {"Bare", "", {"In"}}},
         {"Bare", "Bare (2)"},
         {"Bare"}},
        {"a card of 70 bytes is cut to 63",
         {{k70, "", {"Camera 1"}}},
         {std::string(63, 'w')},
         {std::string(63, 'w')}},
        {"names beyond ASCII are cut between characters, never inside one",
         {{kLong62 + "\xC3\xA9", "", {"Camera 1"}}, {"Cam\xC3\xA9ra \xC3\xBC", "", {"x", "y"}}},
         {kLong62, "Cam\xC3\xA9ra \xC3\xBC"},
         {kLong62, "Cam\xC3\xA9ra \xC3\xBC: x", "Cam\xC3\xA9ra \xC3\xBC: y"}},
        {"names equal only once cut keep their suffix",
         {{k70 + "a", "usb-1", {"Camera 1"}}, {k70 + "b", "usb-2", {"Camera 1"}}},
         {std::string(63, 'w'), std::string(59, 'w') + " (2)"},
         {std::string(63, 'w'), std::string(59, 'w') + " (2)"}},
        {"a suffix never takes a name another camera has",
         {{"Cam", "usb-1", {"In"}}, {"Cam", "usb-2", {"In"}}, {"Cam (2)", "usb-3", {"In"}}},
         {"Cam", "Cam (3)", "Cam (2)"},
         {"Cam", "Cam (3)", "Cam (2)"}},
    };
    for (const NamingCase& c : cases) {
        SCOPED_TRACE(c.what);
        const V4L2CameraList list = Listed(c.devices);
        EXPECT_EQ(DeviceNames(list), c.deviceNames);
        EXPECT_EQ(CameraNames(list), c.cameraNames);
        for (const std::string& name : CameraNames(list))
            EXPECT_LE(name.size(), V4L2CameraList::kMaxNameBytes) << name;
    }
}

TEST(V4L2CameraList, AReplugKeepsEveryName)
{
    // The first webcam unplugged and plugged in again comes back at a new node, listed last.
    const V4L2CameraList before = Listed(
        {{"HD Webcam C525", "usb-1-1", {"Camera 1"}}, {"HD Webcam C525", "usb-1-2", {"Camera 1"}}});
    const V4L2CameraList after = Listed(
        {{"HD Webcam C525", "usb-1-2", {"Camera 1"}}, {"HD Webcam C525", "usb-1-1", {"Camera 1"}}});
    for (const V4L2CameraDevice& device : before.Devices()) {
        const auto [again, camera] = after.FindCamera(device.cameras[0].name);
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(again->busInfo, device.busInfo);
        EXPECT_EQ(after.FindDevice(device.name)->busInfo, device.busInfo);
    }
}

TEST(V4L2CameraList, EnumeratesCaptureNodesThroughTheSeam)
{
    FakeV4L2 fake;
    ScopedV4L2System scope(fake);
    for (const char* bus : {"usb-1-2", "usb-1-1"}) {
        FakeV4L2Device& webcam = fake.AddDevice();
        webcam.card = "HD Webcam C525";
        webcam.busInfo = bus;
        webcam.inputs = {"Camera 1"};
    }
    fake.AddDevice().capabilities = V4L2_CAP_META_CAPTURE; // a webcam's metadata node
    fake.AddDevice().MakeOutput("Loopback");
    const V4L2CameraList list = V4L2CameraList::Enumerate();
    ASSERT_EQ(list.Devices().size(), 2u);
    EXPECT_EQ(CameraNames(list),
              (std::vector<std::string>{"HD Webcam C525 (2)", "HD Webcam C525"}));
    const auto [device, camera] = list.FindCamera("HD Webcam C525");
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(device->node, "/dev/video1");
    EXPECT_EQ(camera->inputName, "Camera 1");
    EXPECT_EQ(list.FindNode("/dev/video0")->name, "HD Webcam C525 (2)");
    EXPECT_EQ(list.FindCamera("Camera 1").second, nullptr); // bare input names are no cameras
}

} // namespace
