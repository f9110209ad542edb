// 8-bit 4:2:2 Y'CbCr frames ("2vuy": Cb,Y'0,Cr,Y'1; "yuvs": Y'0,Cb,Y'1,Cr) over memory they may
// or may not own, and their conversions to and from A,R,G,B bitmaps.
#pragma once

#include <cstddef>
#include <cstdint>

#include "MacTypes.h"

namespace CoreGraphics {
class BitmapContext;
}

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

// Edges in pixels; right and bottom are one past the last column and row.
struct Q_2vuy_rect
{
    SInt16 left;
    SInt16 top;
    SInt16 right;
    SInt16 bottom;
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

    // A second image over in_rect of this one's pixels; the left edge and width must be even.
    bool ConstructSubImage(Q_2vuy_data& out_image, const Q_2vuy_rect& in_rect) const;
    // A buffer would free pixels it does not own.
    bool ConstructSubImage(Q_2vuy_buffer& out_image, const Q_2vuy_rect& in_rect) const = delete;

    void CopyPixelsFromColor(UInt8 in_y, UInt8 in_cb, UInt8 in_cr);
    // Between "2vuy" and "yuvs" images of one size.
    bool CopyPixelsFrom(const Q_2vuy_data& in_source);
    // From an A,R,G,B bitmap. in_bottomAligned takes a taller bitmap's bottom rows (where
    // CopyPixelsTo puts a shorter image), else its top rows.
    bool CopyPixelsFrom(const CoreGraphics::BitmapContext& in_bitmap, bool in_bottomAligned);
    // A shorter image lands on the bitmap's bottom rows, a wider one is cut to the bitmap.
    void CopyPixelsTo(CoreGraphics::BitmapContext& bitmap) const;

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

    UInt8* _PixelData = nullptr; // top row first, not owned
    size_t _PixelDataSize = 0;

protected:
    // Rows from the top that lie wholly inside _PixelDataSize for bytesPerRow used bytes each.
    int RowsInData(size_t in_bytesPerRow) const;
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
