// ffmpeg's stereo3d filter computes the same anaglyphs with its own arithmetic: every encoding's
// stereo image must equal its output within 1 per channel, and the frame packings equal its
// half-size packings, squeezed by its own area scaler, within 2.
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "CIORBStereoMuxFilter.h"
#include "RenderImage.h"
#include "StereoEncodingList.h"
#include "StereoMuxKernel.h"
#include "StereoPacking.h"
#include "TestSupport.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// An opaque eye: smooth ramps, blocks of saturated and near-saturated colours, and noise.
std::vector<uint8_t> Eye(unsigned seed)
{
    static const uint8_t kColours[][3] = {
        {255, 0, 0},     {0, 255, 0}, {0, 0, 255},   {255, 255, 0}, {0, 255, 255}, {255, 0, 255},
        {255, 255, 255}, {0, 0, 0},   {1, 254, 127}, {128, 3, 251}, {17, 99, 203}, {250, 251, 1}};
    std::vector<uint8_t> eye(size_t(kWidth) * kHeight * 4);
    unsigned state = seed;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = &eye[(size_t(y) * kWidth + x) * 4];
            p[0] = 255;
            if (y < 160) {
                p[1] = uint8_t(x * 255 / (kWidth - 1));
                p[2] = uint8_t(y * 255 / 159);
                p[3] = uint8_t((x + y + seed) & 0xFF);
            } else if (y < 320) {
                const uint8_t* c = kColours[(x / 20 + y / 20 + seed) % 12];
                std::copy(c, c + 3, p + 1);
            } else {
                for (int c = 1; c < 4; ++c) {
                    state = state * 1103515245u + 12345u;
                    p[c] = uint8_t(state >> 16);
                }
            }
        }
    return eye;
}

// Runs stereo3d over the two eyes side by side, left half first; the frame it gives back.
std::vector<uint8_t> Ffmpeg(const p3dtest::TempDir& dir, const std::vector<uint8_t>& leftHalf,
                            const std::vector<uint8_t>& rightHalf, const char* filter)
{
    std::string sbs;
    sbs.reserve(leftHalf.size() * 2);
    const size_t rowBytes = size_t(kWidth) * 4;
    for (int y = 0; y < kHeight; ++y) {
        sbs.append(reinterpret_cast<const char*>(&leftHalf[y * rowBytes]), rowBytes);
        sbs.append(reinterpret_cast<const char*>(&rightHalf[y * rowBytes]), rowBytes);
    }
    p3dtest::WriteFile(dir.file("sbs.argb"), sbs);
    p3dtest::Child ffmpeg({P3D_FFMPEG,
                           "-nostdin",
                           "-y",
                           "-v",
                           "error",
                           "-f",
                           "rawvideo",
                           "-pix_fmt",
                           "argb",
                           "-s",
                           "1280x480",
                           "-i",
                           dir.file("sbs.argb"),
                           "-vf",
                           filter,
                           "-f",
                           "rawvideo",
                           "-pix_fmt",
                           "argb",
                           dir.file("out.argb")});
    EXPECT_TRUE(ffmpeg.started());
    EXPECT_EQ(ffmpeg.wait(60000), 0) << ffmpeg.err();
    const std::string out = p3dtest::ReadFile(dir.file("out.argb"));
    return std::vector<uint8_t>(out.begin(), out.end());
}

class StereoMuxAgainstFfmpeg : public testing::Test
{
protected:
    void SetUp() override
    {
        if (std::string(P3D_FFMPEG).empty() || access(P3D_FFMPEG, X_OK) != 0)
            GTEST_SKIP() << "ffmpeg is not installed";
    }

    // Ours over the whole frame, through the image entry point, right eye first.
    std::vector<uint8_t> Ours(const CoreImage::ColorMatrixKernel& kernel, float swap)
    {
        const CoreImage::PixelExtent extent = {0, 0, kWidth, kHeight};
        std::vector<uint8_t> out(mRight.size());
        EXPECT_TRUE(kernel.apply(
            {mRight.data(), size_t(kWidth) * 4, extent}, {mLeft.data(), size_t(kWidth) * 4, extent},
            swap, {out.data(), size_t(kWidth) * 4, CoreImage::UnionExtent(extent, extent)}));
        return out;
    }

