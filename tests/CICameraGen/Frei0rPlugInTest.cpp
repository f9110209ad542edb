// The plug-in as a frei0r host sees it, loaded with dlopen in this process: its exports, what
// it says about itself, careless hosts, and the frames it renders at the host's size.
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

#include "AllocationCounter.h"
#include "ChannelFrames.h"
#include "ChannelNamespace.h"
#include "ChannelReset.h"
#include "Folders.h"
#include "PlugInFrames.h"
#include "StampedChannelWriter.h"
#include "TestSupport.h"

using p3dtest::Child;

namespace {

const int kTimeoutMs = 20000;

struct PlugIn
{
    PlugIn()
    {
        handle = dlopen(P3D_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return;
        init = reinterpret_cast<int (*)()>(dlsym(handle, "f0r_init"));
        info = reinterpret_cast<void (*)(f0r_plugin_info_t*)>(dlsym(handle, "f0r_get_plugin_info"));
        paramInfo =
            reinterpret_cast<void (*)(f0r_param_info_t*, int)>(dlsym(handle, "f0r_get_param_info"));
        construct = reinterpret_cast<f0r_instance_t (*)(unsigned, unsigned)>(
            dlsym(handle, "f0r_construct"));
        destruct = reinterpret_cast<void (*)(f0r_instance_t)>(dlsym(handle, "f0r_destruct"));
        setParam = reinterpret_cast<void (*)(f0r_instance_t, f0r_param_t, int)>(
            dlsym(handle, "f0r_set_param_value"));
        getParam = reinterpret_cast<void (*)(f0r_instance_t, f0r_param_t, int)>(
            dlsym(handle, "f0r_get_param_value"));
        update = reinterpret_cast<void (*)(f0r_instance_t, double, const uint32_t*, uint32_t*)>(
            dlsym(handle, "f0r_update"));
    }
    ~PlugIn()
    {
        if (!handle)
            return;
        if (auto deinit = reinterpret_cast<void (*)()>(dlsym(handle, "f0r_deinit")))
            deinit();
        dlclose(handle);
    }
    bool loaded() const
    {
        return init && info && paramInfo && construct && destruct && setParam && getParam && update;
    }
    // One frame of width x height from a fresh instance, as the host's bytes.
    std::string frame(unsigned width, unsigned height)
    {
        std::vector<uint32_t> pixels(size_t(width) * height, 0x12345678u);
        f0r_instance_t instance = construct(width, height);
        EXPECT_NE(instance, nullptr);
        if (instance) {
            update(instance, 0.0, nullptr, pixels.data());
            destruct(instance);
        }
        return std::string(reinterpret_cast<const char*>(pixels.data()), pixels.size() * 4);
    }
    // The next 640 x 480 frame of a running instance, as the host's bytes.
    std::string next(f0r_instance_t instance)
    {
        std::string pixels(640 * 480 * 4, '\0');
        update(instance, 0.0, nullptr, reinterpret_cast<uint32_t*>(pixels.data()));
        return pixels;
    }

    void* handle = nullptr;
    int (*init)() = nullptr;
    void (*info)(f0r_plugin_info_t*) = nullptr;
    void (*paramInfo)(f0r_param_info_t*, int) = nullptr;
    f0r_instance_t (*construct)(unsigned, unsigned) = nullptr;
    void (*destruct)(f0r_instance_t) = nullptr;
    void (*setParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*getParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*update)(f0r_instance_t, double, const uint32_t*, uint32_t*) = nullptr;
};

class Frei0rPlugInTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!p3dtest::InPrivateChannelNamespace())
            GTEST_SKIP() << p3dtest::PrivateChannelNamespaceError();
        p3dtest::RemoveChannel(p3dtest::ChannelPath());
        components = p3dtest::LinkUserComponent();
        ASSERT_FALSE(components.empty());
        ASSERT_TRUE(plugIn.loaded()) << dlerror();
        ASSERT_EQ(plugIn.init(), 1);
    }

    std::string components;
    PlugIn plugIn;
};

TEST(Frei0rPlugInExports, OnlyTheFrei0rEntriesAndTheLogSwitch)
{
    EXPECT_EQ(p3dtest::ExportedNames(P3D_PLUGIN_PATH),
              (std::set<std::string>{"f0r_init", "f0r_deinit", "f0r_get_plugin_info",
                                     "f0r_get_param_info", "f0r_construct", "f0r_destruct",
                                     "f0r_set_param_value", "f0r_get_param_value", "f0r_update",
                                     "BundleInitFunc"}));
}

