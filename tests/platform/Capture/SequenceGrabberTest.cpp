// The sequence grabber's V4L2 code, run against the in-memory driver and the test-pattern camera.
#include <algorithm>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <linux/videodev2.h>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "FakeV4L2.h"
#include "ScopedTestPatternCamera.h"
#include "SequenceGrabber.h"
#include "TestPatternCamera.h"
#include "TestSupport.h"
#include "V4L2System.h"

namespace {

std::string Text(const unsigned char* in_pascal)
{
    return std::string(reinterpret_cast<const char*>(in_pascal + 1), in_pascal[0]);
}

std::vector<unsigned char> Pascal(const std::string& in_text)
{
    std::vector<unsigned char> name(in_text.size() + 1);
    name[0] = static_cast<unsigned char>(in_text.size());
    std::copy(in_text.begin(), in_text.end(), name.begin() + 1);
    return name;
}

struct Frame
{
    std::vector<UInt8> bytes;
    UInt64 timeUs;
};

class GrabberTest : public testing::Test
{
protected:
    ~GrabberTest() override { SGCloseComponent(grabber); }

    FakeV4L2Device& AddCamera(const std::string& in_card, std::vector<std::string> in_inputs)
    {
        FakeV4L2Device& device = fake.AddDevice();
        device.card = in_card;
        device.inputs = std::move(in_inputs);
        return device;
    }

    // Grabber, channel and the frame path, as the camera grabber sets them up.
    OSErr Open(const char* in_card = nullptr, short in_input = 0, SInt16 in_width = 640,
               SInt16 in_height = 480)
    {
        EXPECT_EQ(SGOpenComponent(&grabber), 0);
        EXPECT_EQ(SGInitialize(grabber), 0);
        EXPECT_EQ(SGSetDataRef(grabber, nullptr, 0, seqGrabDontMakeMovie), 0);
        OSErr err = SGNewVideoChannel(grabber, &channel);
        if (err != 0)
            return err;
        if (in_card != nullptr) {
            err = SGSetChannelDevice(channel, Pascal(in_card).data());
            if (err == 0)
                err = SGSetChannelDeviceInput(channel, in_input);
            if (err != 0)
                return err;
        }
        const Rect bounds = {0, 0, in_height, in_width};
        err = SGSetChannelBounds(channel, &bounds);
        if (err == 0)
            err = SGSetChannelUsage(channel, seqGrabRecord);
        if (err == 0)
            err = SGSetDataProc(grabber, &GrabberTest::DataProc, this);
        return err;
    }

    OSErr Start()
    {
        const OSErr err = SGPrepare(grabber, false, true);
        return err != 0 ? err : SGStartRecord(grabber);
    }

    SGSampleDescription Description()
    {
        SGSampleDescription description = {};
        EXPECT_EQ(SGGetChannelSampleDescription(channel, &description), 0);
        return description;
    }

