// Renders image recipes into A,R,G,B memory: a bitmap context, a channel buffer. Scratch memory
// is kept between renders, so a warm context allocates nothing per frame.
#pragma once

#include <memory>
#include <vector>

#include "CGContext.h"
#include "CIImage.h"

class CIContext final : public p3dcf::Object
{
public:
    // Over a bitmap context of A,R,G,B bytes (the context is kept).
    static CFPtr<CIContext> contextWithCGContext(CGContextRef context);
    // Over caller memory: width x height pixels, rows top to bottom.
    static CFPtr<CIContext> contextWithARGBMemory(void* base, size_t rowBytes, size_t width,
                                                  size_t height);

    // Renders fromRect of image with its lower-left corner at point of the destination (y up,
    // the destination's lower-left pixel at (0, 0)). Pixels outside the image are transparent;
    // destination pixels outside the drawn rect are left alone.
    bool drawImage(const CIImage* image, CGPoint atPoint, CGRect fromRect);
    // Renders bounds of image into memory of bounds' size.
    bool render(const CIImage* image, void* base, size_t rowBytes, CGRect bounds);

    static CFTypeID TypeID();
    std::u16string describeContents() const override;
    ~CIContext() override;

    struct Raster;
    class Scratch;

private:
    CIContext();

    CGContextRef mCGContext = nullptr;
    UInt8* mBase = nullptr;
    size_t mRowBytes = 0;
    size_t mWidth = 0;
    size_t mHeight = 0;
    std::unique_ptr<Scratch> mScratch;
};

bool import_CIContext();