TEST_F(Frei0rPlugInTest, DescribesASourceWithOneClockParameter)
{
    f0r_plugin_info_t info = {};
    plugIn.info(&info);
    EXPECT_STREQ(info.name, "CIParallax3DInput");
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_SOURCE);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);
    EXPECT_EQ(info.num_params, 1);
    ASSERT_NE(info.explanation, nullptr);

    f0r_param_info_t param = {};
    plugIn.paramInfo(&param, 0);
    EXPECT_STREQ(param.name, "inputClock");
    EXPECT_EQ(param.type, F0R_PARAM_DOUBLE);
    f0r_param_info_t untouched = {};
    plugIn.paramInfo(&untouched, 1);
    plugIn.paramInfo(&untouched, -1);
    EXPECT_EQ(untouched.name, nullptr);
    plugIn.info(nullptr);
    plugIn.paramInfo(nullptr, 0);
}

TEST_F(Frei0rPlugInTest, CarelessHostsGetNothingWrittenAndNoCrash)
{
    EXPECT_EQ(plugIn.construct(0, 240), nullptr);
    EXPECT_EQ(plugIn.construct(320, 0), nullptr);
    EXPECT_EQ(plugIn.construct(100000, 100000), nullptr);
    std::vector<uint32_t> frame(320 * 240, 7);
    plugIn.update(nullptr, 0, nullptr, frame.data());
    EXPECT_EQ(frame[0], 7u);
    plugIn.destruct(nullptr);

    f0r_instance_t instance = plugIn.construct(320, 240);
    ASSERT_NE(instance, nullptr);
    plugIn.update(instance, 1.5, nullptr, nullptr);
    double clock = 1234.5;
    plugIn.setParam(instance, &clock, 0);
    plugIn.setParam(instance, nullptr, 0);
    plugIn.setParam(instance, &clock, 3);
    plugIn.setParam(nullptr, &clock, 0);
    double read = 0;
    plugIn.getParam(instance, &read, 0);
    EXPECT_EQ(read, 1234.5);
    plugIn.getParam(instance, nullptr, 0);
    plugIn.destruct(instance);
}

TEST_F(Frei0rPlugInTest, WithoutABroadcastShowsTheNoCameraPicture)
{
    EXPECT_TRUE(plugIn.frame(640, 480) == p3dtest::NoCameraPictureRgba());
}

TEST_F(Frei0rPlugInTest, ABroadcastFrameComesOutByteForByteInTheHostsOrder)
{
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "0", "61"}));
    EXPECT_TRUE(plugIn.frame(640, 480) == p3dtest::NumberedFrameRgba(61));
}

TEST_F(Frei0rPlugInTest, OtherHostSizesGetTheFrameScaledToThem)
{
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish-bars", "0"}));
    for (auto [width, height] : {std::pair{320u, 240u}, std::pair{1280u, 720u}}) {
        const std::string pixels = plugIn.frame(width, height);
        for (int bar = 0; bar < 8; ++bar) {
            const UInt32 rgb = p3dtest::kBarColours[bar];
            const UInt8 want[4] = {UInt8(rgb >> 16), UInt8(rgb >> 8), UInt8(rgb), 255};
            const size_t x = (size_t(bar) * 2 + 1) * width / 16;
            for (size_t y : {size_t(0), size_t(height / 2), size_t(height - 1)}) {
                UInt8 got[4];
                memcpy(got, &pixels[(y * width + x) * 4], 4);
                EXPECT_EQ(memcmp(got, want, 4), 0)
                    << width << "x" << height << " bar " << bar << " row " << y;
            }
        }
    }
}

TEST_F(Frei0rPlugInTest, TheStampedChannelIsTakenWhileItsWriterLivesAndTheClassicOneAfter)
{
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "0", "61"}));
    StampedChannelWriter writer;
    ASSERT_TRUE(writer.Open(StampedChannelFile::DefaultPath(), 1280, 720));
    writer.SetConnectionsAllowed(true);
    const int n = writer.BeginFrame();
    ASSERT_GE(n, 0);
    const UInt8 argb[4] = {0xFF, 0x10, 0x20, 0x30};
    for (size_t i = 0; i < 1280 * 720; ++i)
        memcpy(writer.Buffer(n) + i * 4, argb, 4);
    ASSERT_TRUE(writer.EndFrame({}));

    const std::string pixels = plugIn.frame(1280, 720);
    const UInt8 rgba[4] = {0x10, 0x20, 0x30, 0xFF};
    for (size_t i : {size_t(0), size_t(640 * 360), size_t(1280 * 720 - 1)})
        EXPECT_EQ(memcmp(&pixels[i * 4], rgba, 4), 0) << "pixel " << i;
    // A host of another shape gets it between bars, as the classic picture has it.
    const std::string fitted = plugIn.frame(640, 480);
    const UInt8 black[4] = {0, 0, 0, 0xFF};
    EXPECT_EQ(memcmp(&fitted[59 * 640 * 4], black, 4), 0);
    EXPECT_EQ(memcmp(&fitted[60 * 640 * 4], rgba, 4), 0);

    writer.Close();
    EXPECT_TRUE(plugIn.frame(640, 480) == p3dtest::NumberedFrameRgba(61)) << "the classic frame";
}

