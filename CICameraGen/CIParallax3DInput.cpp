#include "CIParallax3DInput.h"

#include <mutex>

#include "CFCollections.h"
#include "CFNumber.h"
#include "CIParallax3DInputResources.h"
#include "CoreMachDebugLog.h"

namespace {

CFPtr<CIKernel> sUnusedFilterKernel;

CFDataRef ResourceData(const char* name, const char* type)
{
    const CIParallax3DInputResource resource = CIParallax3DInputFindResource(name, type);
    if (!resource.bytes)
        return nullptr;
    return CFDataCreate(nullptr, resource.bytes, CFIndex(resource.size));
}

CFNumberRef Double(double value)
{
    return CFNumberCreate(nullptr, kCFNumberDoubleType, &value);
}

// The clock as a host sees it: its type, identity, default and ranges.
CFMutableDictionaryRef ClockAttributes()
{
    CFMutableDictionaryRef clock = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(clock, kCIAttributeType, kCIAttributeTypeDistance);
    CFNumberRef zero = Double(0.0);
    CFNumberRef sliderMax = Double(1000000000.0);
    for (CFStringRef key :
         {kCIAttributeIdentity, kCIAttributeDefault, kCIAttributeSliderMin, kCIAttributeMin})
        CFDictionarySetValue(clock, key, zero);
    CFDictionarySetValue(clock, kCIAttributeSliderMax, sliderMax);
    CFRelease(zero);
    CFRelease(sliderMax);
    return clock;
}

} // namespace

const CFStringRef kCIParallax3DInput_FilterName = CFSTR("CIParallax3DInput");
const CFStringRef kCIParallax3DInput_inputClock = CFSTR("inputClock");
const CFStringRef kCIAttributeTypeDistance = CFSTR("CIAttributeTypeDistance");

extern "C" __attribute__((visibility("default"))) void BundleInitFunc(void)
{
    CoreMachDebugLogSetUseLogger(kCoreLogOutputASL);
}

bool CIParallax3DInputLoader::load(void*)
{
    CFMutableDictionaryRef attributes = CIParallax3DInput::classAttributes();
    CIFilter::registerFilterName(kCIParallax3DInput_FilterName, CIParallax3DInput::filterWithName,
                                 attributes);
    CFRelease(attributes);
    return true;
}

CFPtr<CIFilter> CIParallax3DInput::filterWithName(CFStringRef name)
{
    initialize();
    CFMutableDictionaryRef attributes = classAttributes();
    CFPtr<CIFilter> filter = CFPtr<CIFilter>::Adopt(new CIParallax3DInput(name, attributes));
    CFRelease(attributes);
    return filter;
}

CFMutableDictionaryRef CIParallax3DInput::classAttributes()
{
    CFMutableDictionaryRef attributes = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(attributes, kCIAttributeFilterName, kCIParallax3DInput_FilterName);
    CFDictionarySetValue(attributes, kCIAttributeFilterDisplayName, CFSTR("Parallax3D Input"));
    const void* categories[] = {kCICategoryVideo, kCICategoryStillImage};
    CFArrayRef categoryArray = CFArrayCreate(nullptr, categories, 2, &kCFTypeArrayCallBacks);
    CFDictionarySetValue(attributes, kCIAttributeFilterCategories, categoryArray);
    CFRelease(categoryArray);

    // The registry checks values against the class; the custom attributes leave it out.
    CFMutableDictionaryRef clock = ClockAttributes();
    CFDictionarySetValue(clock, kCIAttributeClass, CFSTR("NSNumber"));
    CFDictionarySetValue(attributes, kCIParallax3DInput_inputClock, clock);
    CFRelease(clock);
    return attributes;
}

void CIParallax3DInput::initialize()
{
    static std::once_flag sOnce;
    std::call_once(sOnce, [] {
        CFDataRef kernelData = ResourceData("CIKernel", "cikernel");
        if (!kernelData)
            return;
        CFStringRef text =
            CFStringCreateWithBytes(nullptr, CFDataGetBytePtr(kernelData),
                                    CFDataGetLength(kernelData), kCFStringEncodingUTF8, false);
        CFRelease(kernelData);
        if (!text)
            return;
        CFArrayRef kernels = CIKernel::kernelsWithString(text);
        CFRelease(text);
        if (!kernels)
            return;
        if (CFArrayGetCount(kernels) > 0)
            sUnusedFilterKernel = CFPtr<CIKernel>(
                static_cast<CIKernel*>(const_cast<void*>(CFArrayGetValueAtIndex(kernels, 0))));
        CFRelease(kernels);
    });
}

const CIKernel* CIParallax3DInput::UnusedFilterKernel()
{
    return sUnusedFilterKernel.get();
}

CIParallax3DInput::CIParallax3DInput(CFStringRef name, CFDictionaryRef attributes)
    : CIFilter(name, attributes)
{
    if (CFDataRef picture = ResourceData("CISpyglassInput", "png")) {
        _noCameraImage = CIImage::imageWithData(picture);
        CFRelease(picture);
    }
}

CIParallax3DInput::~CIParallax3DInput() = default;

CFPtr<CIImage> CIParallax3DInput::outputImage() const
{
    if (!_cameraBuffer)
        _cameraBuffer = std::make_unique<CIParallax3DInput_VSharedCameraBuffer>();
    if (_cameraBuffer->readCurrentCameraFrame()) {
        if (CFPtr<CIImage> image = _cameraBuffer->fastestCoreImage()) {
            // Only the pixel-buffer image reads the shared memory; the others are copies.
            const bool wrapsFrame = image->kind() == CIImage::Kind::kSource &&
                                    image->sourceBase() == _cameraBuffer->camera.frameBufferPtr;
            _cachedFrameBuffer = wrapsFrame ? _cameraBuffer->camera.frameBufferPtr : nullptr;
            _sharedFrameBuffer = _cachedFrameBuffer;
            _outputIsCurrentFrame = true;
            cacheCameraImage(image);
            return image;
        }
    }
    _outputIsCurrentFrame = false;
    if (_cachedCameraImage) {
        _sharedFrameBuffer = _cachedFrameBuffer;
        return _cachedCameraImage;
    }
    _sharedFrameBuffer = nullptr;
    return _noCameraImage;
}

void CIParallax3DInput::cacheCameraImage(CFPtr<CIImage> image) const
{
    _cachedCameraImage = std::move(image);
}

CFDictionaryRef CIParallax3DInput::customAttributes() const
{
    CFMutableDictionaryRef clock = ClockAttributes();
    const void* keys[] = {kCIParallax3DInput_inputClock};
    const void* values[] = {clock};
    CFDictionaryRef custom = CFDictionaryCreate(
        nullptr, keys, values, 1, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFRelease(clock);
    return custom;
}

CGRect CIParallax3DInput::regionOf(int, CGRect destRect, void*) const
{
    return destRect;
}

bool import_CIParallax3DInput()
{
    return import_VSharedCameraBuffer() && import_CIFilter() && import_CIKernel();
}
