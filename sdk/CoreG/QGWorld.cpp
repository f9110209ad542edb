#include "QGWorld.h"

#include <cstdint>

#include "CoreMachDebugLog.h"

QGWorld::~QGWorld()
{
    DisposeIF();
}

bool QGWorld::ConstructAlias(char* inBaseAddr, long inRowBytes, const Point& inSize,
                             unsigned long inPixelFormat)
{
    DisposeIF();
    // Both checks report, whichever fails.
    bool fOk = VERIFY(inBaseAddr);
    fOk = VERIFY(inRowBytes) && fOk;
    if (!fOk)
        return false;
    const Rect bounds = {0, 0, inSize.v, inSize.h};
    // A format wider than 32 bits would otherwise be cut down to a valid one.
    const OSType pixelFormat = inPixelFormat <= UINT32_MAX ? OSType(inPixelFormat) : 0;
    GWorldPtr world = nullptr;
    const OSErr err = QTNewGWorldFromPtr(&world, pixelFormat, &bounds, nullptr, nullptr, 0,
                                         inBaseAddr, inRowBytes);
    if (VERIFY_ERR(err))
        return false;
    mGWorld = world;
    return true;
}

void QGWorld::DisposeIF()
{
    if (mGWorld) {
        UnlockPixels(GetGWorldPixMap(mGWorld));
        DisposeGWorld(mGWorld);
    }
    mGWorld = nullptr;
}

UInt32 QGWorld::GetPixelFormat() const
{
    if (!VERIFY(mGWorld))
        return 0;
    const PixMapHandle pixMap = GetGWorldPixMap(mGWorld);
    if (!pixMap || !*pixMap)
        return 0;
    const PixMap& map = **pixMap;
    return map.pixelFormat != 0 ? map.pixelFormat : UInt32(map.pixelSize);
}

QRect QGWorld::Bounds() const
{
    const PixMapHandle pixMap = GetGWorldPixMap(mGWorld);
    if (!pixMap || !*pixMap)
        throw CoreException("Nil exception pointer");
    return QRect((*pixMap)->bounds);
}

bool QGWorld::IsSizePixelFormat(const QRect& rect, unsigned long pixelFormat) const
{
    if (!mGWorld)
        return false;
    const QRect bounds = Bounds();
    return GetPixelFormat() == pixelFormat && bounds.Width() == rect.Width() &&
           bounds.Height() == rect.Height();
}

bool import_QGWorld()
{
    return import_CoreMachDebugLog();
}
