// 8-bit 4:2:2 Y'CbCr frames ("2vuy": Cb,Y'0,Cr,Y'1; "yuvs": Y'0,Cb,Y'1,Cr) over memory they may
// or may not own, and their conversions to and from A,R,G,B bitmaps.
#pragma once

#include <cstddef>
#include <cstdint>

#include "MacTypes.h"
#include "QGWorld.h"
#include "T_HISTOGRAM.h"

namespace CoreGraphics {
class BitmapContext;
class MaskContext;
} // namespace CoreGraphics

class Q_2vuy_format
{
public:
    static constexpr UInt32 kFormat_2vuy = 0x32767579; // '2vuy'
    static constexpr UInt32 kFormat_yuvs = 0x79757673; // 'yuvs'

    static bool IsValidPixelFormat(UInt32 in_pixelFormat)
    {
        return in_pixelFormat == kFormat_2vuy || in_pixelFormat == kFormat_yuvs;
    }
    intptr_t FrameSizeBytes() const { return intptr_t(_height) * _rowBytes; }
    void DebugDump() const {}

    SInt16 _width = 0; // even: a pixel pair shares its chroma
    SInt16 _height = 0;
    intptr_t _rowBytes = 0; // at least 2*_width
    UInt32 _pixelFormat = kFormat_2vuy;
};

// Which conversion code runs; the vector ones give the same bytes as kScalar.
enum class Q_2vuy_path { kScalar, kAVX2, kAVX512 };

class Q_2vuy_buffer;

class Q_2vuy_data : public Q_2vuy_format
{
public:
    typedef UInt8* pixel_ptr_t;

    Q_2vuy_data() = default;
    Q_2vuy_data(const Q_2vuy_data& in_rhs) = default;
    Q_2vuy_data& operator=(const Q_2vuy_data& in_rhs); // shares the pixels

    bool IsEmpty() const { return _PixelData == nullptr; }
    bool SetFormat(const Q_2vuy_format& in_rhs);
    bool CanCopyFormat(const Q_2vuy_data& in_rhs) const;
    bool CanCopyFormat(const CoreGraphics::BitmapContext& in_rhs) const;
    // Same size, both valid formats, both with pixels.
    bool FormatCompatible(const Q_2vuy_data& in_source) const;

    // A second image over in_rect (top, left, bottom, right; bottom and right one past the last
    // row and column) of this one's pixels; the left edge and width must be even.
    bool ConstructSubImage(Q_2vuy_data& out_image, const p3dqd::QRect& in_rect) const;
    // A buffer would free pixels it does not own.
    bool ConstructSubImage(Q_2vuy_buffer& out_image, const p3dqd::QRect& in_rect) const = delete;

    void CopyPixelsFromColor(UInt8 in_y, UInt8 in_cb, UInt8 in_cr);
    // Between "2vuy" and "yuvs" images of one size.
    bool CopyPixelsFrom(const Q_2vuy_data& in_source);
    // The same with the luma through the table; the chroma is copied as it is.
    bool CopyPixelsFrom(const Q_2vuy_data& in_source,
                        const RasterGraphics::CLUT_BASE& in_lumaTable);
    // The same, counting the source's luma into the histogram, which is cleared first, so that
    // it describes the copied image and its GetEqualized table can serve the next copy.
    bool CopyPixelsFrom(const Q_2vuy_data& in_source, RasterGraphics::T_HISTOGRAM<>& out_histogram);
    bool CopyPixelsFrom(const Q_2vuy_data& in_source, const RasterGraphics::CLUT_BASE& in_lumaTable,
                        RasterGraphics::T_HISTOGRAM<>& out_histogram);
    // A mix of two images of this size: in_mixB 0 gives A, 1 gives B, and between, every byte
    // is (A (256 - w) + B w + 128) >> 8 with w = in_mixB * 256 rounded. Values beyond 0 and 1
    // count as 0 and 1, NaN as 0.
    bool CopyPixelsFrom(const Q_2vuy_data& in_sourceA, const Q_2vuy_data& in_sourceB,
                        float in_mixB);
    // From an A,R,G,B bitmap. in_bottomAligned takes a taller bitmap's bottom rows (where
    // CopyPixelsTo puts a shorter image), else its top rows.
    bool CopyPixelsFrom(const CoreGraphics::BitmapContext& in_bitmap, bool in_bottomAligned);
    // A shorter image lands on the bitmap's bottom rows, a wider one is cut to the bitmap.
    void CopyPixelsTo(CoreGraphics::BitmapContext& bitmap) const;

