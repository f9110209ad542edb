// The system-call seam, the typed ioctl wrappers, the in-memory driver and the test-pattern
// camera, below the sequence grabber.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <linux/videodev2.h>
#include <pthread.h>
#include <sched.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "FakeV4L2.h"
#include "ScopedTestPatternCamera.h"
#include "TestPatternCamera.h"
#include "TestSupport.h"
#include "V4L2Device.h"
#include "V4L2NodeRouter.h"
#include "V4L2System.h"
#include "V4L2VideoDevice.h"

namespace {

TEST(V4L2Seam, ScopedSystemIsUsedAndTheKernelComesBack)
{
    V4L2System* kernel = &V4L2Sys();
    FakeV4L2 fake;
    {
        ScopedV4L2System outer(fake);
        EXPECT_EQ(&V4L2Sys(), &fake);
        FakeV4L2 inner;
        {
            ScopedV4L2System scope(inner);
            EXPECT_EQ(&V4L2Sys(), &inner);
        }
        EXPECT_EQ(&V4L2Sys(), &fake);
    }
    EXPECT_EQ(&V4L2Sys(), kernel);
}

TEST(V4L2Seam, RouterSendsEachDescriptorAndMappingBackToItsSystem)
{
    FakeV4L2 base;
    base.AddDevice().card = "Base Camera";
    FakeV4L2 added;
    FakeV4L2Device& extra = added.AddDevice("/dev/added");
    extra.card = "Added Camera";
    V4L2NodeRouter router(base, added);
    ScopedV4L2System scope(router);

    std::vector<std::string> nodes;
    V4L2Sys().ListNodes(nodes);
    EXPECT_EQ(nodes, (std::vector<std::string>{"/dev/video0", "/dev/added"}));

    int baseFd = -1, addedFd = -1;
    ASSERT_EQ(V4L2::Open("/dev/video0", &baseFd), 0);
    ASSERT_EQ(V4L2::Open("/dev/added", &addedFd), 0);
    EXPECT_NE(baseFd, addedFd);
    for (const auto& [fd, card] : {std::pair{baseFd, "Base Camera"}, {addedFd, "Added Camera"}}) {
        v4l2_capability cap;
        ASSERT_EQ(V4L2::QueryCapability(fd, cap), 0);
        EXPECT_EQ(V4L2::FieldText(cap.card, sizeof cap.card), card);
    }

    v4l2_format format;
    ASSERT_EQ(V4L2::SetFormat(addedFd, V4L2_PIX_FMT_YUYV, 640, 480, format), 0);
    v4l2_requestbuffers request = {};
    request.count = 1;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    ASSERT_EQ(V4L2Sys().Ioctl(addedFd, VIDIOC_REQBUFS, &request), 0);
    EXPECT_EQ(extra.BufferCount(), 1u);
    v4l2_buffer buf = {};
    buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buf.memory = V4L2_MEMORY_MMAP;
    ASSERT_EQ(V4L2Sys().Ioctl(addedFd, VIDIOC_QUERYBUF, &buf), 0);
    void* address = nullptr;
    ASSERT_EQ(V4L2Sys().Mmap(addedFd, buf.length, buf.m.offset, &address), 0);
    EXPECT_EQ(V4L2Sys().Munmap(address, buf.length), 0);

    V4L2::Close(addedFd);
    EXPECT_EQ(extra.openCount, 0);
    // A closed descriptor is nobody's: the base answers it.
    EXPECT_EQ(V4L2Sys().Close(addedFd), -EBADF);
    V4L2::Close(baseFd);
    EXPECT_EQ(base.DeviceAt("/dev/video0")->openCount, 0);
}

TEST(V4L2Seam, TestPatternNodeListedLastOnlyWhenAsked)
{
    const char* const node = TestPatternCamera::kNode;
    std::vector<std::string> nodes;
    int fd = -1;
    {
        p3dtest::ScopedEnv unasked("PARALLAX3D_TEST_CAMERAS", nullptr);
        const ScopedTestPatternCamera testPattern;
        EXPECT_FALSE(testPattern.IsServed());
        V4L2Sys().ListNodes(nodes);
        EXPECT_EQ(std::count(nodes.begin(), nodes.end(), node), 0);
        EXPECT_EQ(V4L2::Open(node, &fd), -ENOENT);
        EXPECT_EQ(fd, -1);
    }

    p3dtest::ScopedEnv asked("PARALLAX3D_TEST_CAMERAS", "1");
    {
        const ScopedTestPatternCamera testPattern;
        EXPECT_TRUE(testPattern.IsServed());
        V4L2Sys().ListNodes(nodes);
        ASSERT_FALSE(nodes.empty());
        EXPECT_EQ(nodes.back(), node);
        // Real nodes come in numeric order, video2 before video10.
        for (size_t i = 1; i + 1 < nodes.size(); ++i)
            EXPECT_LT(std::atoi(nodes[i - 1].c_str() + 10), std::atoi(nodes[i].c_str() + 10));
        ASSERT_EQ(V4L2::Open(node, &fd), 0);
        v4l2_capability cap;
        EXPECT_EQ(V4L2::QueryCapability(fd, cap), 0);
        EXPECT_EQ(V4L2::FieldText(cap.card, sizeof cap.card), TestPatternCamera::kCardName);
        V4L2::Close(fd);
        EXPECT_EQ(fd, -1);
    }
    // Gone with its scope, and the kernel is the seam again.
    V4L2Sys().ListNodes(nodes);
    EXPECT_EQ(std::count(nodes.begin(), nodes.end(), node), 0);
    EXPECT_EQ(&V4L2Sys(), &V4L2Kernel());
}

TEST(V4L2Seam, KernelWriteAnswersNegativeErrno)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const char text[] = "frame";
    EXPECT_EQ(V4L2Sys().Write(fds[1], text, 5), 5);
    char back[8] = {};
    EXPECT_EQ(read(fds[0], back, sizeof back), 5);
    EXPECT_STREQ(back, "frame");