    static OSErr DataProc(SGChannel in_channel, const UInt8* in_data, long in_length,
                          UInt64 in_timeUs, void* in_refCon)
    {
        auto* self = static_cast<GrabberTest*>(in_refCon);
        EXPECT_EQ(in_channel, self->channel);
        ++self->frameCount;
        self->lastLength = in_length;
        if (self->keepFrames)
            self->frames.push_back({std::vector<UInt8>(in_data, in_data + in_length), in_timeUs});
        return self->procResult;
    }

public: // the callbacks read these
    FakeV4L2 fake;
    ScopedV4L2System scope{fake};
    SeqGrabComponent grabber = nullptr;
    SGChannel channel = nullptr;
    std::vector<Frame> frames;
    bool keepFrames = true;
    OSErr procResult = 0;
    long frameCount = 0;
    long lastLength = 0;
};

// ---- the device list

TEST_F(GrabberTest, DeviceListInNodeOrderWithInputs)
{
    AddCamera("Front", {"Camera 1", "Camera 2"});
    AddCamera("Front", {}).capabilities = V4L2_CAP_META_CAPTURE; // its metadata node
    AddCamera("No Inputs", {});
    AddCamera("Twin", {"Same", "Same"});
    AddCamera(std::string(70, 'L'), {std::string(70, 'n')});
    ASSERT_EQ(Open(), 0);

    SGDeviceList list = nullptr;
    ASSERT_EQ(SGGetChannelDeviceList(channel, sgDeviceListIncludeInputs, &list), 0);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ((*list)->count, 4);
    const SGDeviceName* devices = (*list)->entry;
    // Inputs are listed by their cameras' names.
    EXPECT_EQ(Text(devices[0].name), "Front");
    ASSERT_NE(devices[0].inputs, nullptr);
    ASSERT_EQ((*devices[0].inputs)->count, 2);
    EXPECT_EQ(Text((*devices[0].inputs)->entry[0].name), "Front: Camera 1");
    EXPECT_EQ(Text((*devices[0].inputs)->entry[1].name), "Front: Camera 2");
    EXPECT_EQ(Text(devices[1].name), "No Inputs");
    EXPECT_EQ(devices[1].inputs, nullptr);
    EXPECT_EQ(Text(devices[2].name), "Twin");
    ASSERT_EQ((*devices[2].inputs)->count, 2);
    EXPECT_EQ(Text((*devices[2].inputs)->entry[0].name), "Twin: Same");
    EXPECT_EQ(Text((*devices[2].inputs)->entry[1].name), "Twin: Same (2)");
    // The kernel's own fields already cut long names; never more than 63 bytes either way.
    EXPECT_EQ(Text(devices[3].name), std::string(31, 'L'));
    EXPECT_EQ(Text((*devices[3].inputs)->entry[0].name), std::string(31, 'L'));
    EXPECT_EQ(SGDisposeDeviceList(grabber, list), 0);

    EXPECT_EQ(SGGetChannelDeviceList(nullptr, 0, &list), paramErr);
    EXPECT_EQ(list, nullptr);
}

TEST_F(GrabberTest, NoCaptureDeviceMeansNoChannel)
{
    AddCamera("Meta", {"x"}).capabilities = V4L2_CAP_META_CAPTURE;
    EXPECT_EQ(Open(), -ENODEV);
    EXPECT_EQ(channel, nullptr);
    SGDeviceList list = nullptr;
    ASSERT_EQ(SGNewDeviceList(&list), 0);
    EXPECT_EQ((*list)->count, 0);
    SGDisposeDeviceList(grabber, list);
}

// ---- choosing the camera

TEST_F(GrabberTest, DeviceByNameAndInputByIndex)
{
    AddCamera("Meta", {}).capabilities = V4L2_CAP_META_CAPTURE;
    FakeV4L2Device& first = AddCamera("Cam", {"Left", "Right"});
    FakeV4L2Device& twin = AddCamera("Cam", {"Other"});
    FakeV4L2Device& last = AddCamera("Desk", {"A", "B", "C"});
    ASSERT_EQ(SGOpenComponent(&grabber), 0);
    ASSERT_EQ(SGNewVideoChannel(grabber, &channel), 0);
    Str63 device, input;
    short number = -1;
    // The default camera is the first capture device, input 0; the channel names its device
    // by the camera, as the list names the camera.
    ASSERT_EQ(SGGetChannelDeviceAndInputNames(channel, device, input, &number), 0);
    EXPECT_EQ(Text(device), "Cam: Left");
    EXPECT_EQ(Text(input), "Cam: Left");
    EXPECT_EQ(number, 0);
    EXPECT_EQ(first.openCount, 1);

    ASSERT_EQ(SGSetChannelDevice(channel, Pascal("Desk").data()), 0);
    EXPECT_EQ(first.openCount, 0);
    EXPECT_EQ(last.openCount, 1);
    ASSERT_EQ(SGSetChannelDeviceInput(channel, 2), 0);
    EXPECT_EQ(last.currentInput, 2);
    ASSERT_EQ(SGGetChannelDeviceAndInputNames(channel, device, input, &number), 0);
    EXPECT_EQ(Text(device), "Desk: C");
    EXPECT_EQ(Text(input), "Desk: C");
    EXPECT_EQ(number, 2);
    EXPECT_NE(SGSetChannelDeviceInput(channel, 3), 0);
    // Once bounds are set, another input is asked for them again.
    const Rect bounds = {0, 0, 480, 640};
    ASSERT_EQ(SGSetChannelBounds(channel, &bounds), 0);
    last.sizes = {{320, 240}};
    ASSERT_EQ(SGSetChannelDeviceInput(channel, 1), 0);
    SGSampleDescription description = {};
    ASSERT_EQ(SGGetChannelSampleDescription(channel, &description), 0);
    EXPECT_EQ(description.width, 320);
    EXPECT_EQ(SGSetChannelDeviceInput(channel, -1), paramErr);

    // Devices of one card are told apart by their names. A name nobody has leaves the channel
    // where it was.
    ASSERT_EQ(SGSetChannelDevice(channel, Pascal("Cam (2)").data()), 0);
    EXPECT_EQ(twin.openCount, 1);
    ASSERT_EQ(SGGetChannelDeviceAndInputNames(channel, device, nullptr, nullptr), 0);
    EXPECT_EQ(Text(device), "Cam");
    ASSERT_EQ(SGSetChannelDevice(channel, Pascal("Cam").data()), 0);
    EXPECT_EQ(first.openCount, 1);
    EXPECT_EQ(twin.openCount, 0);
    EXPECT_EQ(SGSetChannelDevice(channel, Pascal("Ca").data()), -ENOENT);
    ASSERT_EQ(SGGetChannelDeviceAndInputNames(channel, device, nullptr, nullptr), 0);
    EXPECT_EQ(Text(device), "Cam: Left");
    EXPECT_EQ(first.openCount, 1);
    // Names compare byte for byte.
    EXPECT_EQ(SGSetChannelDevice(channel, Pascal("cam").data()), -ENOENT);
}

TEST_F(GrabberTest, MissingArgumentsAreParamErr)
{
    AddCamera("Cam", {"In"});
    SGChannel none = nullptr;
    EXPECT_EQ(SGOpenComponent(nullptr), paramErr);
    EXPECT_EQ(SGNewVideoChannel(nullptr, &none), paramErr);
    EXPECT_EQ(SGIdle(nullptr), paramErr);
    EXPECT_EQ(SGStartRecord(nullptr), paramErr);
    EXPECT_EQ(SGSetChannelBounds(nullptr, nullptr), paramErr);
    EXPECT_EQ(SGGetChannelSampleDescription(nullptr, nullptr), paramErr);
    EXPECT_EQ(SGSetChannelDevice(nullptr, Pascal("Cam").data()), paramErr);
    ASSERT_EQ(SGOpenComponent(&grabber), 0);
    EXPECT_EQ(SGStartRecord(grabber), paramErr); // no channel yet
    EXPECT_EQ(SGIdle(grabber), 0);
    EXPECT_EQ(SGSetGWorld(grabber, nullptr, nullptr), paramErr);
    EXPECT_EQ(SGSetDataRef(grabber, "movie", 0, 0), paramErr);
    ASSERT_EQ(SGNewVideoChannel(grabber, &channel), 0);
    EXPECT_EQ(SGNewVideoChannel(grabber, &none), paramErr); // one channel per grabber
    const Rect empty = {10, 10, 10, 20};
    EXPECT_EQ(SGSetChannelBounds(channel, &empty), paramErr);
    EXPECT_EQ(SGDisposeChannel(grabber, nullptr), paramErr);
}

TEST_F(GrabberTest, DestinationPortIsKept)
{
    AddCamera("Cam", {"In"});
    ASSERT_EQ(Open(), 0);
    // The port is only held for the frame path above; the grabber never draws into it.
    GWorld world = {};
    GWorldPtr port = &world;
    EXPECT_EQ(SGSetGWorld(grabber, port, nullptr), 0);
    EXPECT_EQ(SGGetGWorld(grabber), port);
}

// ---- format negotiation

TEST_F(GrabberTest, PixelFormatByPreference)
{
    const std::vector<std::pair<std::vector<uint32_t>, uint32_t>> cases = {
        {{V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_NV12, V4L2_PIX_FMT_MJPEG}, V4L2_PIX_FMT_MJPEG},
        {{V4L2_PIX_FMT_NV12, V4L2_PIX_FMT_YUYV}, V4L2_PIX_FMT_YUYV},
        {{V4L2_PIX_FMT_NV12, V4L2_PIX_FMT_UYVY}, V4L2_PIX_FMT_UYVY},
        {{V4L2_PIX_FMT_YUV420, V4L2_PIX_FMT_NV12}, V4L2_PIX_FMT_NV12},
        {{V4L2_PIX_FMT_GREY, V4L2_PIX_FMT_YUV420}, V4L2_PIX_FMT_YUV420},
    };
    for (size_t i = 0; i < cases.size(); ++i)
        AddCamera("Cam " + std::to_string(i), {"In"}).formats = cases[i].first;
    AddCamera("Grey", {"In"}).formats = {V4L2_PIX_FMT_GREY};
    ASSERT_EQ(SGOpenComponent(&grabber), 0);
    ASSERT_EQ(SGNewVideoChannel(grabber, &channel), 0);
    const Rect bounds = {0, 0, 480, 640};
    for (size_t i = 0; i < cases.size(); ++i) {
        ASSERT_EQ(SGSetChannelDevice(channel, Pascal("Cam " + std::to_string(i)).data()), 0);
        ASSERT_EQ(SGSetChannelBounds(channel, &bounds), 0);
        EXPECT_EQ(Description().fourcc, cases[i].second) << i;
        EXPECT_EQ(fake.DeviceAt("/dev/video" + std::to_string(i))->fourcc, cases[i].second);
    }
    // Nothing the decompressor can read.
    ASSERT_EQ(SGSetChannelDevice(channel, Pascal("Grey").data()), 0);
    p3dtest::LogCapture log;
    EXPECT_EQ(SGSetChannelBounds(channel, &bounds), -EINVAL);
    EXPECT_NE(log.text().find("fourcc != 0"), std::string::npos);
}

TEST_F(GrabberTest, RefusedSizeIsAnsweredWithAnother)
{
    AddCamera("Small", {"In"}).sizes = {{320, 240}, {160, 120}};
    ASSERT_EQ(Open(nullptr, 0, 640, 480), 0);
    SGSampleDescription description = Description();
    EXPECT_EQ(description.width, 320);
    EXPECT_EQ(description.height, 240);
    EXPECT_EQ(description.fourcc, V4L2_PIX_FMT_YUYV);
    // An accepted size is taken as asked.
    const Rect bounds = {0, 0, 120, 160};
    ASSERT_EQ(SGSetChannelBounds(channel, &bounds), 0);
    EXPECT_EQ(Description().width, 160);
}

TEST_F(GrabberTest, NonsenseSizesAreRefusedWithAReport)
{
    FakeV4L2Device& device = AddCamera("Odd", {"In"});
    for (const FakeFrameSize answer : {FakeFrameSize{100000, 480}, FakeFrameSize{640, 0}}) {
        device.answerSize = answer;
        p3dtest::LogCapture log;
        SGCloseComponent(grabber);
        grabber = nullptr;
        EXPECT_EQ(Open(), -EINVAL);
        EXPECT_EQ(Description().width, 0);
        // Starting asks again and is refused again; nothing streams.
        EXPECT_EQ(Start(), -EINVAL);
        EXPECT_FALSE(device.streaming);
        EXPECT_NE(log.text().find("unusable format"), std::string::npos);
    }
}

// ---- streaming

// Damaged frames never reach the callback, a frame the callback refuses is its caller's news, and
// every buffer goes back to the driver either way.
TEST_F(GrabberTest, DamagedAndRefusedFramesAreQueuedAgain)
{
    FakeV4L2Device& device = AddCamera("Cam", {"In"});
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(Start(), 0);
    for (UInt8 i = 1; i <= 3; ++i)
        device.PushFrame({i});
    device.damagedFrames = 2;
    p3dtest::LogCapture log;
    EXPECT_EQ(SGIdle(grabber), 0);
    const std::string text = log.text();
    EXPECT_NE(text.find("Cam: dropped damaged frame 1"), std::string::npos) << text;
    EXPECT_NE(text.find("Cam: dropped damaged frame 2"), std::string::npos) << text;
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].bytes, std::vector<UInt8>{3});
    EXPECT_EQ(device.QueuedBuffers(), 4u);

    procResult = -8960;
    device.PushFrame({4});
    device.PushFrame({5});
    EXPECT_EQ(SGIdle(grabber), -8960); // the rest waits for the next idle
    EXPECT_EQ(frames.size(), 2u);
    EXPECT_EQ(device.QueuedBuffers(), 4u);
    procResult = 0;
    EXPECT_EQ(SGIdle(grabber), 0);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[2].bytes, std::vector<UInt8>{5});
}