TEST_F(Frei0rPlugInTest, AComponentWithoutExportsIsNoBroadcast)
{
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "0", "3"}));
    p3dtest::RemoveTree(components);
    const std::string bundle = components + "/Parallax3D_XXX.component";
    ASSERT_EQ(system(("mkdir -p '" + bundle + "' && cp '" P3D_EMPTY_LIBRARY_PATH "' '" + bundle +
                      "/Parallax3D_XXX.so'")
                         .c_str()),
              0);
    EXPECT_TRUE(plugIn.frame(640, 480) == p3dtest::NoCameraPictureRgba());
}

TEST_F(Frei0rPlugInTest, WithoutAComponentItShowsItsPictureAndCreatesNothing)
{
    p3dtest::RemoveTree(components);
    EXPECT_TRUE(plugIn.frame(640, 480) == p3dtest::NoCameraPictureRgba());
    EXPECT_NE(access(components.c_str(), F_OK), 0) << "the plug-in created " << components;
    EXPECT_NE(access(p3dtest::ChannelPath().c_str(), F_OK), 0);
}

TEST_F(Frei0rPlugInTest, WhileAnotherProcessHoldsTheFrameTheLastFrameReadIsShown)
{
    p3dtest::ComponentExports writer;
    ASSERT_TRUE(writer.loaded());
    ASSERT_TRUE(p3dtest::PublishFrame(writer, 70)); // into buffer 0
    f0r_instance_t seen = plugIn.construct(640, 480);
    f0r_instance_t fresh = plugIn.construct(640, 480);
    ASSERT_TRUE(seen && fresh);
    ASSERT_TRUE(plugIn.next(seen) == p3dtest::NumberedFrameRgba(70));

    Child holder({CHANNEL_HELPER_PATH, "hold-current"});
    ASSERT_EQ(holder.readLine(kTimeoutMs), "holding");
    // A writer fills the buffer while it is locked: none of it may reach the host.
    SHARED_CAMERA_BUFFER buffer0 = p3dtest::ComponentExports::Record();
    ASSERT_TRUE(writer.GetWriteableFrameBuffer(0, &buffer0));
    p3dtest::FillFrame(buffer0.frameBufferPtr, 71);
    struct Case
    {
        const char* what;
        f0r_instance_t instance;
        std::string shown;
    };
    const Case cases[] = {
        {"an instance that read frame 70", seen, p3dtest::NumberedFrameRgba(70)},
        {"an instance that never read a frame", fresh, p3dtest::NoCameraPictureRgba()},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(plugIn.next(c.instance) == c.shown) << c.what;

    kill(holder.pid(), SIGUSR1);
    ASSERT_EQ(holder.readLine(kTimeoutMs), "released");
    EXPECT_EQ(holder.wait(kTimeoutMs), 0);
    for (const Case& c : cases)
        EXPECT_TRUE(plugIn.next(c.instance) == p3dtest::NumberedFrameRgba(71)) << c.what;
    plugIn.destruct(seen);
    plugIn.destruct(fresh);
}

TEST_F(Frei0rPlugInTest, ASteadyBroadcastAllocatesNothingPerFrameLockedOrNot)
{
    p3dtest::ComponentExports writer;
    ASSERT_TRUE(writer.loaded());
    ASSERT_TRUE(p3dtest::PublishFrame(writer, 80));
    f0r_instance_t instance = plugIn.construct(640, 480);
    ASSERT_NE(instance, nullptr);
    std::vector<uint32_t> frame(640 * 480);
    for (int i = 0; i < 2; ++i) // loads the component and keeps the first copy
        plugIn.update(instance, 0.0, nullptr, frame.data());

    auto allocationsOfThreeFrames = [&] {
        const long before = p3dtest::AllocationCount();
        for (int i = 0; i < 3; ++i)
            plugIn.update(instance, 0.0, nullptr, frame.data());
        return p3dtest::AllocationCount() - before;
    };
    EXPECT_EQ(allocationsOfThreeFrames(), 0) << "live frames";
    Child holder({CHANNEL_HELPER_PATH, "hold-current"});
    ASSERT_EQ(holder.readLine(kTimeoutMs), "holding");
    EXPECT_EQ(allocationsOfThreeFrames(), 0) << "the kept frame while the lock is held";
    kill(holder.pid(), SIGUSR1);
    EXPECT_EQ(holder.wait(kTimeoutMs), 0);
    plugIn.destruct(instance);
}

} // namespace
