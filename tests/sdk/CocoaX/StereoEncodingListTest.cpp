// The encodings' list: the built-ins in their order, the user's kernel texts by file name, and
// every kind of bad file listed unusable with where and why, never stopping the list.
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

#include "CIORBStereoMuxFilter.h"
#include "ColorMatrixKernel.h"
#include "RenderImage.h"
#include "StereoEncodingList.h"
#include "StereoPacking.h"
#include "TestSupport.h"

namespace {

const char* const kBuiltInKeys[] = {"arcd", "arch", "arcg",  "arcc", "argg",
                                    "agmd", "aybd", "sbs2l", "ab2l"};

std::string UserKernel(const char* leftRow)
{
    return std::string("kernel vec4 mine(sampler r, sampler l, float s)\n{\n    l = matrix(") +
           leftRow +
           ", [0, 0, 0], [0, 0, 0]);\n    r = matrix([0, 0, 0], [0, 1, 0], [0, 0, 1]);\n}\n";
}

TEST(StereoEncodingList, BuiltInsComeFirstAndUnknownKeysGiveTheDefault)
{
    const StereoEncodingList list("/nonexistent/parallax3d-kernels");
    ASSERT_EQ(list.encodings().size(), std::size(kBuiltInKeys));
    for (size_t n = 0; n < std::size(kBuiltInKeys); ++n) {
        const StereoEncoding& encoding = list.encodings()[n];
        EXPECT_EQ(encoding.key, kBuiltInKeys[n]);
        EXPECT_TRUE(encoding.usable()) << encoding.key;
        EXPECT_FALSE(encoding.title.empty());
        EXPECT_EQ(&list.find(encoding.key), &encoding);
    }
    EXPECT_EQ(list.find("arcd").kernel.get(), CIORBStereoMuxFilter::kernel());
    EXPECT_EQ(list.find("sbs2l").kind, StereoEncoding::Kind::kSideBySide);
    EXPECT_EQ(list.find("ab2l").kind, StereoEncoding::Kind::kTopAndBottom);
    EXPECT_EQ(list.find("").key, "arcd");
    EXPECT_EQ(list.find("user/gone.cikernel").key, "arcd");
}

TEST(StereoEncodingList, UserFolderFollowsXdgDataHome)
{
    EXPECT_EQ(StereoEncodingList::UserKernelFolder(),
              std::string(getenv("XDG_DATA_HOME")) + "/parallax3d/Kernels");
}

struct UserFile
{
    const char* name;
    std::string text;
    const char* error; // "" for a text that compiles
};

TEST(StereoEncodingList, UserTextsAreListedByNameAndBadOnesSayWhereAndWhy)
{
    p3dtest::TempDir dir;
    std::string binary = "\x7f"
                         "ELF\x02\x01\x01";
    binary.append(64, '\0');
    const UserFile files[] = {
        {"a-syntax.cikernel", "kernel vec4 m(sampler r, sampler l, float s)\n{\n    l = matriks(",
         "line 3, column 9: expected \"matrix\""},
        {"b-empty.cikernel", "", "line 1, column 1: the text is empty"},
        {"c-binary.cikernel", binary, "line 1, column 1: unexpected byte 0x7f: not a text"},
        {"d-huge.cikernel", std::string(1 << 20, 'k'),
         "line 1, column 65537: text longer than 65536 bytes"},
        {"e-range.cikernel", UserKernel("[0.3, 0.6, 3.5]"),
         "line 3, column 27: coefficient 3.5 is outside -3..3"},
        {"f-warm.cikernel", UserKernel("[1.2, 0.1, 0]"), ""},
    };
    for (const UserFile& file : files)
        p3dtest::WriteFile(dir.file(file.name), file.text);
    // Not kernel texts, or not files: skipped, or listed as unreadable.
    p3dtest::WriteFile(dir.file("notes.txt"), "not a kernel");
    p3dtest::WriteFile(dir.file(".hidden.cikernel"), UserKernel("[1, 0, 0]"));
    ASSERT_EQ(mkdir(dir.file("g-folder.cikernel").c_str(), 0700), 0);

    const StereoEncodingList list(dir.path());
    const size_t first = std::size(kBuiltInKeys);
    ASSERT_EQ(list.encodings().size(), first + std::size(files) + 1);
    for (size_t n = 0; n < std::size(files); ++n) {
        const StereoEncoding& encoding = list.encodings()[first + n];
        SCOPED_TRACE(files[n].name);
        EXPECT_EQ(encoding.title, files[n].name);
        EXPECT_EQ(encoding.key, std::string("user/") + files[n].name);
        EXPECT_EQ(encoding.error, files[n].error);
        EXPECT_EQ(encoding.usable(), files[n].error[0] == '\0');
        // An unusable text is never chosen: the default stands in.
        EXPECT_EQ(list.find(encoding.key).key, encoding.usable() ? encoding.key : "arcd");
    }
    const StereoEncoding& folder = list.encodings().back();
    EXPECT_EQ(folder.title, "g-folder.cikernel");
    EXPECT_FALSE(folder.usable());
    EXPECT_NE(folder.error.find("cannot be read"), std::string::npos) << folder.error;

    // The user's matrix works: red from 1.2 R + 0.1 G of the left eye, clamped.
    const StereoEncoding& warm = list.find("user/f-warm.cikernel");
    ASSERT_TRUE(warm.usable());
    const uint8_t right[4] = {255, 10, 20, 30}, left[4] = {255, 200, 100, 0};
    uint8_t out[4];
    warm.kernel->compiled().evaluateRow(right, left, out, 1, 0.0f);
    EXPECT_EQ(out[1], 250);
    EXPECT_EQ(out[2], 20);
    EXPECT_EQ(out[3], 30);
}

// Two 4 x 2 eyes of flat colours: each packing keeps both whole, squeezed, in its place.
TEST(StereoPacking, PlacesEachEyeSqueezedInItsHalf)
{
    std::vector<uint8_t> leftPixels(4 * 2 * 4), rightPixels(4 * 2 * 4);
    for (size_t n = 0; n < 8; ++n) {
        leftPixels[n * 4] = rightPixels[n * 4] = 255;
        leftPixels[n * 4 + 1] = 200;  // red left eye
        rightPixels[n * 4 + 3] = 100; // blue right eye
    }
    CFPtr<CIImage> left = CIImage::imageWithARGBMemory(leftPixels.data(), 16, 4, 2);
    CFPtr<CIImage> right = CIImage::imageWithARGBMemory(rightPixels.data(), 16, 4, 2);
    auto pixel = [](const std::vector<UInt8>& image, int x, int row) {
        const UInt8* p = &image[size_t(row * 4 + x) * 4];
        return std::vector<int>{p[0], p[1], p[2], p[3]};
    };
    const std::vector<int> red = {255, 200, 0, 0}, blue = {255, 0, 0, 100};
    for (bool swap : {false, true}) {
        SCOPED_TRACE(swap ? "swapped" : "plain");
        const std::vector<int>& first = swap ? blue : red;
        const std::vector<int>& second = swap ? red : blue;
        const std::vector<UInt8> sbs = p3dtest::RenderImage(
            StereoPackedImage(left.get(), right.get(), StereoEncoding::Kind::kSideBySide, swap)
                .get(),
            4, 2);
        for (int row = 0; row < 2; ++row)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(pixel(sbs, x, row), x < 2 ? first : second) << x << "," << row;
        const std::vector<UInt8> tab = p3dtest::RenderImage(
            StereoPackedImage(left.get(), right.get(), StereoEncoding::Kind::kTopAndBottom, swap)
                .get(),
            4, 2);
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(pixel(tab, x, 0), first) << x; // memory row 0 is the top
            EXPECT_EQ(pixel(tab, x, 1), second) << x;
        }
    }
    EXPECT_EQ(StereoPackedImage(left.get(), nullptr, StereoEncoding::Kind::kSideBySide, false),
              nullptr);
    EXPECT_EQ(StereoPackedImage(left.get(), right.get(), StereoEncoding::Kind::kAnaglyph, false),
              nullptr);
}

} // namespace