TEST_F(GrabberTest, BoundsSetWhileStreamingApplyAtTheNextStart)
{
    FakeV4L2Device& device = AddCamera("Cam", {"In"});
    device.sizes = {{640, 480}, {320, 240}};
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(Start(), 0);
    const Rect smaller = {0, 0, 240, 320};
    ASSERT_EQ(SGSetChannelBounds(channel, &smaller), 0);
    EXPECT_EQ(Description().width, 640); // what streams now
    EXPECT_EQ(device.width, 640u);
    ASSERT_EQ(SGStop(grabber), 0);
    ASSERT_EQ(Start(), 0);
    EXPECT_EQ(Description().width, 320);
    EXPECT_EQ(Description().height, 240);
    EXPECT_EQ(device.width, 320u);
}

TEST_F(GrabberTest, FramesGoThroughTheCallbackAndBuffersAreQueuedAgain)
{
    FakeV4L2Device& device = AddCamera("Cam", {"In"});
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(SGPrepare(grabber, false, true), 0);
    EXPECT_TRUE(device.streaming);
    EXPECT_EQ(device.BufferCount(), 4u);
    EXPECT_EQ(device.QueuedBuffers(), 4u);

    // Prepared but not recording: frames wait.
    device.PushFrame({1, 1, 1}, 10);
    EXPECT_EQ(SGIdle(grabber), 0);
    EXPECT_TRUE(frames.empty());

    ASSERT_EQ(SGStartRecord(grabber), 0);
    // Nothing changes under mapped buffers.
    EXPECT_EQ(SGSetChannelDevice(channel, Pascal("Cam").data()), -EBUSY);
    EXPECT_EQ(SGSetChannelDeviceInput(channel, 0), -EBUSY);
    for (UInt8 i = 2; i <= 6; ++i)
        device.PushFrame(std::vector<UInt8>(i, i), 10 * i);
    // One round of the four buffers per idle.
    EXPECT_EQ(SGIdle(grabber), 0);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(SGIdle(grabber), 0);
    ASSERT_EQ(frames.size(), 6u);
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].bytes, std::vector<UInt8>(i + 1 == 1 ? 3 : i + 1, UInt8(i + 1)));
        EXPECT_EQ(frames[i].timeUs, 10u * (i + 1));
    }
    EXPECT_EQ(device.QueuedBuffers(), 4u);
    EXPECT_EQ(device.queueCount, 4u + 6u);
    EXPECT_EQ(SGIdle(grabber), 0); // nothing ready
    EXPECT_EQ(frames.size(), 6u);

    EXPECT_EQ(SGStop(grabber), 0);
    EXPECT_FALSE(device.streaming);
    EXPECT_EQ(device.BufferCount(), 0u);
    device.PushFrame({7});
    EXPECT_EQ(SGIdle(grabber), 0);
    EXPECT_EQ(frames.size(), 6u);
    // Started again on the same channel.
    ASSERT_EQ(SGStartRecord(grabber), 0);
    EXPECT_EQ(SGIdle(grabber), 0);
    EXPECT_EQ(frames.size(), 7u);
    EXPECT_EQ(SGDisposeChannel(grabber, channel), 0);
    EXPECT_EQ(device.openCount, 0);
}

