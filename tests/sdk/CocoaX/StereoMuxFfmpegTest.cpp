// ffmpeg's stereo3d filter computes the same Dubois anaglyph with its own arithmetic: our
// stereo image must equal its output within 1 per channel.
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "StereoMuxKernel.h"
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
        mKernel = CompileStereoMuxKernel();
        ASSERT_NE(mKernel, nullptr);
    }

    // Ours over the whole frame, through the image entry point, right eye first.
    std::vector<uint8_t> Ours(float swap)
    {
        const CoreImage::PixelExtent extent = {0, 0, kWidth, kHeight};
        std::vector<uint8_t> out(mRight.size());
        EXPECT_TRUE(mKernel->apply(
            {mRight.data(), size_t(kWidth) * 4, extent}, {mLeft.data(), size_t(kWidth) * 4, extent},
            swap, {out.data(), size_t(kWidth) * 4, CoreImage::UnionExtent(extent, extent)}));
        return out;
    }

    static void ExpectWithinOne(const std::vector<uint8_t>& ours,
                                const std::vector<uint8_t>& theirs)
    {
        ASSERT_EQ(theirs.size(), ours.size());
        int most = 0;
        size_t differing = 0, firstBad = SIZE_MAX;
        for (size_t n = 0; n < ours.size(); ++n) {
            const int difference = std::abs(int(ours[n]) - int(theirs[n]));
            most = std::max(most, difference);
            differing += difference != 0;
            if (difference > 1 && firstBad == SIZE_MAX)
                firstBad = n;
        }
        EXPECT_LE(most, 1) << "first at pixel " << firstBad / 4 << " channel " << firstBad % 4;
        testing::Test::RecordProperty("max_difference", most);
        testing::Test::RecordProperty("differing_channels", int(differing));
        std::printf("max difference %d, %zu of %zu channels differ\n", most, differing,
                    ours.size());
    }

    std::unique_ptr<CoreImage::ColorMatrixKernel> mKernel;
    std::vector<uint8_t> mLeft = Eye(7);
    std::vector<uint8_t> mRight = Eye(8);
    p3dtest::TempDir mDir;
};

TEST_F(StereoMuxAgainstFfmpeg, SameAsStereo3dDuboisWithLeftEyeFirst)
{
    ExpectWithinOne(Ours(0.0f), Ffmpeg(mDir, mLeft, mRight, "stereo3d=sbsl:arcd"));
}

// sbsr reads the left half as the right eye: ffmpeg's eyes exchanged, as swap does inside.
TEST_F(StereoMuxAgainstFfmpeg, SwappedSameAsStereo3dWithRightEyeFirst)
{
    const std::vector<uint8_t> swapped = Ours(1.0f);
    ExpectWithinOne(swapped, Ffmpeg(mDir, mLeft, mRight, "stereo3d=sbsr:arcd"));
    EXPECT_NE(swapped, Ours(0.0f));
}

} // namespace
