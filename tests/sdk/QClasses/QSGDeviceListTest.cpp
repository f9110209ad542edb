// The camera list over in-memory V4L2 devices: order, navigation, names and reports.
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "FakeV4L2.h"
#include "QSGDeviceList.h"
#include "TestSupport.h"
#include "V4L2System.h"

namespace {

std::string Text(const unsigned char* pascal)
{
    return std::string(reinterpret_cast<const char*>(pascal + 1), pascal[0]);
}

void Pascal(unsigned char* to, const std::string& text)
{
    to[0] = UInt8(text.size());
    memcpy(to + 1, text.data(), text.size());
}

// Devices as the tests describe them, listed through the real V4L2 code.
class DeviceListTest : public testing::Test
{
protected:
    void addDevice(const std::string& card, std::vector<std::string> inputs)
    {
        FakeV4L2Device& device = fake.AddDevice();
        device.card = card;
        device.inputs = std::move(inputs);
    }
    bool fill()
    {
        SGDeviceList platformList = nullptr;
        if (SGNewDeviceList(&platformList) != 0)
            return false;
        list.Adopt(reinterpret_cast<SeqGrabComponent>(&fake), platformList);
        return true;
    }
    std::string camera(const QSGDeviceList::InputIterator& it) const
    {
        return std::to_string(it.device) + "/" + std::to_string(it.input) + " " +
               Text(it.deviceName) + ":" + Text(it.inputName);
    }

