// Camera frames to A,R,G,B memory: each frame the device delivers is decoded once and scaled
// once into the caller's bitmap.
#pragma once

#include <cstddef>
#include <vector>

#include "MacTypes.h"

namespace Capture {

// Frames wider or taller than this are refused, so a driver's nonsense cannot ask for gigabytes.
constexpr int kMaxFrameDimension = 8192;

// What the device delivers: the negotiated size and V4L2 pixel format.
struct FrameSource
{
    int width = 0;
    int height = 0;
    UInt32 fourcc = 0; // V4L2_PIX_FMT_MJPEG, _YUYV, _UYVY, _NV12 or _YUV420
    // Bytes of one packed row (YUYV, UYVY) or of one Y row (NV12, YUV420, whose chroma rows then
    // take half of it for YUV420 and all of it for NV12); 0 for packed rows. MJPEG ignores it.
    size_t bytesPerLine = 0;
};

// Where frames go: bytes A,R,G,B, alpha premultiplied, row 0 at the top, as a bitmap context
// holds them.
struct FrameDestination
{
    UInt8* base = nullptr;
    size_t rowBytes = 0;
    int width = 0;
    int height = 0;
};

// MJPEG (4:2:2 and 4:2:0 sampling, full-range YCbCr, Huffman tables optional as webcams send
// them) and YUYV, UYVY, NV12, YUV420 (BT.601 limited range). Each pixel takes the chroma of its
// own sample, without interpolation. Output is opaque. A source of the
// destination's size is converted as it is; any other size is scaled bilinearly.
//
// Scratch memory is sized by configure() and only grows; decompress() allocates nothing of its
// own (libjpeg-turbo keeps a per-image pool and libyuv's bilinear scaler a row buffer, both
// through malloc inside the libraries).
class FrameDecompressor
{
public:
    FrameDecompressor();
    ~FrameDecompressor();
    FrameDecompressor(const FrameDecompressor&) = delete;
    FrameDecompressor& operator=(const FrameDecompressor&) = delete;

    // False with a report for a description that makes no sense (sizes out of bounds, odd
    // widths for 4:2:2 packed formats, rows shorter than their pixels, an unknown format);
    // every frame is then refused until a description is accepted.
    bool configure(const FrameSource& source, const FrameDestination& destination);
    bool configured() const { return mConfigured; }

    // One frame of the configured source into the destination. A frame that is empty, shorter
    // than its format needs, corrupt, truncated, or a JPEG of another size than the negotiated
    // one is dropped: false with a report, and the destination is left untouched (it is written
    // only after the whole frame has decoded).
    bool decompress(const UInt8* data, size_t size);

private:
    struct Planes
    {
        const UInt8* y;
        const UInt8* u;
        const UInt8* v;
        int yStride;
        int uStride;
        int vStride;
        bool chroma420; // chroma halved vertically too
        bool fullRange; // JPEG's YCbCr
    };

    // Reports why a frame was dropped.
    void drop(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool decodeJPEG(const UInt8* data, size_t size, Planes& planes);
    bool splitSource(const UInt8* data, size_t size, Planes& planes);

    FrameSource mSource;
    FrameDestination mDestination;
    bool mConfigured = false;
    void* mJPEG = nullptr;       // tjhandle, made on first use
    std::vector<UInt8> mDecoded; // planes at the source size
    std::vector<UInt8> mScaled;  // planes at the destination size
    long mDropped = 0;           // frames dropped since construction, numbering the reports
};

} // namespace Capture

bool import_FrameDecompressor();