// Held frames wait undecoded with their buffers; the one taken goes through the callback, it and
// the older ones go back to the driver, and frames given back unseen are counted.
TEST_F(GrabberTest, HeldFramesWaitForTheCallersChoice)
{
    FakeV4L2Device& device = AddCamera("Cam", {"In"});
    ASSERT_EQ(Open(), 0);
    EXPECT_EQ(SGSetHoldFrames(grabber, kSGMaxHeldFrames + 1), paramErr);
    ASSERT_EQ(SGSetHoldFrames(grabber, 2), 0);
    ASSERT_EQ(Start(), 0);
    for (UInt8 i = 1; i <= 3; ++i)
        device.PushFrame({i}, 10 * i);
    EXPECT_EQ(SGIdle(grabber), 0);
    EXPECT_TRUE(frames.empty());
    UInt64 times[kSGMaxHeldFrames] = {};
    ASSERT_EQ(SGGetHeldFrameTimes(grabber, times, kSGMaxHeldFrames), 2);
    EXPECT_EQ(times[0], 20u); // the oldest went back when the third came
    EXPECT_EQ(times[1], 30u);
    EXPECT_EQ(device.QueuedBuffers(), 2u);

    UInt32 passedOver = 99;
    EXPECT_EQ(SGTakeHeldFrame(grabber, 2, &passedOver), paramErr);
    EXPECT_EQ(passedOver, 0u);
    ASSERT_EQ(SGTakeHeldFrame(grabber, 0, &passedOver), 0);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].timeUs, 20u);
    EXPECT_EQ(passedOver, 1u); // the frame of 10
    EXPECT_EQ(SGGetHeldFrameTimes(grabber, times, kSGMaxHeldFrames), 1);
    EXPECT_EQ(device.QueuedBuffers(), 3u);

    // Stopped, nothing is held; switched off, what is held goes back before new frames come.
    device.PushFrame({4}, 40);
    EXPECT_EQ(SGIdle(grabber), 0);
    ASSERT_EQ(SGSetHoldFrames(grabber, 0), 0);
    device.PushFrame({5}, 50);
    EXPECT_EQ(SGIdle(grabber), 0);
    EXPECT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames.back().timeUs, 50u);
    EXPECT_EQ(device.QueuedBuffers(), 4u);
    ASSERT_EQ(SGSetHoldFrames(grabber, 1), 0);
    device.PushFrame({6}, 60);
    EXPECT_EQ(SGIdle(grabber), 0);
    EXPECT_EQ(SGStop(grabber), 0);
    EXPECT_EQ(SGGetHeldFrameTimes(grabber, times, kSGMaxHeldFrames), 0);
    EXPECT_EQ(SGTakeHeldFrame(grabber, 0, nullptr), paramErr);
}