    FakeV4L2 fake;
    ScopedV4L2System scope{fake};
    QSGDeviceList list;
};

TEST_F(DeviceListTest, CamerasRunByDeviceThenInputSkippingDevicesWithout)
{
    addDevice("Cam A", {"In 0", "In 1"});
    addDevice("Cam B", {});
    addDevice("Cam C", {"Only"});
    ASSERT_TRUE(fill());
    short count = 0;
    ASSERT_TRUE(list.GetDeviceNameCount(count));
    EXPECT_EQ(count, 3);
    short inputs = 7;
    EXPECT_TRUE(list.GetDeviceInputNameCount(1, inputs));
    EXPECT_EQ(inputs, 0);

    QSGDeviceList::InputIterator it;
    std::vector<std::string> forward;
    for (bool ok = list.GetFirstInput(it); ok; ok = list.GetNextInput(it))
        forward.push_back(camera(it));
    // A camera is named by its card, and by its input too where the device has several.
    EXPECT_EQ(forward, (std::vector<std::string>{"0/0 Cam A:Cam A: In 0", "0/1 Cam A:Cam A: In 1",
                                                 "2/0 Cam C:Cam C"}));
    EXPECT_FALSE(list.GetNextInput(it)); // no wrap-around

    ASSERT_TRUE(list.GetLastInput(it));
    EXPECT_EQ(camera(it), "2/0 Cam C:Cam C");
    std::vector<std::string> back;
    while (list.GetPrevInput(it))
        back.push_back(camera(it));
    EXPECT_EQ(back, (std::vector<std::string>{"0/1 Cam A:Cam A: In 1", "0/0 Cam A:Cam A: In 0"}));
}

TEST_F(DeviceListTest, TheLastCameraIsTheFirstInputOfTheLastDevice)
{
    addDevice("Cam A", {"In 0"});
    addDevice("Cam B", {"x", "y", "z"});
    ASSERT_TRUE(fill());
    QSGDeviceList::InputIterator it;
    ASSERT_TRUE(list.GetLastInput(it));
    EXPECT_EQ(camera(it), "1/0 Cam B:Cam B: x");
    it.input = 1;
    ASSERT_TRUE(list.GetPrevInput(it)); // stepping back from 1/1
    EXPECT_EQ(camera(it), "1/0 Cam B:Cam B: x");
}

TEST_F(DeviceListTest, FindsCamerasByTheirNamesOnly)
{
    addDevice("Twin", {"Same"});
    addDevice("Other", {"Same", "Mine"});
    ASSERT_TRUE(fill());
    unsigned char name[64];
    QSGDeviceList::InputIterator it;
    Pascal(name, "Twin");
    ASSERT_TRUE(list.FindInputNamed(name, it));
    EXPECT_EQ(camera(it), "0/0 Twin:Twin");
    Pascal(name, "Other: Mine");
    ASSERT_TRUE(list.FindInputNamed(name, it));
    EXPECT_EQ(camera(it), "1/1 Other:Other: Mine");
    // A device name of several cameras, a bare input name, and another case find nothing.
    for (const char* other : {"Other", "Same", "other: mine"}) {
        Pascal(name, other);
        EXPECT_FALSE(list.FindInputNamed(name, it)) << other;
    }

    QSGDeviceList::InputIterator a, b;
    ASSERT_TRUE(list.GetFirstInput(a));
    b = a;
    EXPECT_TRUE(a == b);
    b.inputName[1] = 'X'; // same indices, another name
    EXPECT_FALSE(a == b);
}

TEST_F(DeviceListTest, ListsWithoutCamerasAndEmptyListsAnswerFalse)
{
    addDevice("No Inputs", {});
    ASSERT_TRUE(fill());
    QSGDeviceList::InputIterator it;
    unsigned char name[64];
    Pascal(name, "Camera");
    EXPECT_FALSE(list.GetFirstInput(it));
    EXPECT_FALSE(list.GetLastInput(it));
    EXPECT_FALSE(list.FindInputNamed(name, it));

    p3dtest::LogCapture log;
    QSGDeviceList empty;
    EXPECT_FALSE(empty.IsValid());
    short count = 9;
    EXPECT_FALSE(empty.GetDeviceNameCount(count));
    EXPECT_FALSE(empty.GetFirstInput(it));
    EXPECT_FALSE(empty.GetLastInput(it));
    SGDeviceName device;
    EXPECT_FALSE(empty.GetDeviceName(device, 0));
    const std::string text = log.text();
    EXPECT_NE(text.find(" code : IsValid() in "), std::string::npos);
    EXPECT_NE(text.find(" code : iterator.device>0 in "), std::string::npos);
}

TEST_F(DeviceListTest, IndicesOutOfRangeAreRefusedWithTheirReports)
{
    addDevice("Cam", {"In"});
    ASSERT_TRUE(fill());
    p3dtest::LogCapture log;
    SGDeviceInputName input;
    EXPECT_FALSE(list.GetDeviceInputName(0, input, 1));
    EXPECT_FALSE(list.GetDeviceInputName(0, input, -1));
    EXPECT_FALSE(list.GetDeviceInputName(5, input, 0));
    EXPECT_FALSE(list.IsValidDevice(short(-1)));
    QSGDeviceList::InputIterator it;
    it.device = 3;
    EXPECT_FALSE(list.GetDeviceInputNames(it));
    it.device = 0;
    it.input = 4;
    EXPECT_FALSE(list.GetDeviceInputNames(it));
    EXPECT_EQ(it.inputName[0], 0); // names cleared first
    const std::string text = log.text();
    EXPECT_NE(text.find(" code : in_deviceNameIndex<deviceInputNameCount in "), std::string::npos);
    EXPECT_NE(text.find(" code : iterator.device<deviceCount in "), std::string::npos);
    EXPECT_NE(text.find(" code : iterator.input < deviceInputCount in "), std::string::npos);

    it.Empty();
    EXPECT_TRUE(it.IsEmpty());
    EXPECT_TRUE(it.IsInputEmpty());
    ASSERT_TRUE(list.GetFirstInput(it));
    EXPECT_STREQ(it.GetNameForUI(), "Camera Device[0]:'Cam' Input[0]:'Cam' \n");
}

// A device the list does not have is refused with a report by every call that names one.
TEST_F(DeviceListTest, DevicesOutOfRangeAreReportedByEveryQuery)
{
    addDevice("Cam", {"In"});
    ASSERT_TRUE(fill());
    for (short device : {short(1), short(-1)}) {
        const std::pair<const char*, bool (*)(const QSGDeviceList&, short)> calls[] = {
            {"GetDeviceName(entry)",
             [](const QSGDeviceList& l, short d) {
                 SGDeviceName e;
                 return l.GetDeviceName(e, d);
             }},
            {"GetDeviceName(name)",
             [](const QSGDeviceList& l, short d) {
                 unsigned char n[64];
                 return l.GetDeviceName(n, d);
             }},
            {"GetDeviceInputNameCount",
             [](const QSGDeviceList& l, short d) {
                 short c = 5;
                 return l.GetDeviceInputNameCount(d, c) || c != 0;
             }},
            {"GetDeviceInputName(entry)",
             [](const QSGDeviceList& l, short d) {
                 SGDeviceInputName e;
                 return l.GetDeviceInputName(d, e, 0);
             }},
            {"GetDeviceInputName(name)",
             [](const QSGDeviceList& l, short d) {
                 unsigned char n[64];
                 return l.GetDeviceInputName(d, n, 0);
             }},
        };
        for (const auto& [what, call] : calls) {
            p3dtest::LogCapture log;
            EXPECT_FALSE(call(list, device)) << what << " " << device;
            const std::string text = log.text();
            EXPECT_NE(text.find(" code : 0<=device && device<deviceCount in "), std::string::npos)
                << what << " " << device << ": " << text;
        }
    }
}

// Stepping back from input 1 of a device without inputs stays in that device: input 0, whose
// name cannot be read.
TEST_F(DeviceListTest, StepsBackWithinADeviceThatHasNoInputs)
{
    addDevice("Cam A", {"a", "b"});
    addDevice("Cam B", {});
    ASSERT_TRUE(fill());
    QSGDeviceList::InputIterator it;
    it.device = 1;
    it.input = 1;
    p3dtest::LogCapture log;
    EXPECT_FALSE(list.GetPrevInput(it));
    EXPECT_EQ(camera(it), "1/0 :");
    const std::string text = log.text();
    EXPECT_NE(text.find(" code : iterator.input < deviceInputCount in "), std::string::npos)
        << text;
}

TEST_F(DeviceListTest, LongNamesArriveCutTo63Bytes)
{
    addDevice(std::string(80, 'd'), {std::string(80, 'i')});
    ASSERT_TRUE(fill());
    QSGDeviceList::InputIterator it;
    ASSERT_TRUE(list.GetFirstInput(it));
    EXPECT_LE(it.deviceName[0], 63);
    EXPECT_LE(it.inputName[0], 63);
    EXPECT_EQ(Text(it.inputName), std::string(it.inputName[0], 'd')); // one input: the card
}

} // namespace
