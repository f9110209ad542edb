#include "QuickDraw.h"

#include <new>

static SInt16 PixelSizeOf(OSType pixelFormat)
{
    switch (pixelFormat) {
    case k32ARGBPixelFormat:
    case k32RGBAPixelFormat:
        return 32;
    case k8IndexedGrayPixelFormat:
        return 8;
    default:
        return 0;
    }
}

OSErr QTNewGWorldFromPtr(GWorldPtr* offscreenGWorld, OSType pixelFormat, const Rect* boundsRect,
                         CTabHandle, GDHandle, GWorldFlags, void* baseAddr, long rowBytes)
{
    if (!offscreenGWorld)
        return paramErr;
    *offscreenGWorld = nullptr;
    const SInt16 pixelSize = PixelSizeOf(pixelFormat);
    if (!boundsRect || !baseAddr || pixelSize == 0)
        return paramErr;
    const long width = long(boundsRect->right) - boundsRect->left;
    const long height = long(boundsRect->bottom) - boundsRect->top;
    if (width <= 0 || height <= 0 || rowBytes < width * (pixelSize / 8))
        return paramErr;
    GWorld* world = new (std::nothrow) GWorld;
    if (!world)
        return memFullErr;
    world->pixMap =
        PixMap{static_cast<Ptr>(baseAddr), rowBytes, *boundsRect, pixelSize, pixelFormat};
    world->pixMapPtr = &world->pixMap;
    *offscreenGWorld = world;
    return noErr;
}

void DisposeGWorld(GWorldPtr offscreenGWorld)
{
    delete offscreenGWorld;
}

PixMapHandle GetGWorldPixMap(GWorldPtr offscreenGWorld)
{
    return offscreenGWorld ? &offscreenGWorld->pixMapPtr : nullptr;
}

Ptr GetPixBaseAddr(PixMapHandle pixMap)
{
    return pixMap && *pixMap ? (*pixMap)->baseAddr : nullptr;
}

long GetPixRowBytes(PixMapHandle pixMap)
{
    return pixMap && *pixMap ? (*pixMap)->rowBytes : 0;
}

Rect* GetPixBounds(PixMapHandle pixMap, Rect* bounds)
{
    if (!bounds)
        return nullptr;
    *bounds = pixMap && *pixMap ? (*pixMap)->bounds : Rect{0, 0, 0, 0};
    return bounds;
}

Boolean LockPixels(PixMapHandle)
{
    return true;
}

void UnlockPixels(PixMapHandle) {}