TEST_F(GrabberTest, CameraUnpluggedClosesTheChannel)
{
    for (const bool fromPoll : {false, true}) {
        SCOPED_TRACE(fromPoll ? "poll" : "DQBUF");
        FakeV4L2 driver;
        ScopedV4L2System inner(driver);
        FakeV4L2Device& device = driver.AddDevice();
        SGCloseComponent(grabber);
        grabber = nullptr;
        ASSERT_EQ(Open(), 0);
        ASSERT_EQ(Start(), 0);
        device.PushFrame({1});
        if (fromPoll)
            device.failPoll = EIO;
        else
            device.failIoctl[VIDIOC_DQBUF] = ENODEV;
        p3dtest::LogCapture log;
        const OSErr lost = fromPoll ? OSErr(-EIO) : OSErr(-ENODEV);
        EXPECT_EQ(SGIdle(grabber), lost);
        EXPECT_NE(log.text().find("the camera is gone"), std::string::npos);
        EXPECT_EQ(device.openCount, 0);
        EXPECT_TRUE(frames.empty());
        // The channel answers the loss until it is disposed; nothing touches the device.
        EXPECT_EQ(SGIdle(grabber), lost);
        EXPECT_EQ(SGStartRecord(grabber), lost);
        const Rect bounds = {0, 0, 480, 640};
        EXPECT_EQ(SGSetChannelBounds(channel, &bounds), lost);
        EXPECT_EQ(SGStop(grabber), 0);
        EXPECT_EQ(SGDisposeChannel(grabber, channel), 0);
        // Plugged in again: a new channel streams.
        device.failPoll = 0;
        device.failIoctl.clear();
        ASSERT_EQ(SGNewVideoChannel(grabber, &channel), 0);
        ASSERT_EQ(SGSetChannelBounds(channel, &bounds), 0);
        ASSERT_EQ(Start(), 0);
        EXPECT_EQ(SGIdle(grabber), 0);
        EXPECT_EQ(frames.size(), 1u);
        frames.clear();
        SGCloseComponent(grabber);
        grabber = nullptr;
    }
}

