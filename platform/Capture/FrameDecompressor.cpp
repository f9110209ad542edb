#include "FrameDecompressor.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <new>

#include <libyuv.h>
#include <linux/videodev2.h>
#include <turbojpeg.h>

#include "Diagnostics.h"

namespace Capture {

namespace {

// Longer rows than this are a driver's nonsense, not padding.
constexpr size_t kMaxBytesPerLine = size_t(kMaxFrameDimension) * 8;

constexpr size_t Half(size_t n)
{
    return (n + 1) / 2;
}

// Planes of a 4:2:2 image (room for 4:2:0 too) laid out in one block. TurboJPEG writes the
// luma plane rounded up to whole chroma samples, an even width and (4:2:0) an even height, so
// the luma plane has room for that.
struct PlaneLayout
{
    size_t yStride, cStride, ySize, cSize;

    PlaneLayout(int width, int height)
        : yStride(Half(size_t(width)) * 2), cStride(Half(size_t(width))),
          ySize(yStride * Half(size_t(height)) * 2), cSize(cStride * size_t(height))
    {
    }
    size_t total() const { return ySize + 2 * cSize; }
};

const char* FormatName(UInt32 fourcc)
{
    switch (fourcc) {
    case V4L2_PIX_FMT_MJPEG:
        return "MJPEG";
    case V4L2_PIX_FMT_YUYV:
        return "YUYV";
    case V4L2_PIX_FMT_UYVY:
        return "UYVY";
    case V4L2_PIX_FMT_NV12:
        return "NV12";
    case V4L2_PIX_FMT_YUV420:
        return "YUV420";
    default:
        return nullptr;
    }
}

// The tightest bytes per line a format allows at this width. NV12's chroma rows share the luma
// rows' length and hold two bytes per chroma sample, so an odd width rounds up.
size_t PackedLine(UInt32 fourcc, int width)
{
    switch (fourcc) {
    case V4L2_PIX_FMT_YUYV:
    case V4L2_PIX_FMT_UYVY:
        return size_t(width) * 2;
    case V4L2_PIX_FMT_NV12:
        return Half(size_t(width)) * 2;
    default:
        return size_t(width);
    }
}

} // namespace

FrameDecompressor::FrameDecompressor() = default;

FrameDecompressor::~FrameDecompressor()
{
    if (mJPEG)
        tjDestroy(static_cast<tjhandle>(mJPEG));
}

bool FrameDecompressor::configure(const FrameSource& source, const FrameDestination& destination)
{
    mConfigured = false;
    const char* format = FormatName(source.fourcc);
    const char* why = nullptr;
    if (!format)
        why = "the pixel format is not one of MJPEG, YUYV, UYVY, NV12, YUV420";
    else if (source.width < 1 || source.height < 1 || source.width > kMaxFrameDimension ||
             source.height > kMaxFrameDimension)
        why = "the frame size is out of bounds";
    else if ((source.fourcc == V4L2_PIX_FMT_YUYV || source.fourcc == V4L2_PIX_FMT_UYVY) &&
             source.width % 2 != 0)
        why = "a 4:2:2 packed frame cannot have an odd width";
    else if (source.fourcc != V4L2_PIX_FMT_MJPEG && source.bytesPerLine != 0 &&
             (source.bytesPerLine < PackedLine(source.fourcc, source.width) ||
              source.bytesPerLine > kMaxBytesPerLine))
        why = "the bytes per line do not fit the width";
    else if (!destination.base || destination.width < 1 || destination.height < 1 ||
             destination.width > kMaxFrameDimension || destination.height > kMaxFrameDimension)
        why = "the destination size is out of bounds";
    else if (destination.rowBytes < size_t(destination.width) * 4 || destination.rowBytes > INT_MAX)
        why = "the destination rows do not fit its width";
    if (why) {
        DIAG_REPORT("FrameDecompressor: refused %s %d x %d into %d x %d: %s", format ? format : "?",
                    source.width, source.height, destination.width, destination.height, why);
        return false;
    }

    mSource = source;
    if (mSource.fourcc != V4L2_PIX_FMT_MJPEG && mSource.bytesPerLine == 0)
        mSource.bytesPerLine = PackedLine(source.fourcc, source.width);
    mDestination = destination;

    const bool scaled = source.width != destination.width || source.height != destination.height;
    try {
        // Grown only: a camera reopened at the same size keeps its memory.
        const size_t decoded = PlaneLayout(source.width, source.height).total();
        if (mDecoded.size() < decoded)
            mDecoded.resize(decoded);
        const size_t target =
            scaled ? PlaneLayout(destination.width, destination.height).total() : 0;
        if (mScaled.size() < target)
            mScaled.resize(target);
    } catch (const std::bad_alloc&) {
        DIAG_REPORT("FrameDecompressor: no memory for %s %d x %d", format, source.width,
                    source.height);
        return false;
    }
    if (source.fourcc == V4L2_PIX_FMT_MJPEG && !mJPEG) {
        mJPEG = tjInitDecompress();
        if (!DIAG_CHECK(mJPEG != nullptr))
            return false;
    }
    mConfigured = true;
    return true;
}

void FrameDecompressor::drop(const char* format, ...)
{
    char why[200];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(why, sizeof why, format, arguments);
    va_end(arguments);
    DIAG_REPORT("FrameDecompressor: dropped frame %ld of the %s camera: %s", ++mDropped,
                FormatName(mSource.fourcc), why);
}

bool FrameDecompressor::decodeJPEG(const UInt8* data, size_t size, Planes& planes)
{
    auto* jpeg = static_cast<tjhandle>(mJPEG);
    if (size > ULONG_MAX) {
        drop("%zu bytes of MJPEG is too much", size);
        return false;
    }
    int width = 0, height = 0, sampling = -1, colorspace = -1;
    // TurboJPEG keeps libjpeg's error jumps inside its own C frames and returns -1.
    // Without a frame header TurboJPEG may still answer 0, with no size.
    const int header = tjDecompressHeader3(jpeg, data, static_cast<unsigned long>(size), &width,
                                           &height, &sampling, &colorspace);
    if (header != 0 || width < 1 || height < 1) {
        drop("not a JPEG image (%s)", header != 0 ? tjGetErrorStr2(jpeg) : "no frame header");
        return false;
    }
    if (width != mSource.width || height != mSource.height) {
        drop("the JPEG image is %d x %d, the camera agreed on %d x %d", width, height,
             mSource.width, mSource.height);
        return false;
    }
    if (colorspace != TJCS_YCbCr || (sampling != TJSAMP_422 && sampling != TJSAMP_420)) {
        drop("only YCbCr JPEG images with 4:2:2 or 4:2:0 sampling are decoded");
        return false;
    }

    const PlaneLayout layout(width, height);
    UInt8* y = mDecoded.data();
    UInt8* u = y + layout.ySize;
    UInt8* v = u + layout.cSize;
    unsigned char* destinations[3] = {y, u, v};
    int strides[3] = {int(layout.yStride), int(layout.cStride), int(layout.cStride)};
    // Warnings (data ending early, bad Huffman codes) stop the frame rather than leave a grey
    // smear; progressive images with endless scans are cut short.
    if (tjDecompressToYUVPlanes(jpeg, data, static_cast<unsigned long>(size), destinations, width,
                                strides, height, TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS) != 0) {
        drop("corrupt JPEG data (%s)", tjGetErrorStr2(jpeg));
        return false;
    }
    planes = {y, u, v, strides[0], strides[1], strides[2], sampling == TJSAMP_420, true};
    return true;
}

bool FrameDecompressor::splitSource(const UInt8* data, size_t size, Planes& planes)
{
    const size_t width = size_t(mSource.width), height = size_t(mSource.height);
    const size_t line = mSource.bytesPerLine;
    const size_t cw = Half(width), ch = Half(height);
    size_t needed = 0;
    switch (mSource.fourcc) {
    case V4L2_PIX_FMT_YUYV:
    case V4L2_PIX_FMT_UYVY:
        needed = line * (height - 1) + width * 2;
        break;
    case V4L2_PIX_FMT_NV12:
        needed = line * height + line * (ch - 1) + cw * 2;
        break;
    case V4L2_PIX_FMT_YUV420:
        needed = line * height + Half(line) * (ch + ch - 1) + cw;
        break;
    }
    if (size < needed) {
        drop("%zu bytes, a %s frame of %d x %d needs %zu", size, FormatName(mSource.fourcc),
             mSource.width, mSource.height, needed);
        return false;
    }

    const PlaneLayout layout(mSource.width, mSource.height);
    UInt8* y = mDecoded.data();
    UInt8* u = y + layout.ySize;
    UInt8* v = u + layout.cSize;
    const int ys = int(layout.yStride), cs = int(layout.cStride);
    switch (mSource.fourcc) {
    case V4L2_PIX_FMT_YUYV:
        libyuv::YUY2ToI422(data, int(line), y, ys, u, cs, v, cs, mSource.width, mSource.height);
        planes = {y, u, v, ys, cs, cs, false, false};
        break;
    case V4L2_PIX_FMT_UYVY:
        libyuv::UYVYToI422(data, int(line), y, ys, u, cs, v, cs, mSource.width, mSource.height);
        planes = {y, u, v, ys, cs, cs, false, false};
        break;
    case V4L2_PIX_FMT_NV12:
        // Luma is read in place; only the interleaved chroma is split.
        libyuv::SplitUVPlane(data + line * height, int(line), u, cs, v, cs, int(cw), int(ch));
        planes = {data, u, v, int(line), cs, cs, true, false};
        break;
    case V4L2_PIX_FMT_YUV420: {
        const UInt8* cb = data + line * height;
        planes = {data, cb,   cb + Half(line) * ch, int(line), int(Half(line)), int(Half(line)),
                  true, false};
        break;
    }
    }
    return true;
}

bool FrameDecompressor::decompress(const UInt8* data, size_t size)
{
    if (!mConfigured) {
        DIAG_REPORT("FrameDecompressor: dropped a frame: no source and destination are set");
        return false;
    }
    if (!data || size == 0) {
        drop("the frame is empty");
        return false;
    }
    Planes planes{};
    const bool decoded = mSource.fourcc == V4L2_PIX_FMT_MJPEG ? decodeJPEG(data, size, planes)
                                                              : splitSource(data, size, planes);
    if (!decoded)
        return false;

    const int width = mDestination.width, height = mDestination.height;
    if (width != mSource.width || height != mSource.height) {
        const PlaneLayout layout(width, height);
        UInt8* y = mScaled.data();
        UInt8* u = y + layout.ySize;
        UInt8* v = u + layout.cSize;
        const int ys = int(layout.yStride), cs = int(layout.cStride);
        const int result =
            planes.chroma420
                ? libyuv::I420Scale(planes.y, planes.yStride, planes.u, planes.uStride, planes.v,
                                    planes.vStride, mSource.width, mSource.height, y, ys, u, cs, v,
                                    cs, width, height, libyuv::kFilterBilinear)
                : libyuv::I422Scale(planes.y, planes.yStride, planes.u, planes.uStride, planes.v,
                                    planes.vStride, mSource.width, mSource.height, y, ys, u, cs, v,
                                    cs, width, height, libyuv::kFilterBilinear);
        if (!DIAG_CHECK(result == 0))
            return false;
        planes = {y, u, v, ys, cs, cs, planes.chroma420, planes.fullRange};
    }

    // Our A,R,G,B bytes are libyuv's "BGRA": its RGBA writer with U and V swapped and the
    // mirrored matrix puts red where it would put blue.
    const libyuv::YuvConstants* matrix =
        planes.fullRange ? &libyuv::kYvuJPEGConstants : &libyuv::kYvuI601Constants;
    const int stride = int(mDestination.rowBytes);
    const int result =
        planes.chroma420
            ? libyuv::I420ToRGBAMatrix(planes.y, planes.yStride, planes.v, planes.vStride, planes.u,
                                       planes.uStride, mDestination.base, stride, matrix, width,
                                       height)
            : libyuv::I422ToRGBAMatrix(planes.y, planes.yStride, planes.v, planes.vStride, planes.u,
                                       planes.uStride, mDestination.base, stride, matrix, width,
                                       height);
    return DIAG_CHECK(result == 0);
}

} // namespace Capture

bool import_FrameDecompressor()
{
    return true;
}