    static void ExpectWithin(int tolerance, const std::vector<uint8_t>& ours,
                             const std::vector<uint8_t>& theirs)
    {
        ASSERT_EQ(theirs.size(), ours.size());
        int most = 0;
        size_t differing = 0, firstBad = SIZE_MAX;
        for (size_t n = 0; n < ours.size(); ++n) {
            const int difference = std::abs(int(ours[n]) - int(theirs[n]));
            most = std::max(most, difference);
            differing += difference != 0;
            if (difference > tolerance && firstBad == SIZE_MAX)
                firstBad = n;
        }
        EXPECT_LE(most, tolerance)
            << "first at pixel " << firstBad / 4 << " channel " << firstBad % 4;
        std::printf("max difference %d, %zu of %zu channels differ\n", most, differing,
                    ours.size());
    }

    std::vector<uint8_t> mLeft = Eye(7);
    std::vector<uint8_t> mRight = Eye(8);
    p3dtest::TempDir mDir;
};

// The stored kernel the filter uses by default is the Dubois red-cyan entry, and the default's
// text compiles to the same matrices.
TEST_F(StereoMuxAgainstFfmpeg, TheDefaultEncodingIsTheStoredKernel)
{
    const StereoEncodingList list("");
    EXPECT_EQ(list.find(StereoEncodingList::kDefaultKey).kernel.get(),
              CIORBStereoMuxFilter::kernel());
    const std::unique_ptr<CoreImage::ColorMatrixKernel> stored = CompileStereoMuxKernel();
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(Ours(*stored, 0.0f), Ours(list.find("arcd").kernel->compiled(), 0.0f));
}

// Each anaglyph by its stereo3d name; sbsr reads the left half as the right eye: ffmpeg's eyes
// exchanged, as swap does inside the kernel.
TEST_F(StereoMuxAgainstFfmpeg, EveryAnaglyphEqualsStereo3dEitherWayRound)
{
    const StereoEncodingList list("");
    for (const char* mode : {"arcd", "arch", "arcg", "arcc", "argg", "agmd", "aybd"}) {
        SCOPED_TRACE(mode);
        const StereoEncoding& encoding = list.find(mode);
        ASSERT_EQ(encoding.key, mode);
        const CoreImage::ColorMatrixKernel& kernel = encoding.kernel->compiled();
        const std::vector<uint8_t> plain = Ours(kernel, 0.0f);
        const std::vector<uint8_t> swapped = Ours(kernel, 1.0f);
        ExpectWithin(1, plain,
                     Ffmpeg(mDir, mLeft, mRight, (std::string("stereo3d=sbsl:") + mode).c_str()));
        ExpectWithin(1, swapped,
                     Ffmpeg(mDir, mLeft, mRight, (std::string("stereo3d=sbsr:") + mode).c_str()));
        EXPECT_NE(swapped, plain);
    }
}

// ffmpeg's half-size packings keep every pixel and halve the aspect ratio; its area scaler then
// squeezes them to one eye's size. Swapped, the right eye takes the left eye's place.
TEST_F(StereoMuxAgainstFfmpeg, FramePackingsEqualStereo3dSqueezedByItsScaler)
{
    const StereoEncodingList list("");
    const size_t rowBytes = size_t(kWidth) * 4;
    CFPtr<CIImage> left = CIImage::imageWithARGBMemory(mLeft.data(), rowBytes, kWidth, kHeight);
    CFPtr<CIImage> right = CIImage::imageWithARGBMemory(mRight.data(), rowBytes, kWidth, kHeight);
    struct Case
    {
        const char* key;
        bool swap;
        const char* filter;
    };
    for (const Case& c : {Case{"sbs2l", false, "stereo3d=sbsl:sbs2l,scale=640:480:flags=area"},
                          Case{"sbs2l", true, "stereo3d=sbsr:sbs2l,scale=640:480:flags=area"},
                          Case{"ab2l", false, "stereo3d=sbsl:ab2l,scale=640:480:flags=area"},
                          Case{"ab2l", true, "stereo3d=sbsr:ab2l,scale=640:480:flags=area"}}) {
        SCOPED_TRACE(std::string(c.key) + (c.swap ? " swapped" : ""));
        const StereoEncoding& encoding = list.find(c.key);
        ASSERT_EQ(encoding.key, c.key);
        CFPtr<CIImage> packed = StereoPackedImage(left.get(), right.get(), encoding.kind, c.swap);
        ASSERT_NE(packed, nullptr);
        EXPECT_TRUE(CGRectEqualToRect(packed->extent(), CGRectMake(0, 0, kWidth, kHeight)));
        ExpectWithin(2, p3dtest::RenderImage(packed.get(), kWidth, kHeight),
                     Ffmpeg(mDir, mLeft, mRight, c.filter));
    }
}

} // namespace
