#include "CVPixelBuffer.h"

#include <atomic>
#include <cstdio>
#include <new>

#include "CFRuntime.h"

struct __CVBuffer final : p3dcf::Object
{
    __CVBuffer() : Object(p3dcf::kPixelBufferTypeID, false) {}
    ~__CVBuffer() override
    {
        if (releaseCallback)
            releaseCallback(releaseRefCon, baseAddress);
    }

    std::u16string describeContents() const override
    {
        char text[96];
        std::snprintf(text, sizeof text, "%zu x %zu, '%c%c%c%c', %zu bytes per row, %p", width,
                      height, Printable(format >> 24), Printable(format >> 16),
                      Printable(format >> 8), Printable(format), bytesPerRow, baseAddress);
        return p3dcf::WidenASCII(text);
    }

    static char Printable(OSType byte)
    {
        const char c = char(byte & 0xff);
        return c >= 0x20 && c < 0x7f ? c : '?';
    }

    size_t width = 0;
    size_t height = 0;
    OSType format = 0;
    void* baseAddress = nullptr;
    size_t bytesPerRow = 0;
    CVPixelBufferReleaseBytesCallback releaseCallback = nullptr;
    void* releaseRefCon = nullptr;
    mutable std::atomic<long> lockCount{0};
};

static const __CVBuffer* BufferOf(CVPixelBufferRef buffer)
{
    return p3dcf::Cast<__CVBuffer>(buffer, p3dcf::kPixelBufferTypeID);
}

// Bytes one row of the format needs; 0 for a format this layer does not describe.
static size_t RowLength(OSType format, size_t width)
{
    switch (format) {
    case kCVPixelFormatType_32ARGB:
        return width * 4;
    case kCVPixelFormatType_422YpCbCr8:
        // Pixels come in pairs sharing Cb and Cr; an odd last pixel still takes a pair.
        return (width + 1) / 2 * 4;
    default:
        return 0;
    }
}

CVReturn CVPixelBufferCreateWithBytes(CFAllocatorRef, size_t width, size_t height,
                                      OSType pixelFormatType, void* baseAddress, size_t bytesPerRow,
                                      CVPixelBufferReleaseBytesCallback releaseCallback,
                                      void* releaseRefCon, CFDictionaryRef,
                                      CVPixelBufferRef* pixelBufferOut)
{
    if (!pixelBufferOut)
        return kCVReturnInvalidArgument;
    *pixelBufferOut = nullptr;
    // The side bound keeps height * bytesPerRow within size_t for any row the bound allows.
    const size_t rowLength = RowLength(pixelFormatType, width);
    if (!baseAddress || width == 0 || height == 0 || width > kCVPixelBufferMaxDimension ||
        height > kCVPixelBufferMaxDimension || rowLength == 0 || bytesPerRow < rowLength ||
        bytesPerRow > SIZE_MAX / height)
        return kCVReturnInvalidArgument;
    __CVBuffer* buffer = new (std::nothrow) __CVBuffer;
    if (!buffer)
        return kCVReturnAllocationFailed;
    buffer->width = width;
    buffer->height = height;
    buffer->format = pixelFormatType;
    buffer->baseAddress = baseAddress;
    buffer->bytesPerRow = bytesPerRow;
    buffer->releaseCallback = releaseCallback;
    buffer->releaseRefCon = releaseRefCon;
    *pixelBufferOut = buffer;
    return kCVReturnSuccess;
}

CVPixelBufferRef CVPixelBufferRetain(CVPixelBufferRef pixelBuffer)
{
    CFRetain(pixelBuffer);
    return pixelBuffer;
}

void CVPixelBufferRelease(CVPixelBufferRef pixelBuffer)
{
    CFRelease(pixelBuffer);
}

CFTypeID CVPixelBufferGetTypeID(void)
{
    return p3dcf::kPixelBufferTypeID;
}

size_t CVPixelBufferGetWidth(CVPixelBufferRef pixelBuffer)
{
    const __CVBuffer* b = BufferOf(pixelBuffer);
    return b ? b->width : 0;
}

size_t CVPixelBufferGetHeight(CVPixelBufferRef pixelBuffer)
{
    const __CVBuffer* b = BufferOf(pixelBuffer);
    return b ? b->height : 0;
}

size_t CVPixelBufferGetBytesPerRow(CVPixelBufferRef pixelBuffer)
{
    const __CVBuffer* b = BufferOf(pixelBuffer);
    return b ? b->bytesPerRow : 0;
}

size_t CVPixelBufferGetDataSize(CVPixelBufferRef pixelBuffer)
{
    const __CVBuffer* b = BufferOf(pixelBuffer);
    return b ? b->bytesPerRow * b->height : 0;
}

void* CVPixelBufferGetBaseAddress(CVPixelBufferRef pixelBuffer)
{
    const __CVBuffer* b = BufferOf(pixelBuffer);
    return b ? b->baseAddress : nullptr;
}

OSType CVPixelBufferGetPixelFormatType(CVPixelBufferRef pixelBuffer)
{
    const __CVBuffer* b = BufferOf(pixelBuffer);
    return b ? b->format : 0;
}

Boolean CVPixelBufferIsPlanar(CVPixelBufferRef)
{
    return false;
}

CVReturn CVPixelBufferLockBaseAddress(CVPixelBufferRef pixelBuffer, CVOptionFlags)
{
    const __CVBuffer* b = BufferOf(pixelBuffer);
    if (!b)
        return kCVReturnInvalidArgument;
    b->lockCount.fetch_add(1, std::memory_order_relaxed);
    return kCVReturnSuccess;
}

CVReturn CVPixelBufferUnlockBaseAddress(CVPixelBufferRef pixelBuffer, CVOptionFlags)
{
    const __CVBuffer* b = BufferOf(pixelBuffer);
    if (!b)
        return kCVReturnInvalidArgument;
    long count = b->lockCount.load(std::memory_order_relaxed);
    do {
        if (count == 0)
            return kCVReturnError;
    } while (!b->lockCount.compare_exchange_weak(count, count - 1, std::memory_order_relaxed));
    return kCVReturnSuccess;
}

bool import_CVPixelBuffer()
{
    return true;
}
