// frei0r plug-ins: the search path, skipping what is not a usable filter, the byte order and
// premultiplication at the plug-in's edge, and real installed filters.
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "AllocationCounter.h"
#include "Frei0rInstance.h"
#include "Frei0rPlugIn.h"
#include "TestSupport.h"

using CoreImage::Frei0rInstance;
using CoreImage::Frei0rParameter;
using CoreImage::Frei0rPlugIn;

namespace {

using p3dtest::ScopedEnv;

void Copy(const std::string& from, const std::string& to)
{
    p3dtest::WriteFile(to, p3dtest::ReadFile(from));
}

std::shared_ptr<Frei0rPlugIn> Find(const std::vector<std::shared_ptr<Frei0rPlugIn>>& plugIns,
                                   const std::string& name)
{
    for (const auto& plugIn : plugIns)
        if (plugIn->name() == name)
            return plugIn;
    return nullptr;
}

int Round(double v)
{
    return int(std::lround(v));
}

TEST(Frei0rPlugIn, SearchPathFollowsTheFrei0rConvention)
{
    {
        ScopedEnv path("FREI0R_PATH", "/opt/a::relative/b:");
        EXPECT_EQ(Frei0rPlugIn::SearchPath(), (std::vector<std::string>{"/opt/a", "relative/b"}));
    }
    ScopedEnv path("FREI0R_PATH", nullptr);
    const std::vector<std::string> folders = Frei0rPlugIn::SearchPath();
    ASSERT_EQ(folders.size(), 4u);
    EXPECT_EQ(folders[0], std::string(std::getenv("HOME")) + "/.frei0r-1/lib");
    EXPECT_EQ(folders[1], "/usr/local/lib/frei0r-1");
    EXPECT_EQ(folders[2], "/usr/lib/frei0r-1");
    EXPECT_EQ(folders[3], std::string("/usr/lib/") + P3D_MULTIARCH + "/frei0r-1");
}

TEST(Frei0rPlugIn, OnlyLoadableFiltersAreKept)
{
    p3dtest::TempDir first, second;
    p3dtest::WriteFile(first.file("text.so"), "not a library\n");
    Copy(P3D_EMPTY_LIBRARY, first.file("empty.so"));
    Copy(P3D_SOURCE_FIXTURE, first.file("source.so"));
    Copy(P3D_FILTER_FIXTURE, first.file("readme.txt")); // not named .so: never opened
    ASSERT_EQ(mkdir(first.file("vendor").c_str(), 0755), 0);
    Copy(P3D_FILTER_FIXTURE, first.file("vendor/filter.so"));
    ASSERT_EQ(symlink(first.file("vendor/filter.so").c_str(), first.file("link.so").c_str()), 0);
    Copy(P3D_FILTER_FIXTURE, second.file("again.so"));
    const std::string list = first.path() + ":" + second.path() + ":" + second.file("missing");
    ScopedEnv path("FREI0R_PATH", list.c_str());

    p3dtest::LogCapture log;
    const auto plugIns = Frei0rPlugIn::LoadAllPlugIns();
    const std::string text = log.text();
    ASSERT_EQ(plugIns.size(), 1u) << text;
    const Frei0rPlugIn& filter = *plugIns[0];
    EXPECT_EQ(filter.name(), "p3d fixture filter");
    EXPECT_EQ(filter.path(), first.file("link.so")) << "top-level files before vendor folders";
    EXPECT_EQ(filter.author(), "Parallax3D tests");
    EXPECT_EQ(filter.explanation(), "Clears red, sets blue");
    ASSERT_EQ(filter.parameters().size(), 1u);
    EXPECT_EQ(filter.parameters()[0].name, "blue");
    EXPECT_EQ(filter.parameters()[0].type, Frei0rParameter::kDouble);
    EXPECT_EQ(filter.parameters()[0].explanation, "Blue level, 0 to 1");
    EXPECT_EQ(filter.parameterIndex("blue"), 0);
    EXPECT_EQ(filter.parameterIndex("red"), -1);

    EXPECT_NE(text.find("text.so does not load"), std::string::npos) << text;
    EXPECT_NE(text.find("empty.so is not a frei0r plug-in: no f0r_init"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("source.so"), std::string::npos) << "another kind, not a fault: " << text;
    EXPECT_NE(text.find("again.so is hidden"), std::string::npos) << text;
    EXPECT_NE(text.find("vendor/filter.so is hidden"), std::string::npos) << text;
    EXPECT_EQ(Frei0rPlugIn::Load(first.file("link.so")), plugIns[0]) << "one library, one plug-in";

    EXPECT_EQ(Frei0rPlugIn::Load(first.file("nothing-here.so")), nullptr);
}

struct Frame
{
    size_t width, height, rowBytes;
    std::vector<uint8_t> bytes;
    uint8_t* pixel(size_t x, size_t y) { return &bytes[y * rowBytes + x * 4]; }
};

// Premultiplied A,R,G,B with every alpha kind and 12 bytes of padding per row.
Frame TestFrame(size_t width, size_t height, uint8_t padding)
{
    Frame frame{width, height, width * 4 + 12, {}};
    frame.bytes.assign(frame.rowBytes * height, padding);
    for (size_t y = 0; y < height; ++y)
        for (size_t x = 0; x < width; ++x) {
            const int a = x == 0 ? 255 : x == 1 ? 0 : int((x * 37 + y * 91) % 256);
            uint8_t* p = frame.pixel(x, y);
            p[0] = uint8_t(a);
            for (int c = 1; c < 4; ++c)
                p[c] = uint8_t(Round(((x * 53 + y * 29 + size_t(c) * 71) % 256) * a / 255.0));
        }
    return frame;
}

TEST(Frei0rInstance, ConvertsToThePlugInsByteOrderAndBack)
{
    auto plugIn = Frei0rPlugIn::Load(P3D_FILTER_FIXTURE);
    ASSERT_NE(plugIn, nullptr);
    EXPECT_EQ(plugIn->colorModel(), 0); // B,G,R,A

    // 13 x 5 is no multiple of 8: the fixture refuses such frames, so this also shows the
    // frame was padded.
    auto instance = Frei0rInstance::Create(plugIn, 13, 5);
    ASSERT_NE(instance, nullptr);
    ASSERT_TRUE(instance->setDouble(0, 0.4));
    const Frame source = TestFrame(13, 5, 0xEE);
    for (bool inPlace : {false, true}) {
        Frame in = source;
        Frame separate = source;
        std::fill(separate.bytes.begin(), separate.bytes.end(), 0xEE);
        Frame& target = inPlace ? in : separate;
        const long allocations = p3dtest::AllocationCount();
        ASSERT_TRUE(instance->update(1.0 / 30, in.bytes.data(), in.rowBytes, target.bytes.data(),
                                     target.rowBytes));
        EXPECT_EQ(p3dtest::AllocationCount(), allocations) << "a frame allocates nothing";
        for (size_t y = 0; y < 5; ++y) {
            for (size_t x = 0; x < 13; ++x) {
                const uint8_t* s = &source.bytes[y * source.rowBytes + x * 4];
                const uint8_t* d = target.pixel(x, y);
                const int a = s[0];
                // Straight green survives the round trip; blue is 0.4 of full.
                const int green = a ? std::min(255, Round(s[2] * 255.0 / a)) : 0;
                EXPECT_EQ(d[0], a) << x << "," << y;
                EXPECT_EQ(d[1], 0) << x << "," << y;
                EXPECT_EQ(d[2], Round(green * a / 255.0)) << x << "," << y;
                EXPECT_EQ(d[3], Round(102 * a / 255.0)) << x << "," << y;
            }
            for (size_t n = 13 * 4; n < target.rowBytes; ++n)
                EXPECT_EQ(target.bytes[y * target.rowBytes + n], 0xEE) << "padding of row " << y;
        }
    }
}

TEST(Frei0rInstance, PixelOnlyPlugInsGetOurBytesAsTheyAre)
{
    auto plugIn = Frei0rPlugIn::Load(P3D_PACKED_FIXTURE);
    ASSERT_NE(plugIn, nullptr);
    EXPECT_EQ(plugIn->colorModel(), 2); // PACKED32
    auto instance = Frei0rInstance::Create(plugIn, 9, 2);
    ASSERT_NE(instance, nullptr);
    ASSERT_TRUE(instance->setDouble(0, 1.0));
    Frame frame = TestFrame(9, 2, 0);
    const Frame before = frame;
    // No premultiplying round trip: the fixture's byte 2 is our green, byte 0 our alpha.
    ASSERT_TRUE(instance->update(0, frame.bytes.data(), frame.rowBytes, frame.bytes.data(),
                                 frame.rowBytes));
    for (size_t y = 0; y < 2; ++y)
        for (size_t x = 0; x < 9; ++x) {
            const uint8_t* s = &before.bytes[y * before.rowBytes + x * 4];
            const uint8_t* d = frame.pixel(x, y);
            EXPECT_EQ(d[0], 255);
            EXPECT_EQ(d[1], s[1]);
            EXPECT_EQ(d[2], 0);
            EXPECT_EQ(d[3], s[3]);
        }
}

TEST(Frei0rInstance, RefusesBadSizesValuesAndFrames)
{
    auto plugIn = Frei0rPlugIn::Load(P3D_FILTER_FIXTURE);
    ASSERT_NE(plugIn, nullptr);
    p3dtest::LogCapture log;
    EXPECT_EQ(Frei0rInstance::Create(plugIn, 0, 8), nullptr);
    EXPECT_EQ(Frei0rInstance::Create(plugIn, 8, Frei0rInstance::kMaxSide + 1), nullptr);
    EXPECT_EQ(Frei0rInstance::Create(nullptr, 8, 8), nullptr);

    auto instance = Frei0rInstance::Create(plugIn, 8, 8);
    ASSERT_NE(instance, nullptr);
    EXPECT_FALSE(instance->setDouble(1, 0.5));
    EXPECT_FALSE(instance->setDouble(-1, 0.5));
    EXPECT_FALSE(instance->setBool(0, true)) << "the parameter is a double";
    EXPECT_FALSE(instance->setColor(0, 1, 1, 1));
    EXPECT_FALSE(instance->setString(0, "x"));
    std::vector<uint8_t> frame(8 * 8 * 4);
    EXPECT_FALSE(instance->update(0, nullptr, 32, frame.data(), 32));
    EXPECT_FALSE(instance->update(0, frame.data(), 31, frame.data(), 32));
    EXPECT_FALSE(instance->update(0, frame.data(), 32, frame.data(), 28));
    EXPECT_TRUE(instance->update(0, frame.data(), 32, frame.data(), 32));
    EXPECT_NE(log.text().find("has no parameter 1"), std::string::npos);

    // The plug-in stays loaded while an instance uses it.
    plugIn.reset();
    EXPECT_TRUE(instance->update(0, frame.data(), 32, frame.data(), 32));
}

// ---- installed plug-ins

std::vector<std::shared_ptr<Frei0rPlugIn>> Installed()
{
    ScopedEnv path("FREI0R_PATH", nullptr);
    p3dtest::LogCapture quiet; // plug-ins of the system that do not load are reported
    return Frei0rPlugIn::LoadAllPlugIns();
}

TEST(Frei0rInstalled, Invert0rInvertsStraightColour)
{
    const auto plugIns = Installed();
    const auto invert = Find(plugIns, "Invert0r");
    if (!invert)
        GTEST_SKIP() << "frei0r-plugins is not installed (no invert0r)";
    for (const auto& plugIn : plugIns)
        EXPECT_NE(plugIn->name(), "") << plugIn->path();
    EXPECT_EQ(Find(plugIns, "Lissajous0r"), nullptr) << "sources are not filters";

    auto instance = Frei0rInstance::Create(invert, 11, 3);
    ASSERT_NE(instance, nullptr);
    Frame frame = TestFrame(11, 3, 0);
    for (size_t y = 0; y < 3; ++y)
        for (size_t x = 0; x < 11; ++x)
            frame.pixel(x, y)[0] = 255; // opaque, so the colours are exact
    const Frame before = frame;
    ASSERT_TRUE(instance->update(0, frame.bytes.data(), frame.rowBytes, frame.bytes.data(),
                                 frame.rowBytes));
    for (size_t y = 0; y < 3; ++y)
        for (size_t x = 0; x < 11; ++x) {
            const uint8_t* s = &before.bytes[y * before.rowBytes + x * 4];
            const uint8_t* d = frame.pixel(x, y);
            EXPECT_EQ(d[0], 255);
            for (int c = 1; c < 4; ++c)
                EXPECT_EQ(d[c], 255 - s[c]) << x << "," << y << " channel " << c;
        }
}

TEST(Frei0rInstalled, BrightnessHasItsParameterAndBrightens)
{
    const auto brightness = Find(Installed(), "Brightness");
    if (!brightness)
        GTEST_SKIP() << "frei0r-plugins is not installed (no brightness)";
    const int index = brightness->parameterIndex("Brightness");
    ASSERT_GE(index, 0);
    EXPECT_EQ(brightness->parameters()[size_t(index)].type, Frei0rParameter::kDouble);
    EXPECT_FALSE(brightness->parameters()[size_t(index)].explanation.empty());

    auto instance = Frei0rInstance::Create(brightness, 16, 8);
    ASSERT_NE(instance, nullptr);
    std::vector<uint8_t> in(16 * 8 * 4), out(in.size());
    for (size_t n = 0; n < in.size(); n += 4) {
        in[n] = 255;
        in[n + 1] = 100;
        in[n + 2] = 50;
        in[n + 3] = 200;
    }
    ASSERT_TRUE(instance->setDouble(index, 0.5)); // the middle leaves colours alone
    ASSERT_TRUE(instance->update(0, in.data(), 64, out.data(), 64));
    EXPECT_EQ(out, in);
    ASSERT_TRUE(instance->setDouble(index, 0.75));
    ASSERT_TRUE(instance->update(0, in.data(), 64, out.data(), 64));
    EXPECT_EQ(out[0], 255);
    EXPECT_GT(out[1], 100);
    EXPECT_GT(out[2], 50);
    EXPECT_GT(out[3], 200);
    EXPECT_EQ(out[1], out[16 * 8 * 4 - 3]) << "every pixel alike";
}

} // namespace
