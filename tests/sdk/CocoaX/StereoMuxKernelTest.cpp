#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "DuboisAnaglyph.h"
#include "NSDatazer.h"
#include "StereoMuxKernel.h"
#include "TestSupport.h"

using CoreImage::ColorMatrixKernel;

namespace {

std::string Stored()
{
    return std::string(reinterpret_cast<const char*>(CIORBStereoMuxFilter_cikernel),
                       CIORBStereoMuxFilter_cikernel_length);
}

TEST(StereoKernelStorage, TransformSwapsNibblesAndUndoesItself)
{
    uint8_t byte = 0x3C;
    DatazerTransform(&byte, 1);
    EXPECT_EQ(byte, 0xC3);

    std::vector<uint8_t> all(256);
    for (int n = 0; n < 256; ++n)
        all[n] = uint8_t(n);
    std::vector<uint8_t> bytes = all;
    DatazerTransform(bytes.data(), bytes.size());
    EXPECT_EQ(bytes[0x12], 0x21);
    EXPECT_EQ(bytes[0xF0], 0x0F);
    DatazerTransform(bytes.data(), bytes.size());
    EXPECT_EQ(bytes, all);
    DatazerTransform(nullptr, 0);
}

TEST(StereoKernelStorage, ProgramHoldsTheSourceFileScrambled)
{
    const std::string source = p3dtest::ReadFile(P3D_SOURCE_DIR "/sdk/CocoaX/StereoMux.cikernel");
    ASSERT_FALSE(source.empty());
    std::string text = Stored();
    EXPECT_EQ(text.find("matrix"), std::string::npos);
    EXPECT_EQ(text.find("kernel"), std::string::npos);
    DatazerTransform(reinterpret_cast<uint8_t*>(text.data()), text.size());
    EXPECT_EQ(text, source);
}

TEST(StereoKernelStorage, StoredTextCompilesToTheDuboisAnaglyph)
{
    std::unique_ptr<ColorMatrixKernel> kernel = CompileStereoMuxKernel();
    ASSERT_NE(kernel, nullptr);
    EXPECT_EQ(kernel->parameterNames()[0], "rightEye");
    EXPECT_EQ(kernel->parameterNames()[1], "leftEye");
    EXPECT_EQ(kernel->parameterNames()[2], "swapEyes");
    EXPECT_EQ(kernel->firstMatrix(), p3dtest::kDuboisRight);
    EXPECT_EQ(kernel->secondMatrix(), p3dtest::kDuboisLeft);
}

} // namespace
