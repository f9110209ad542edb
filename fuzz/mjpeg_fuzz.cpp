// Camera frames are whatever the driver hands over: any bytes give a frame or a report, and
// nothing is written outside the bitmap, whose padding and guard bands are checked after every
// frame. The first byte picks the source's format and size; the rest is the frame.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <linux/videodev2.h>
#include <vector>

#include "FrameDecompressor.h"

static void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const uint32_t kFormats[] = {V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_MJPEG,
                                        V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_YUYV,  V4L2_PIX_FMT_UYVY,
                                        V4L2_PIX_FMT_NV12,  V4L2_PIX_FMT_YUV420};
    const uint8_t selector = data[0];
    const uint32_t fourcc = kFormats[selector & 7];
    // MJPEG seeds are 32 x 24 or 31 x 17; bit 3 scales into a bitmap of twice the size.
    const bool odd = selector & 16;
    const int width = odd ? 31 : 32, height = odd ? 17 : 24;
    const bool scaled = selector & 8;
    const int dw = scaled ? width * 2 : width, dh = scaled ? height * 2 : height;
    const size_t guard = 64, rowBytes = size_t(dw) * 4 + 12;
    constexpr uint8_t kFill = 0xa5;
    static std::vector<uint8_t> memory;
    memory.assign(rowBytes * size_t(dh) + 2 * guard, kFill);

    Capture::FrameDecompressor decompressor;
    if (!decompressor.configure(
            {width, height, fourcc, (selector & 32) ? size_t(width) * 2 + 8 : 0},
            {memory.data() + guard, rowBytes, dw, dh}))
        return 0;
    const bool decoded = decompressor.decompress(data + 1, size - 1);
    for (size_t i = 0; i < memory.size(); ++i) {
        const bool inside = i >= guard && i < guard + rowBytes * size_t(dh) &&
                            (i - guard) % rowBytes < size_t(dw) * 4;
        if (!inside || !decoded)
            Check(memory[i] == kFill);
        else if ((i - guard) % 4 == 0)
            Check(memory[i] == 255);
    }
    return 0;
}
