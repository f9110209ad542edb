// The camera input filter: a generator whose output image is the current broadcast frame, the
// last frame it had while there is none, or the no-camera picture before the first one.
#pragma once

#include <memory>

#include "CIFilter.h"
#include "CIKernel.h"
#include "VSharedCameraBuffer.h"

extern const CFStringRef kCIParallax3DInput_FilterName; // "CIParallax3DInput"
extern const CFStringRef kCIParallax3DInput_inputClock; // "inputClock"
extern const CFStringRef kCIAttributeTypeDistance;

// Registers the filter with the image engine when the plug-in is loaded.
class CIParallax3DInputLoader
{
public:
    bool load(void* host);
};

class CIParallax3DInput final : public CIFilter
{
public:
    static CFPtr<CIFilter> filterWithName(CFStringRef name);
    // The filter's attributes: inputClock, outputImage and its name.
    static CFMutableDictionaryRef classAttributes();
    // Loads the class's kernel once; later calls do nothing.
    static void initialize();
    static const CIKernel* UnusedFilterKernel();

    CFPtr<CIImage> outputImage() const override;
    CFDictionaryRef customAttributes() const; // owned by the caller
    CGRect regionOf(int sampler, CGRect destRect, void* userInfo) const;
    void cacheCameraImage(CFPtr<CIImage> image) const;

    // The channel frame buffer the last output image reads from, for a host that wants to hold
    // its lock while rendering; null when the image does not read shared memory.
    void* sharedFrameBuffer() const { return _sharedFrameBuffer; }
    // Whether the last output image is the frame just read, not the last frame kept or the
    // no-camera picture.
    bool outputIsCurrentFrame() const { return _outputIsCurrentFrame; }
    const CFPtr<CIImage>& noCameraImage() const { return _noCameraImage; }
    // The reader, made at the first output image so that making a filter touches no channel.
    const CIParallax3DInput_VSharedCameraBuffer* cameraBuffer() const
    {
        return _cameraBuffer.get();
    }

    ~CIParallax3DInput() override;

private:
    CIParallax3DInput(CFStringRef name, CFDictionaryRef attributes);

    CFPtr<CIImage> _noCameraImage;
    mutable std::unique_ptr<CIParallax3DInput_VSharedCameraBuffer> _cameraBuffer;
    mutable CFPtr<CIImage> _cachedCameraImage;
    mutable void* _sharedFrameBuffer = nullptr;
    mutable void* _cachedFrameBuffer = nullptr;
    mutable bool _outputIsCurrentFrame = false;
};

// Selects the system-log route, as the plug-in's first static initialiser also does.
extern "C" void BundleInitFunc(void);

bool import_CIParallax3DInput();
