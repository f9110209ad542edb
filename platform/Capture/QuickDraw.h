// The offscreen port the capture layer decompresses into: a plain description of caller
// memory (base address, row bytes, bounds, pixel format). Nothing here owns pixels.
#pragma once

#include "MacTypes.h"

typedef char* Ptr;

enum : OSType {
    k32ARGBPixelFormat = 0x00000020,       // A,R,G,B bytes
    k8IndexedGrayPixelFormat = 0x00000028, // one grey byte
    k32RGBAPixelFormat = FourCC("RGBA"),   // R,G,B,A bytes
};

enum : OSErr { memFullErr = -108 };

typedef UInt32 GWorldFlags;
typedef void* CTabHandle;
typedef void* GDHandle;

struct PixMap
{
    Ptr baseAddr;
    long rowBytes;
    Rect bounds;
    SInt16 pixelSize; // bits
    OSType pixelFormat;
};
typedef PixMap* PixMapPtr;
typedef PixMapPtr* PixMapHandle;

struct GWorld
{
    PixMap pixMap;
    PixMapPtr pixMapPtr; // what the handle points at
};
typedef GWorld* GWorldPtr;

// A port over baseAddr with the given bounds and one of the pixel formats above. paramErr for
// a null out pointer, bounds or base address, an empty or inverted rectangle, row bytes
// narrower than a row, or another pixel format; the colour table, device and flags are not
// used. *offscreenGWorld is null after a failure.
OSErr QTNewGWorldFromPtr(GWorldPtr* offscreenGWorld, OSType pixelFormat, const Rect* boundsRect,
                         CTabHandle cTable, GDHandle aGDevice, GWorldFlags flags, void* baseAddr,
                         long rowBytes);
// Null is tolerated. The pixels stay the caller's.
void DisposeGWorld(GWorldPtr offscreenGWorld);
// Null for null.
PixMapHandle GetGWorldPixMap(GWorldPtr offscreenGWorld);
Ptr GetPixBaseAddr(PixMapHandle pixMap);
long GetPixRowBytes(PixMapHandle pixMap);
Rect* GetPixBounds(PixMapHandle pixMap, Rect* bounds);
// The memory is always the caller's and never moves: locking always succeeds.
Boolean LockPixels(PixMapHandle pixMap);
void UnlockPixels(PixMapHandle pixMap);
