#include "StereoPacking.h"

#include <cmath>

#include "CoreMachDebugLog.h"
#include "StereoMuxKernel.h"

extern const uint8_t StereoEncoding_EyesJoined_cikernel[];
extern const size_t StereoEncoding_EyesJoined_cikernel_length;

namespace {

// The engine composes two images only through a kernel: this one adds the eyes as they are,
// and placed apart they never meet, so every pixel is copied from its eye.
const CIKernel* JoinKernel()
{
    static const CFPtr<CIKernel> sKernel = WithUnscrambledText(
        StereoEncoding_EyesJoined_cikernel, StereoEncoding_EyesJoined_cikernel_length,
        [](std::string_view text) { return CIKernel::kernelWithText(text); });
    return sKernel.get();
}

// The eye's whole extent squeezed into place, and nothing outside it.
CFPtr<CIImage> Placed(const CIImage* eye, const CGRect& place)
{
    const CGRect extent = eye->extent();
    const CGFloat sx = place.size.width / extent.size.width;
    const CGFloat sy = place.size.height / extent.size.height;
    const CGAffineTransform squeeze = CGAffineTransformMake(
        sx, 0, 0, sy, place.origin.x - extent.origin.x * sx, place.origin.y - extent.origin.y * sy);
    CFPtr<CIImage> moved = eye->imageByApplyingTransform(squeeze);
    return moved ? moved->imageByCroppingToRect(place) : nullptr;
}

bool HasPixels(const CGRect& rect)
{
    return !CGRectIsNull(rect) && rect.size.width >= 2 && rect.size.height >= 2 &&
           std::isfinite(rect.size.width) && std::isfinite(rect.size.height);
}

} // namespace

CFPtr<CIImage> StereoPackedImage(const CIImage* leftEye, const CIImage* rightEye,
                                 StereoEncoding::Kind kind, bool swapEyes)
{
    if (!leftEye || !rightEye || kind == StereoEncoding::Kind::kAnaglyph ||
        !HasPixels(leftEye->extent()) || !HasPixels(rightEye->extent()))
        return nullptr;
    const CIKernel* join = JoinKernel();
    if (!VERIFY(join != nullptr))
        return nullptr;
    const CGRect frame = CGRectUnion(leftEye->extent(), rightEye->extent());
    const CIImage* first = swapEyes ? rightEye : leftEye; // left or top
    const CIImage* second = swapEyes ? leftEye : rightEye;
    CGRect firstPlace, secondPlace;
    if (kind == StereoEncoding::Kind::kSideBySide) {
        const CGFloat half = std::floor(frame.size.width / 2);
        firstPlace = CGRectMake(frame.origin.x, frame.origin.y, half, frame.size.height);
        secondPlace = CGRectMake(frame.origin.x + half, frame.origin.y, frame.size.width - half,
                                 frame.size.height);
    } else {
        // y runs up: the top half is the upper one.
        const CGFloat half = std::floor(frame.size.height / 2);
        secondPlace =
            CGRectMake(frame.origin.x, frame.origin.y, frame.size.width, frame.size.height - half);
        firstPlace = CGRectMake(frame.origin.x, frame.origin.y + frame.size.height - half,
                                frame.size.width, half);
    }
    CFPtr<CIImage> a = Placed(first, firstPlace);
    CFPtr<CIImage> b = Placed(second, secondPlace);
    if (!a || !b)
        return nullptr;
    return CIImage::imageWithKernel(&join->compiled(), a.get(), b.get(), 0.0f, frame);
}

bool import_StereoPacking()
{
    return true;
}