TEST_F(GrabberTest, NoRoomOnTheBusRetriesWithMJPEG)
{
    // The driver answered YUYV at first, though it offers MJPEG.
    FakeV4L2Device& device = AddCamera("Cam", {"In"});
    device.formats = {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_MJPEG};
    device.answerFourccOnce = V4L2_PIX_FMT_YUYV;
    device.streamOnNoSpaceFor = V4L2_PIX_FMT_YUYV;
    ASSERT_EQ(Open(), 0);
    EXPECT_EQ(Description().fourcc, V4L2_PIX_FMT_YUYV);
    p3dtest::LogCapture log;
    ASSERT_EQ(SGPrepare(grabber, false, true), 0);
    EXPECT_EQ(log.text().find("USB"), std::string::npos);
    EXPECT_EQ(device.streamOnCount, 2);
    EXPECT_TRUE(device.streaming);
    // The description the caller reads before starting is the format that streams.
    EXPECT_EQ(Description().fourcc, V4L2_PIX_FMT_MJPEG);
    EXPECT_EQ(SGStartRecord(grabber), 0);
}

TEST_F(GrabberTest, NoRoomOnTheBusIsExplainedToTheUser)
{
    FakeV4L2Device& device = AddCamera("Desk Camera", {"In"});
    device.streamOnNoSpaceFor = V4L2_PIX_FMT_YUYV; // and no MJPEG to fall back on
    ASSERT_EQ(Open(), 0);
    p3dtest::LogCapture log;
    EXPECT_EQ(SGPrepare(grabber, false, true), -ENOSPC);
    EXPECT_NE(log.text().find("Desk Camera: the USB bus has no room for another uncompressed "
                              "stream; plug one camera into another USB port or lower the size"),
              std::string::npos);
    EXPECT_FALSE(device.streaming);
    EXPECT_EQ(device.BufferCount(), 0u);
    EXPECT_EQ(device.streamOnCount, 1);
    // The channel stays usable: room on the bus later, and it starts.
    device.streamOnNoSpaceFor = 0;
    EXPECT_EQ(SGStartRecord(grabber), 0);
    EXPECT_TRUE(device.streaming);
}

