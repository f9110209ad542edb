// Pixel buffers describe the caller's memory without copying it, and hand it back through the
// release callback exactly once.
#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

#include "CFString.h"
#include "CVPixelBuffer.h"

namespace {

struct Releases
{
    int count = 0;
    const void* base = nullptr;
};

void CountRelease(void* refCon, const void* base)
{
    auto* releases = static_cast<Releases*>(refCon);
    ++releases->count;
    releases->base = base;
}

CVPixelBufferRef Make(size_t width, size_t height, OSType format, void* base, size_t rowBytes,
                      Releases* releases = nullptr)
{
    CVPixelBufferRef buffer = reinterpret_cast<CVPixelBufferRef>(uintptr_t(1));
    const CVReturn result =
        CVPixelBufferCreateWithBytes(kCFAllocatorDefault, width, height, format, base, rowBytes,
                                     releases ? CountRelease : nullptr, releases, nullptr, &buffer);
    EXPECT_EQ(result == kCVReturnSuccess, buffer != nullptr);
    return buffer;
}

TEST(CVPixelBuffer, DescribesTheCallersMemoryWithoutACopy)
{
    // 5 x 3 A,R,G,B with 4 bytes of padding per row.
    std::vector<uint8_t> memory(24 * 3, 0);
    CVPixelBufferRef buffer = Make(5, 3, kCVPixelFormatType_32ARGB, memory.data(), 24);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(CVPixelBufferGetWidth(buffer), 5u);
    EXPECT_EQ(CVPixelBufferGetHeight(buffer), 3u);
    EXPECT_EQ(CVPixelBufferGetBytesPerRow(buffer), 24u);
    EXPECT_EQ(CVPixelBufferGetDataSize(buffer), 72u);
    EXPECT_EQ(CVPixelBufferGetPixelFormatType(buffer), OSType(32));
    EXPECT_FALSE(CVPixelBufferIsPlanar(buffer));

    ASSERT_EQ(CVPixelBufferLockBaseAddress(buffer, kCVPixelBufferLock_ReadOnly), kCVReturnSuccess);
    auto* base = static_cast<uint8_t*>(CVPixelBufferGetBaseAddress(buffer));
    EXPECT_EQ(base, memory.data());
    memory[24 * 2 + 4 * 4 + 1] = 99; // later writes to the memory show through
    EXPECT_EQ(base[24 * 2 + 4 * 4 + 1], 99);
    EXPECT_EQ(CVPixelBufferUnlockBaseAddress(buffer, kCVPixelBufferLock_ReadOnly),
              kCVReturnSuccess);
    CVPixelBufferRelease(buffer);

    // 2vuy: two bytes a pixel, an odd width rounded up to a whole pair.
    std::vector<uint8_t> yuv(8 * 2);
    buffer = Make(3, 2, kCVPixelFormatType_422YpCbCr8, yuv.data(), 8);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(CVPixelBufferGetPixelFormatType(buffer), OSType('2vuy'));
    CVPixelBufferRelease(buffer);
}

TEST(CVPixelBuffer, CountsReferencesLikeOtherObjects)
{
    std::vector<uint8_t> memory(16);
    Releases releases;
    CVPixelBufferRef buffer = Make(2, 2, kCVPixelFormatType_32ARGB, memory.data(), 8, &releases);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(CFGetTypeID(buffer), CVPixelBufferGetTypeID());
    EXPECT_NE(CVPixelBufferGetTypeID(), CFStringGetTypeID());
    EXPECT_EQ(CFGetRetainCount(buffer), 1);

    EXPECT_EQ(CVPixelBufferRetain(buffer), buffer);
    CFRetain(buffer);
    EXPECT_EQ(CFGetRetainCount(buffer), 3);
    CFRelease(buffer);
    CVPixelBufferRelease(buffer);
    EXPECT_EQ(releases.count, 0) << "the memory is still in use";

    CVPixelBufferRelease(buffer);
    EXPECT_EQ(releases.count, 1);
    EXPECT_EQ(releases.base, memory.data());

    // Null is accepted everywhere and answers nothing.
    EXPECT_EQ(CVPixelBufferRetain(nullptr), nullptr);
    CVPixelBufferRelease(nullptr);
    EXPECT_EQ(CVPixelBufferGetWidth(nullptr), 0u);
    EXPECT_EQ(CVPixelBufferGetBaseAddress(nullptr), nullptr);
    EXPECT_EQ(CVPixelBufferLockBaseAddress(nullptr, 0), kCVReturnInvalidArgument);
    EXPECT_EQ(CVPixelBufferUnlockBaseAddress(nullptr, 0), kCVReturnInvalidArgument);
}

TEST(CVPixelBuffer, LocksAreBalancedAndOnlyForPixelBuffers)
{
    std::vector<uint8_t> memory(4);
    CVPixelBufferRef buffer = Make(1, 1, kCVPixelFormatType_32ARGB, memory.data(), 4);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(CVPixelBufferUnlockBaseAddress(buffer, 0), kCVReturnError);
    for (CVReturn expected : {kCVReturnSuccess, kCVReturnSuccess})
        EXPECT_EQ(CVPixelBufferLockBaseAddress(buffer, 0), expected);
    for (CVReturn expected : {kCVReturnSuccess, kCVReturnSuccess, kCVReturnError})
        EXPECT_EQ(CVPixelBufferUnlockBaseAddress(buffer, 0), expected);
    CVPixelBufferRelease(buffer);

    // Another CF object passed as a pixel buffer is answered with nothing.
    CFStringRef string = CFStringCreateWithCString(nullptr, "not pixels", kCFStringEncodingUTF8);
    auto fake = static_cast<CVPixelBufferRef>(const_cast<void*>(static_cast<const void*>(string)));
    EXPECT_EQ(CVPixelBufferGetWidth(fake), 0u);
    EXPECT_EQ(CVPixelBufferGetBaseAddress(fake), nullptr);
    EXPECT_EQ(CVPixelBufferLockBaseAddress(fake, 0), kCVReturnInvalidArgument);
    CFRelease(string);
}

TEST(CVPixelBuffer, BadArgumentsCreateNothingAndKeepTheMemory)
{
    std::vector<uint8_t> memory(64);
    void* base = memory.data();
    Releases releases;
    struct Case
    {
        const char* what;
        size_t width, height;
        OSType format;
        void* base;
        size_t rowBytes;
    };
    const Case cases[] = {
        {"null base", 2, 2, kCVPixelFormatType_32ARGB, nullptr, 8},
        {"zero width", 0, 2, kCVPixelFormatType_32ARGB, base, 8},
        {"zero height", 2, 0, kCVPixelFormatType_32ARGB, base, 8},
        {"huge width", size_t(1) << 40, 1, kCVPixelFormatType_32ARGB, base, SIZE_MAX},
        {"huge height", 1, kCVPixelBufferMaxDimension + 1, kCVPixelFormatType_32ARGB, base, 4},
        {"short ARGB rows", 2, 2, kCVPixelFormatType_32ARGB, base, 7},
        {"short 2vuy rows", 3, 2, kCVPixelFormatType_422YpCbCr8, base, 6},
        {"unknown format", 2, 2, 'BGRA', base, 8},
        {"rows times height overflow", 4, 16, kCVPixelFormatType_32ARGB, base, SIZE_MAX / 8},
    };
    for (const Case& c : cases) {
        CVPixelBufferRef buffer = reinterpret_cast<CVPixelBufferRef>(uintptr_t(1));
        EXPECT_EQ(CVPixelBufferCreateWithBytes(nullptr, c.width, c.height, c.format, c.base,
                                               c.rowBytes, CountRelease, &releases, nullptr,
                                               &buffer),
                  kCVReturnInvalidArgument)
            << c.what;
        EXPECT_EQ(buffer, nullptr) << c.what;
    }
    EXPECT_EQ(CVPixelBufferCreateWithBytes(nullptr, 2, 2, kCVPixelFormatType_32ARGB, base, 8,
                                           CountRelease, &releases, nullptr, nullptr),
              kCVReturnInvalidArgument);
    EXPECT_EQ(releases.count, 0) << "a refused buffer never owned the memory";
}

} // namespace