    struct sigaction ignore = {}, old = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &old);
    close(fds[0]);
    EXPECT_EQ(V4L2Sys().Write(fds[1], text, 5), -EPIPE);
    sigaction(SIGPIPE, &old, nullptr);
    close(fds[1]);
    EXPECT_EQ(V4L2Sys().Write(-1, text, 5), -EBADF);
}

std::atomic<int> sInterrupts{0};

char ThreadState(pid_t in_tid)
{
    std::ifstream stat("/proc/self/task/" + std::to_string(in_tid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t end = line.rfind(')');
    return end != std::string::npos && end + 2 < line.size() ? line[end + 2] : '?';
}

// Runs in_blockingCall on this thread while another thread interrupts it once with a signal
// whose handler is installed without SA_RESTART, as the program's own are, then runs in_unblock
// so the call can end. The call must go on after the signal, not report it.
template <class BlockingCall, class Unblock>
void InterruptedOnce(BlockingCall in_blockingCall, Unblock in_unblock)
{
    struct sigaction count = {}, old = {};
    count.sa_handler = [](int) { ++sInterrupts; };
    sigaction(SIGUSR1, &count, &old);
    sInterrupts = 0;
    const pid_t caller = gettid();
    const pthread_t callerThread = pthread_self();
    std::thread helper([&] {
        while (ThreadState(caller) != 'S') // asleep in the call
            sched_yield();
        pthread_kill(callerThread, SIGUSR1);
        while (sInterrupts == 0)
            sched_yield();
        in_unblock();
    });
    in_blockingCall();
    helper.join();
    sigaction(SIGUSR1, &old, nullptr);
    EXPECT_EQ(sInterrupts, 1);
}

TEST(V4L2Seam, KernelWriteAndPollGoOnAfterASignal)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    const std::string block(4096, 'x');
    while (write(fds[1], block.data(), block.size()) > 0) {
    }
    while (write(fds[1], "x", 1) > 0) {
    }
    fcntl(fds[1], F_SETFL, 0);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    // A write into the full pipe, until room is made.
    InterruptedOnce([&] { EXPECT_EQ(V4L2Sys().Write(fds[1], "y", 1), 1); },
                    [&] {
                        std::string sink(block.size(), 0);
                        while (read(fds[0], sink.data(), sink.size()) > 0) {
                        }
                    });
    char left[8];
    while (read(fds[0], left, sizeof left) > 0) {
    }
    // A wait for the empty pipe, for the time that is left, until a byte arrives.
    struct pollfd ready = {fds[0], POLLIN, 0};
    InterruptedOnce([&] { EXPECT_EQ(V4L2Sys().Poll(&ready, 1, 60000), 1); },
                    [&] { EXPECT_EQ(write(fds[1], "z", 1), 1); });
    EXPECT_TRUE(ready.revents & POLLIN);
    close(fds[0]);
    close(fds[1]);
}

TEST(V4L2Wrappers, FieldsWithoutTerminatorAndCapabilities)
{
    uint8_t field[8];
    memset(field, 'x', sizeof field);
    EXPECT_EQ(V4L2::FieldText(field, sizeof field), "xxxxxxxx");
    field[3] = 0;
    EXPECT_EQ(V4L2::FieldText(field, sizeof field), "xxx");

    v4l2_capability cap = {};
    cap.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_DEVICE_CAPS;
    cap.device_caps = V4L2_CAP_META_CAPTURE; // the metadata node of a capture device
    EXPECT_FALSE(V4L2::IsVideoCapture(cap));
    cap.device_caps = V4L2_CAP_VIDEO_CAPTURE;
    EXPECT_TRUE(V4L2::IsVideoCapture(cap));
    cap.capabilities = V4L2_CAP_VIDEO_CAPTURE; // an old driver without device_caps
    cap.device_caps = 0;
    EXPECT_TRUE(V4L2::IsVideoCapture(cap));

    // A loopback device that a program reads: the whole device does both, the node only capture.
    cap.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_DEVICE_CAPS;
    cap.device_caps = V4L2_CAP_VIDEO_CAPTURE;
    EXPECT_FALSE(V4L2::IsVideoOutput(cap));
    cap.device_caps = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_READWRITE;
    EXPECT_TRUE(V4L2::IsVideoOutput(cap));
    EXPECT_FALSE(V4L2::IsVideoCapture(cap));
}

class FakeDriverTest : public testing::Test
{
protected:
    // 640 x 480 YUYV asked of an open device, then its stream started.
    static int StartStreaming(V4L2VideoDevice& io_device)
    {
        v4l2_format format = {};
        format.fmt.pix.width = 640;
        format.fmt.pix.height = 480;
        format.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
        const int err = io_device.SetFormat(format);
        return err != 0 ? err : io_device.StartStreaming();
    }

    FakeV4L2 fake;
    ScopedV4L2System scope{fake};
};

TEST_F(FakeDriverTest, NamesAreCutToTheKernelFields)
{
    FakeV4L2Device& device = fake.AddDevice();
    device.card = std::string(70, 'c');
    device.inputs = {std::string(70, 'i')};
    int fd = -1;
    ASSERT_EQ(V4L2::Open("/dev/video0", &fd), 0);
    v4l2_capability cap;
    ASSERT_EQ(V4L2::QueryCapability(fd, cap), 0);
    EXPECT_EQ(V4L2::FieldText(cap.card, sizeof cap.card), std::string(sizeof cap.card - 1, 'c'));
    v4l2_input input;
    ASSERT_EQ(V4L2::EnumInput(fd, 0, input), 0);
    EXPECT_EQ(V4L2::FieldText(input.name, sizeof input.name).size(), sizeof input.name - 1);
    EXPECT_EQ(V4L2::EnumInput(fd, 1, input), -EINVAL);
    EXPECT_EQ(V4L2::SetInput(fd, 1), -EINVAL);
    EXPECT_EQ(V4L2::Open("/dev/video9", &fd), -ENOENT);
    EXPECT_EQ(V4L2Sys().Ioctl(12345, VIDIOC_QUERYCAP, &cap), -EBADF);
}

TEST_F(FakeDriverTest, FormatsAndSizesAreEnumeratedAndEmptyListsRefused)
{
    FakeV4L2Device& device = fake.AddDevice();
    device.formats = {V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_YUYV};
    device.sizes = {{1280, 720}, {640, 480}};
    int fd = -1;
    ASSERT_EQ(V4L2::Open("/dev/video0", &fd), 0);
    uint32_t fourcc = 0;
    ASSERT_EQ(V4L2::EnumFormat(fd, 1, &fourcc), 0);
    EXPECT_EQ(fourcc, uint32_t(V4L2_PIX_FMT_YUYV));
    EXPECT_EQ(V4L2::EnumFormat(fd, 2, &fourcc), -EINVAL);
    EXPECT_EQ(fourcc, 0u);
    v4l2_frmsizeenum size;
    ASSERT_EQ(V4L2::EnumFrameSize(fd, V4L2_PIX_FMT_MJPEG, 1, size), 0);
    EXPECT_EQ(size.discrete.width, 640u);
    EXPECT_EQ(V4L2::EnumFrameSize(fd, V4L2_PIX_FMT_NV12, 0, size), -EINVAL);

    // A driver with nothing to offer refuses rather than inventing a format.
    device.formats.clear();
    v4l2_format format;
    EXPECT_EQ(V4L2::SetFormat(fd, V4L2_PIX_FMT_YUYV, 640, 480, format), -EINVAL);
    V4L2::Close(fd);
}

TEST_F(FakeDriverTest, StreamingCycleCopiesFramesIntoMappedBuffers)
{
    FakeV4L2Device& device = fake.AddDevice();
    device.sizes = {{320, 240}};
    int fd = -1;
    ASSERT_EQ(V4L2::Open("/dev/video0", &fd), 0);
    v4l2_format format;
    ASSERT_EQ(V4L2::SetFormat(fd, V4L2_PIX_FMT_YUYV, 640, 480, format), 0);
    EXPECT_EQ(format.fmt.pix.width, 320u); // refused, and answered with what it has
    EXPECT_EQ(format.fmt.pix.height, 240u);

    uint32_t count = 4;
    ASSERT_EQ(V4L2::RequestBuffers(fd, &count), 0);
    ASSERT_EQ(count, 4u);
    void* mapped[4] = {};
    for (uint32_t i = 0; i < count; ++i) {
        v4l2_buffer buf;
        ASSERT_EQ(V4L2::QueryBuffer(fd, i, buf), 0);
        ASSERT_EQ(V4L2Sys().Mmap(fd, buf.length, off_t(buf.m.offset), &mapped[i]), 0);
        ASSERT_EQ(V4L2::QueueBuffer(fd, i), 0);
    }
    EXPECT_EQ(V4L2::QueueBuffer(fd, 0), -EINVAL); // already queued
    ASSERT_EQ(V4L2::StreamOn(fd), 0);

    v4l2_buffer buf;
    EXPECT_EQ(V4L2::DequeueBuffer(fd, buf), -EAGAIN);
    pollfd ready = {fd, POLLIN, 0};
    EXPECT_EQ(V4L2Sys().Poll(&ready, 1, 0), 0);

    device.PushFrame({1, 2, 3}, 1500000);
    device.PushFrame(std::vector<uint8_t>(320 * 240 * 2 + 100, 9)); // longer than a buffer
    EXPECT_EQ(V4L2Sys().Poll(&ready, 1, 0), 1);
    ASSERT_EQ(V4L2::DequeueBuffer(fd, buf), 0);
    EXPECT_EQ(buf.bytesused, 3u);
    EXPECT_EQ(buf.timestamp.tv_sec, 1);
    EXPECT_EQ(buf.timestamp.tv_usec, 500000);
    EXPECT_EQ(memcmp(mapped[buf.index], "\1\2\3", 3), 0);
    ASSERT_EQ(V4L2::DequeueBuffer(fd, buf), 0);
    EXPECT_EQ(buf.bytesused, buf.length);
    EXPECT_EQ(device.QueuedBuffers(), 2u);

    device.failPoll = ENODEV;
    EXPECT_EQ(V4L2Sys().Poll(&ready, 1, 0), -ENODEV);
    ASSERT_EQ(V4L2::StreamOff(fd), 0);
    V4L2::Close(fd);
    EXPECT_EQ(device.BufferCount(), 0u);
}

// Only monotonic stamps are comparable between the eyes; any other clock is replaced by the
// moment of the dequeue.
TEST_F(FakeDriverTest, FramesAreStampedOnTheMonotonicClock)
{
    FakeV4L2Device& camera = fake.AddDevice();
    V4L2VideoDevice device("/dev/video0");
    ASSERT_EQ(device.Open(), 0);
    ASSERT_EQ(StartStreaming(device), 0);
    const auto now = [] {
        timespec time{};
        clock_gettime(CLOCK_MONOTONIC, &time);
        return uint64_t(time.tv_sec) * 1000000u + uint64_t(time.tv_nsec) / 1000u;
    };
    V4L2VideoDevice::Frame frame;
    for (const uint32_t clock : {V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC, V4L2_BUF_FLAG_TIMESTAMP_COPY}) {
        camera.timestampFlags = clock;
        camera.PushFrame({1, 2, 3}, 1500000);
        const uint64_t before = now();
        ASSERT_EQ(device.Dequeue(frame), 0);
        ASSERT_EQ(device.Queue(frame.index), 0);
        if (clock == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC)
            EXPECT_EQ(frame.timeUs, 1500000u);
        else
            EXPECT_TRUE(frame.timeUs >= before && frame.timeUs <= now()) << frame.timeUs;
    }
}

// The device's state through its life; a lost device lets go of everything at once and answers
// its error until it is opened again.
TEST_F(FakeDriverTest, VideoDeviceStatesAndALostDevice)
{
    using State = V4L2VideoDevice::State;
    FakeV4L2Device& camera = fake.AddDevice();
    camera.card = "Cam";
    camera.busInfo = "usb-1-1";
    camera.inputs = {"A", "B"};
    {
        V4L2VideoDevice device("/dev/video0");
        EXPECT_EQ(device.GetState(), State::kClosed);
        EXPECT_EQ(device.SetInput(1), -EBADF);
        ASSERT_EQ(device.Open(), 0);
        EXPECT_EQ(device.GetState(), State::kOpen);
        EXPECT_EQ(device.Card(), "Cam");
        EXPECT_EQ(device.BusInfo(), "usb-1-1");
        EXPECT_TRUE(device.CanCapture());
        EXPECT_EQ(device.InputNames(), (std::vector<std::string>{"A", "B"}));
        ASSERT_EQ(StartStreaming(device), 0);
        EXPECT_EQ(device.GetState(), State::kStreaming);
        EXPECT_EQ(camera.QueuedBuffers(), V4L2VideoDevice::kMaxBuffers);
        device.StopStreaming();
        EXPECT_EQ(device.GetState(), State::kOpen);
        EXPECT_EQ(camera.BufferCount(), 0u);

        ASSERT_EQ(device.StartStreaming(), 0);
        camera.PushFrame({1, 2, 3});
        camera.failIoctl[VIDIOC_DQBUF] = ENODEV;
        EXPECT_EQ(device.Poll(0), 1);
        V4L2VideoDevice::Frame frame;
        EXPECT_EQ(device.Dequeue(frame), -ENODEV);
        EXPECT_EQ(device.GetState(), State::kLost);
        EXPECT_EQ(camera.openCount, 0);
        camera.failIoctl.clear();
        for (const int answer : {device.Poll(0), device.SetInput(0), device.StartStreaming(),
                                 device.Dequeue(frame), device.Queue(0)})
            EXPECT_EQ(answer, -ENODEV);
        EXPECT_EQ(camera.openCount, 0); // nothing reached the device

        // A failed open leaves it closed, not lost; a good one open.
        camera.failOpen = EACCES;
        EXPECT_EQ(device.Open(), -EACCES);
        EXPECT_EQ(device.GetState(), State::kClosed);
        EXPECT_EQ(device.SetInput(0), -EBADF);
        camera.failOpen = 0;
        ASSERT_EQ(device.Open(), 0);
        EXPECT_EQ(device.GetState(), State::kOpen);
        EXPECT_EQ(device.LostError(), 0);
        EXPECT_EQ(camera.openCount, 1);
    }
    EXPECT_EQ(camera.openCount, 0); // the descriptor goes with the object
}

} // namespace
