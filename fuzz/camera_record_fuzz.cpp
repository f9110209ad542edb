// The camera input plug-in reads frames as the component describes them. Whatever a record
// says about memory it really has, the reader makes an image that stays inside that memory, or
// none; rendering the image reads nothing beyond it either.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "CIContext.h"
#include "VSharedCameraBuffer.h"

namespace {

template <typename T> T Take(const uint8_t*& io_data, size_t& io_size)
{
    T value{};
    const size_t n = io_size < sizeof(T) ? io_size : sizeof(T);
    memcpy(&value, io_data, n);
    io_data += n;
    io_size -= n;
    return value;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // No component anywhere: the reader's own look at the channel finds nothing.
    setenv("XDG_DATA_HOME", "/nonexistent/parallax3d-fuzz", 1);
    CIParallax3DInput_VSharedCameraBuffer::IdentifyHost("tumblerd"); // no locks over fuzz data
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CIParallax3DInput_VSharedCameraBuffer reader;
    CIParallax3DInput_VSharedCameraBuffer::IdentifyHost("tumblerd");

    const OSType formats[] = {FourCC("raw "), 0x20, FourCC("2vuy"), FourCC("yuvs")};
    SHARED_CAMERA_BUFFER record = {};
    record.sizeofSHARED_CAMERA_BUFFER = Take<UInt8>(data, size) == 0 ? 24 : 32;
    record.frameWidth = Take<SInt16>(data, size);
    record.frameHeight = Take<SInt16>(data, size);
    record.frameBufferRowBytes = Take<SInt32>(data, size);
    const UInt8 format = Take<UInt8>(data, size);
    record.framePixelFormat = format < 4 ? formats[format] : Take<UInt32>(data, size);
    const SInt32 claimed = Take<SInt32>(data, size);

    // The memory the record describes is exactly what is left of the input.
    std::vector<UInt8> memory(data, data + size);
    record.frameBufferPtr = memory.empty() ? nullptr : memory.data();
    record.frameBufferSizeBytes =
        claimed < 0 || size_t(claimed) > memory.size() ? SInt32(memory.size()) : claimed;
    reader.camera = record;

    CFPtr<CIImage> image = reader.fastestCoreImage();
    if (!image)
        return 0;
    // Every pixel of the image is read once, shrunk onto a small frame.
    const CGRect extent = image->extent();
    UInt8 frame[8 * 8 * 4];
    const CGAffineTransform shrink = {8 / extent.size.width,
                                      0,
                                      0,
                                      8 / extent.size.height,
                                      -extent.origin.x * 8 / extent.size.width,
                                      -extent.origin.y * 8 / extent.size.height};
    CFPtr<CIImage> small = image->imageByApplyingTransform(shrink);
    CFPtr<CIContext> context = CIContext::contextWithARGBMemory(frame, 32, 8, 8);
    if (small && context)
        context->render(small.get(), frame, 32, CGRect{{0, 0}, {8, 8}});
    return 0;
}
