// The offscreen-port wrapper: owns a port that aliases someone else's pixel memory.
#pragma once

#include "QuickDraw.h"

// Qt has classes of the same names: ours live in a namespace of their own, and only code built
// without Qt sees them unqualified. Headers name them qualified.
namespace p3dqd {

// A rectangle as the capture platform has it: top, left, bottom, right.
struct QRect : Rect
{
    QRect() : Rect{0, 0, 0, 0} {}
    QRect(const Rect& rect) : Rect(rect) {}
    QRect(SInt16 inTop, SInt16 inLeft, SInt16 inBottom, SInt16 inRight)
        : Rect{inTop, inLeft, inBottom, inRight}
    {
    }
    SInt32 Width() const { return SInt32(right) - left; }
    SInt32 Height() const { return SInt32(bottom) - top; }
};

// A point from its horizontal and vertical values. A value that does not fit 16 bits becomes
// 0, so a port of that size is refused instead of wrapping to another size.
struct QPoint : Point
{
    QPoint(long inH, long inV) : Point{Fit(inV), Fit(inH)} {}

private:
    static SInt16 Fit(long value) { return value >= -32768 && value <= 32767 ? SInt16(value) : 0; }
};

} // namespace p3dqd

#ifndef QT_CORE_LIB
using p3dqd::QPoint;
using p3dqd::QRect;
#endif

class QGWorld
{
public:
    QGWorld() : mGWorld(nullptr) {}
    ~QGWorld();
    QGWorld(const QGWorld&) = delete;
    QGWorld& operator=(const QGWorld&) = delete;

    // Disposes any current port, then makes one over the caller's memory with bounds
    // (0, 0, size.v, size.h). The memory stays the caller's.
    bool ConstructAlias(char* inBaseAddr, long inRowBytes, const Point& inSize,
                        unsigned long inPixelFormat);
    void DisposeIF();
    void Destruct() { DisposeIF(); }

    // The pixel map's format, or its pixel size when the format is 0; 0 without a port.
    UInt32 GetPixelFormat() const;
    // Throws CoreException when there is no pixel map.
    p3dqd::QRect Bounds() const;
    // Same pixel format and same width and height as rect (origins are not compared).
    bool IsSizePixelFormat(const p3dqd::QRect& rect, unsigned long pixelFormat) const;

    GWorldPtr mGWorld;
};

bool import_QGWorld();