TEST_F(GrabberTest, BufferIndexOutOfRangeIsDroppedWithAReport)
{
    FakeV4L2Device& device = AddCamera("Cam", {"In"});
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(Start(), 0);
    device.dqbufBadIndexOnce = true;
    device.PushFrame({1, 2});
    device.PushFrame({3, 4});
    p3dtest::LogCapture log;
    EXPECT_EQ(SGIdle(grabber), 0);
    EXPECT_NE(log.text().find("buf.index < mBufferCount"), std::string::npos);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].bytes, (std::vector<UInt8>{3, 4}));
}

TEST_F(GrabberTest, CallbackMayStopTheGrabber)
{
    FakeV4L2Device& device = AddCamera("Cam", {"In"});
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(SGSetDataProc(
                  grabber,
                  [](SGChannel, const UInt8*, long, UInt64, void* refCon) -> OSErr {
                      auto* self = static_cast<GrabberTest*>(refCon);
                      ++self->frameCount;
                      return SGStop(self->grabber);
                  },
                  this),
              0);
    ASSERT_EQ(Start(), 0);
    device.PushFrame({1});
    device.PushFrame({2});
    EXPECT_EQ(SGIdle(grabber), 0);
    EXPECT_EQ(frameCount, 1);
    EXPECT_EQ(device.BufferCount(), 0u);
}

// ---- the test-pattern camera through the whole path

TEST_F(GrabberTest, TestPatternCameraEndToEndWithoutAllocationPerIdle)
{
    uint64_t now = 0;
    TestPatternCamera camera([&now] { return now; });
    AddCamera("Cam", {"In"});
    camera.Configure(fake.AddDevice());
    fake.DeviceAt("/dev/video1")->formats = {V4L2_PIX_FMT_YUYV};
    ASSERT_EQ(Open(TestPatternCamera::kCardName, 1), 0);
    Str63 device, input;
    ASSERT_EQ(SGGetChannelDeviceAndInputNames(channel, device, input, nullptr), 0);
    EXPECT_EQ(Text(device), "Parallax3D Test Pattern: Right Eye");
    EXPECT_EQ(Text(input), "Parallax3D Test Pattern: Right Eye");
    const SGSampleDescription description = Description();
    EXPECT_EQ(description.fourcc, V4L2_PIX_FMT_YUYV);
    EXPECT_EQ(description.width, 640);
    EXPECT_EQ(description.height, 480);
    ASSERT_EQ(Start(), 0);

    ASSERT_EQ(SGIdle(grabber), 0);
    ASSERT_EQ(frames.size(), 1u);
    ASSERT_EQ(frames[0].bytes.size(), 640u * 480u * 2u);
    // The camera's own frame, unchanged.
    TestPatternCamera same([&now] { return now; });
    std::vector<UInt8> expected(frames[0].bytes.size());
    uint64_t time = 0;
    same.FillFrame(*fake.DeviceAt("/dev/video1"), expected.data(), expected.size(), &time);
    EXPECT_TRUE(frames[0].bytes == expected);
    EXPECT_EQ(SGIdle(grabber), 0); // same frame time: nothing new
    EXPECT_EQ(frames.size(), 1u);

    keepFrames = false;
    for (int i = 0; i < 8; ++i) { // warm
        now += 1000000 / 30 + 1;
        SGIdle(grabber);
    }
    const long before = p3dtest::AllocationCount();
    for (int i = 0; i < 60; ++i) {
        now += 1000000 / 30 + 1;
        ASSERT_EQ(SGIdle(grabber), 0);
    }
    EXPECT_EQ(p3dtest::AllocationCount(), before);
    EXPECT_EQ(frameCount, 1 + 8 + 60);
    EXPECT_EQ(lastLength, 640 * 480 * 2);
}

