// The offscreen port and its wrapper: refusals, reports, bounds and format queries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CoreMachDebugLog.h"
#include "QGWorld.h"
#include "TestSupport.h"

namespace {

bool ReportedIn(const std::string& log, const std::string& prefix, const std::string& code,
                const std::string& function)
{
    const std::string head = prefix + " code : " + code + " in sdk/CoreG/QGWorld.cpp:";
    const size_t at = log.find(head);
    if (at == std::string::npos)
        return false;
    const std::string line = log.substr(at, log.find('\n', at) - at);
    return line.size() > function.size() + 2 &&
           line.compare(line.size() - function.size() - 2, std::string::npos,
                        "(" + function + ")") == 0;
}

TEST(QuickDraw, NewGWorldFromPtrRefusesBadArguments)
{
    std::vector<char> memory(64 * 4 * 8);
    const Rect bounds = {0, 0, 8, 64};
    GWorldPtr world = reinterpret_cast<GWorldPtr>(&memory); // must be overwritten
    EXPECT_EQ(QTNewGWorldFromPtr(nullptr, k32ARGBPixelFormat, &bounds, nullptr, nullptr, 0,
                                 memory.data(), 256),
              paramErr);
    const struct
    {
        OSType format;
        const Rect* bounds;
        void* base;
        long rowBytes;
    } refused[] = {
        {k32ARGBPixelFormat, nullptr, memory.data(), 256},
        {k32ARGBPixelFormat, &bounds, nullptr, 256},
        {k32ARGBPixelFormat, &bounds, memory.data(), 255},
        {k32ARGBPixelFormat, &bounds, memory.data(), -256},
        {FourCC("2vuy"), &bounds, memory.data(), 256},
        {0, &bounds, memory.data(), 256},
    };
    for (const auto& c : refused) {
        EXPECT_EQ(
            QTNewGWorldFromPtr(&world, c.format, c.bounds, nullptr, nullptr, 0, c.base, c.rowBytes),
            paramErr);
        EXPECT_EQ(world, nullptr);
    }
    for (const Rect& empty :
         {Rect{0, 0, 0, 64}, Rect{0, 0, 8, 0}, Rect{8, 0, 0, 64}, Rect{0, 64, 8, 0}}) {
        const OSErr err = QTNewGWorldFromPtr(&world, k8IndexedGrayPixelFormat, &empty, nullptr,
                                             nullptr, 0, memory.data(), 64);
        EXPECT_NE(err, noErr);
        EXPECT_EQ(world, nullptr);
        DisposeGWorld(world);
    }

    const Rect offset = {10, 20, 18, 84};
    ASSERT_EQ(QTNewGWorldFromPtr(&world, k8IndexedGrayPixelFormat, &offset, nullptr, nullptr, 0,
                                 memory.data(), 64),
              noErr);
    PixMapHandle pixMap = GetGWorldPixMap(world);
    EXPECT_TRUE(LockPixels(pixMap));
    EXPECT_EQ(GetPixBaseAddr(pixMap), memory.data());
    EXPECT_EQ(GetPixRowBytes(pixMap), 64);
    EXPECT_EQ((*pixMap)->pixelSize, 8);
    EXPECT_EQ((*pixMap)->pixelFormat, k8IndexedGrayPixelFormat);
    Rect got;
    GetPixBounds(pixMap, &got);
    EXPECT_EQ(got.top, 10);
    EXPECT_EQ(got.right, 84);
    UnlockPixels(pixMap);
    DisposeGWorld(world);
    EXPECT_EQ(GetGWorldPixMap(nullptr), nullptr);
    EXPECT_EQ(GetPixBaseAddr(nullptr), nullptr);
    DisposeGWorld(nullptr);
}

TEST(QGWorld, AliasBoundsFormatAndSizeComparison)
{
    std::vector<char> memory(100 * 4 * 30);
    QGWorld port;
    ASSERT_TRUE(port.ConstructAlias(memory.data(), 400, QPoint(100, 30), k32ARGBPixelFormat));
    const QRect bounds = port.Bounds();
    EXPECT_EQ(bounds.top, 0);
    EXPECT_EQ(bounds.left, 0);
    EXPECT_EQ(bounds.bottom, 30);
    EXPECT_EQ(bounds.right, 100);
    EXPECT_EQ(bounds.Width(), 100);
    EXPECT_EQ(bounds.Height(), 30);
    EXPECT_EQ(port.GetPixelFormat(), 32u);
    // Only width and height count, not where the rectangle lies.
    EXPECT_TRUE(port.IsSizePixelFormat(QRect(50, 7, 80, 107), 32));
    EXPECT_FALSE(port.IsSizePixelFormat(QRect(0, 0, 30, 101), 32));
    EXPECT_FALSE(port.IsSizePixelFormat(QRect(0, 0, 31, 100), 32));
    EXPECT_FALSE(port.IsSizePixelFormat(QRect(0, 0, 30, 100), 40));

    // A second alias replaces the first.
    ASSERT_TRUE(
        port.ConstructAlias(memory.data() + 4, 100, QPoint(90, 20), k8IndexedGrayPixelFormat));
    EXPECT_EQ(port.GetPixelFormat(), 40u);
    EXPECT_EQ(GetPixBaseAddr(GetGWorldPixMap(port.mGWorld)), memory.data() + 4);
    port.DisposeIF();
    EXPECT_EQ(port.mGWorld, nullptr);
    port.Destruct();
}

TEST(QGWorld, FailuresReportAndLeaveNoPort)
{
    std::vector<char> memory(256);
    QGWorld port;
    ASSERT_TRUE(port.ConstructAlias(memory.data(), 16, QPoint(4, 4), k32ARGBPixelFormat));

    p3dtest::LogCapture log;
    EXPECT_FALSE(port.ConstructAlias(nullptr, 0, QPoint(4, 4), k32ARGBPixelFormat));
    EXPECT_EQ(port.mGWorld, nullptr); // the earlier port went first
    EXPECT_FALSE(port.ConstructAlias(memory.data(), 16, QPoint(4, 4), FourCC("yuvs")));
    EXPECT_FALSE(port.ConstructAlias(memory.data(), 16, QPoint(4, 4), 0x100000020ul));
    EXPECT_FALSE(port.ConstructAlias(memory.data(), 16, QPoint(40000, 4), k32ARGBPixelFormat));
    EXPECT_EQ(port.GetPixelFormat(), 0u);
    EXPECT_FALSE(port.IsSizePixelFormat(QRect(0, 0, 4, 4), 32));
    const std::string text = log.text();
    EXPECT_TRUE(ReportedIn(text, "VERIFY FAILED: ", "inBaseAddr", "ConstructAlias")) << text;
    EXPECT_TRUE(ReportedIn(text, "VERIFY FAILED: ", "inRowBytes", "ConstructAlias")) << text;
    EXPECT_TRUE(ReportedIn(text, "VERIFY_ERR FAILED: OSErr:-50 ", "err", "ConstructAlias")) << text;
    EXPECT_TRUE(ReportedIn(text, "VERIFY FAILED: ", "mGWorld", "GetPixelFormat")) << text;

    try {
        port.Bounds();
        ADD_FAILURE() << "no exception";
    } catch (const CoreException& e) {
        EXPECT_STREQ(e.mMessage, "Nil exception pointer");
    }
}

TEST(QGWorld, PointsFromHorizontalAndVertical)
{
    const QPoint p(640, 480);
    EXPECT_EQ(p.h, 640);
    EXPECT_EQ(p.v, 480);
    EXPECT_EQ(QPoint(32767, -32768).h, 32767);
    EXPECT_EQ(QPoint(32768, 5).h, 0);
    EXPECT_EQ(QPoint(5, -40000).v, 0);
}

} // namespace