    // Transitions from image A to image B, written into this image. Rectangles are in this
    // image's pixels, top row first, cut to the image; their left and right edges are taken down
    // to even columns, so that a pixel pair, which shares its chroma, never mixes two images.
    // A source may be this image itself, but may not overlap it otherwise; one that is scaled
    // may not overlap it at all. This image's width must be even, and its rows whole in its
    // data; rows past a same-sized source's data are left as they were.
    //
    // B inside the rectangle, A outside; A and B of this image's size.
    bool WipePixelsFrom(const Q_2vuy_data& in_sourceA, const Q_2vuy_data& in_sourceB,
                        const p3dqd::QRect& in_rect);
    // Each pixel mixes A and B by its mask byte m (0 all A, 255 all B) as
    // (A (255 - m) + B m + 127) / 255; a pair's chroma by the mean of its two bytes, rounded
    // up. The mask has this image's size; its row 0 is the top row.
    bool WipePixelsFrom(const Q_2vuy_data& in_sourceA, const Q_2vuy_data& in_sourceB,
                        const CoreGraphics::MaskContext& in_mask);
    // Picture in picture: A, with B of any size scaled into the rectangle. The scaling takes
    // for each pixel the nearest source pixel up-left of its place (source column
    // floor(x * B width / rectangle width), and so for rows); a pair takes the chroma of its
    // first pixel's source pair. A part of the rectangle outside the image is cut, not squeezed.
    bool WipePIPPixelsFrom(const Q_2vuy_data& in_sourceA, const Q_2vuy_data& in_sourceB,
                           const p3dqd::QRect& in_rect);
    // Two up, side by side as a stereo pair: A squeezed into the left half, B into the right,
    // both at full height. The left half is width / 2 taken down to even.
    bool WipeTwoUpPixelsFrom(const Q_2vuy_data& in_sourceA, const Q_2vuy_data& in_sourceB);
    // Black (as AllocateBuffer fills), then A scaled into in_rectA and B into in_rectB, as the
    // picture in picture scales; B is on top where the two overlap.
    bool WipeTwoUpPixelsFromCore(const Q_2vuy_data& in_sourceA, const Q_2vuy_data& in_sourceB,
                                 const p3dqd::QRect& in_rectA, const p3dqd::QRect& in_rectB);

    // Allocates FrameSizeBytes() bytes of black; the caller frees them with FreeBuffer.
    bool AllocateBuffer(const Q_2vuy_format& in_rhs);
    void FreeBuffer();

    // Writes ARGB for x = 0,2,4,... while x < width: an odd width writes one pixel more.
    static void ConvertScanline_2vuy_to_ARGB(const UInt8* src, UInt8* dst, int width);
    static void ConvertScanline_yuvs_to_ARGB(const UInt8* src, UInt8* dst, int width);
    // The same on a chosen path, for tests and benchmarks; false when this CPU lacks it.
    static bool PathSupported(Q_2vuy_path in_path);
    static bool ConvertScanline_to_ARGB(Q_2vuy_path in_path, UInt32 in_pixelFormat,
                                        const UInt8* src, UInt8* dst, int width);
    // A,R,G,B pixels to "2vuy" pairs; an odd width repeats the last pixel as its partner.
    static void ConvertScanline_ARGB_to_2vuy(const UInt8* src, UInt8* dst, int width);
    // width pixels of a "2vuy" or "yuvs" row (two bytes each, so an odd width ends on half a
    // pair) into "2vuy" order, the luma through the table and counted, before the table, into
    // the histogram, which is added to. src and dst may be the same row. False for another
    // format or a negative width.
    static bool SwizzleScanline_XXXX_to_2vuy(const UInt8* src, UInt32 in_srcFormat, UInt8* dst,
                                             int width, const RasterGraphics::CLUT_BASE& in_table,
                                             RasterGraphics::T_HISTOGRAM<>& io_histogram);
    // Mixes two rows of one byte order, byte by byte, with the weight w of B in 0..256 (see the
    // mixing CopyPixelsFrom); dst may be either source.
    static void BlendScanline_2vuy(const UInt8* srcA, const UInt8* srcB, UInt8* dst, int width,
                                   int in_weightB);

    UInt8* _PixelData = nullptr; // top row first, not owned
    size_t _PixelDataSize = 0;

protected:
    // Rows from the top that lie wholly inside _PixelDataSize for bytesPerRow used bytes each.
    int RowsInData(size_t in_bytesPerRow) const;
    // Valid format, even width, and every row inside the data: what a transition reads whole.
    bool IsPairImage() const;
    // Whether the other image's bytes are this image's own, row for row, or apart from them.
    bool IsSameOrApart(const Q_2vuy_data& in_other) const;
    bool Overlaps(const Q_2vuy_data& in_other) const;
    // Copies rows of a same-sized source through the table (null: as they are), counting luma
    // into the histogram (null: not counted).
    bool CopyPixelsThrough(const Q_2vuy_data& in_source, const RasterGraphics::CLUT_BASE* in_table,
                           RasterGraphics::T_HISTOGRAM<>* io_histogram);
    // The scaled drawing of the picture in picture, into rows and columns already checked.
    void DrawScaled(const Q_2vuy_data& in_source, const p3dqd::QRect& in_rect);
};

// Owns its pixels (AllocateBuffer) and frees them when it goes.
class Q_2vuy_buffer : public Q_2vuy_data
{
public:
    Q_2vuy_buffer() = default;
    ~Q_2vuy_buffer();
    Q_2vuy_buffer(const Q_2vuy_buffer&) = delete;
    Q_2vuy_buffer& operator=(const Q_2vuy_buffer&) = delete;
};

bool import_Q_2vuy_data();
