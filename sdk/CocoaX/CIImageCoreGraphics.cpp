#include "CIImageCoreGraphics.h"

#include "CoreMachDebugLog.h"

CFPtr<CIImage> CIImageWithSizePixels(const CIImage* image, CGSize size)
{
    CFPtr<CIImage> result(const_cast<CIImage*>(image));
    if (image) {
        const CGRect extent = image->extent();
        const CGFloat scaleX = size.width / extent.size.width;
        const CGFloat scaleY = size.height / extent.size.height;
        const bool unchanged = extent.size.width == size.width ||
                               extent.size.height == size.height || scaleX == 1.0 || scaleY == 1.0;
        if (!unchanged)
            result = image->imageByApplyingTransform(CGAffineTransformMakeScale(scaleX, scaleY));
    }
    VERIFY_AT("-[CIImage(CoreGraphics) imageWithSizePixels:]", result);
    return result;
}

bool import_CIImageCoreGraphics()
{
    return import_CIImage();
}