TEST_F(GrabberTest, TestPatternCameraSendsMJPEGByPreference)
{
    uint64_t now = 0;
    TestPatternCamera camera([&now] { return now; });
    camera.Configure(fake.AddDevice());
    ASSERT_EQ(Open(TestPatternCamera::kCardName, 0, 320, 240), 0);
    EXPECT_EQ(Description().fourcc, uint32_t(V4L2_PIX_FMT_MJPEG));
    ASSERT_EQ(Start(), 0);
    ASSERT_EQ(SGIdle(grabber), 0);
    ASSERT_EQ(frames.size(), 1u);
    // A whole JPEG: start and end of image.
    ASSERT_GT(frames[0].bytes.size(), 4u);
    EXPECT_EQ(frames[0].bytes[0], 0xFF);
    EXPECT_EQ(frames[0].bytes[1], 0xD8);
    EXPECT_EQ(frames[0].bytes[frames[0].bytes.size() - 2], 0xFF);
    EXPECT_EQ(frames[0].bytes.back(), 0xD9);
}

TEST(SequenceGrabberKernel, TestPatternListedAfterRealDevicesWhenAsked)
{
    SGDeviceList list = nullptr;
    {
        p3dtest::ScopedEnv asked("PARALLAX3D_TEST_CAMERAS", "1");
        const ScopedTestPatternCamera testPattern;
        ASSERT_EQ(SGNewDeviceList(&list), 0);
        ASSERT_GE((*list)->count, 1);
        const SGDeviceName& last = (*list)->entry[(*list)->count - 1];
        EXPECT_EQ(Text(last.name), "Parallax3D Test Pattern");
        ASSERT_NE(last.inputs, nullptr);
        ASSERT_EQ((*last.inputs)->count, 2);
        EXPECT_EQ(Text((*last.inputs)->entry[0].name), "Parallax3D Test Pattern: Left Eye");
        EXPECT_EQ(Text((*last.inputs)->entry[1].name), "Parallax3D Test Pattern: Right Eye");
        SGDisposeDeviceList(nullptr, list);

        // Streams through the kernel seam like any camera.
        SeqGrabComponent grabber = nullptr;
        SGChannel channel = nullptr;
        ASSERT_EQ(SGOpenComponent(&grabber), 0);
        ASSERT_EQ(SGNewVideoChannel(grabber, &channel), 0);
        ASSERT_EQ(SGSetChannelDevice(channel, Pascal("Parallax3D Test Pattern").data()), 0);
        const Rect bounds = {0, 0, 240, 320};
        ASSERT_EQ(SGSetChannelBounds(channel, &bounds), 0);
        ASSERT_EQ(SGPrepare(grabber, false, true), 0);
        ASSERT_EQ(SGStartRecord(grabber), 0);
        EXPECT_EQ(SGStop(grabber), 0);
        EXPECT_EQ(SGCloseComponent(grabber), 0);
    }

    ASSERT_EQ(SGNewDeviceList(&list), 0);
    for (SInt16 i = 0; i < (*list)->count; ++i)
        EXPECT_NE(Text((*list)->entry[i].name), "Parallax3D Test Pattern");
    SGDisposeDeviceList(nullptr, list);
}

} // namespace
