// An off-screen bitmap that owns its pixels and shows them three ways without copying: a
// bitmap context to draw into, an offscreen-port alias to decompress into, and images.
#pragma once

#include "CoreGraphicsContext.h"
#include "MacTypes.h"
#include "QGWorld.h"

namespace CoreGraphics {

class BitmapContext : public Context
{
public:
    enum BitmapType : SInt32 {
        BitmapType_Device_Gray = 1, // grey, no alpha; port format 40
        BitmapType_Device_ARGB = 2, // A,R,G,B premultiplied; port format 32
        BitmapType_Device_XRGB = 3, // x,R,G,B; port format 32, its alpha byte unused
        BitmapType_Device_RGBX = 4, // R,G,B,x; port format 'RGBA', its alpha byte unused
    };
    static constexpr UInt32 kImageBitsPerComponent = 8;

    BitmapContext();
    // Runs Destruct. A class that overrides the pixel memory pair must call Destruct in its own
    // destructor, since by the time this one runs its DeleteImageData is no longer reachable.
    virtual ~BitmapContext();
    BitmapContext(const BitmapContext&) = delete;
    BitmapContext& operator=(const BitmapContext&) = delete;

    // inUseRowBytes 0 asks for packed rows. A failure gives back everything it had acquired.
    bool Construct(int width, int height, BitmapType type, unsigned long inUseRowBytes);
    virtual CGImageRef ConstructCGImage() const;
    virtual unsigned char* CreateImageData(unsigned long size) const;
    virtual void DeleteImageData(unsigned char* bytes) const;
    virtual bool ConstructGWorld();
    void Draw(CGContextRef inContext, CGRect rect) const;
    void Destruct();

    bool IsConstructed() const
    {
        return mImageWidth != 0 && mImageHeight != 0 && mContext && mImageDataBytes;
    }
    BitmapType GetImageType() const { return mImageType; }

    CGContextRef mContext;
    BitmapType mImageType;
    UInt32 mImageWidth;
    UInt32 mImageHeight;
    UInt32 mImageBitsPerPixel;
    UInt32 mImageChannels;
    UInt32 mImageRowBytes;
    UInt32 mImageDataSize;
    CGBitmapInfo mImageBitmapInfo;
    CGColorSpaceRef mImageColorspace;
    QGWorld mGWorld;
    unsigned char* mImageDataBytes;

private:
    void Release();
};

} // namespace CoreGraphics

bool import_CoreGraphicsBitmapContext();
