// Turns the current frame of the shared camera channel into an image, by the fastest means that
// works: a pixel buffer laid over the shared memory, else a private copy, else (for 2vuy frames)
// a conversion into a bitmap made once.
#pragma once

#include <memory>

#include "CIImage.h"
#include "CoreGraphicsBitmapContext.h"
#include "shared_camera_buffer.h"

class CIParallax3DInput_VSharedCameraBuffer
{
public:
    // Thumbnailers run where the channel's semaphores are not theirs to take: they read frames
    // without locking them.
    static const char* const kHostsWithoutSemaphores[];

    CIParallax3DInput_VSharedCameraBuffer();
    ~CIParallax3DInput_VSharedCameraBuffer();
    CIParallax3DInput_VSharedCameraBuffer(const CIParallax3DInput_VSharedCameraBuffer&) = delete;
    CIParallax3DInput_VSharedCameraBuffer&
    operator=(const CIParallax3DInput_VSharedCameraBuffer&) = delete;

    // Identifies the host once per process; later calls do nothing.
    static void initialize();
    static bool RunningInSandboxWithNoSemaphores() { return sRunningInSandboxWithNoSemaphores; }
    // Decides again from a host name; for tests.
    static void IdentifyHost(const char* in_executableName);

    bool readCurrentCameraFrame();
    bool hasCurrentCameraFrame() const;
    // Null when there is no frame, the frame cannot be read, or its lock cannot be had.
    CFPtr<CIImage> fastestCoreImage();
    CFPtr<CIImage> coreVideoImageFrom_CameraBuffer();
    // To be released by the caller.
    CGImageRef quartzImageFrom_ARGB_CameraBuffer();
    CGImageRef quartzImageFrom_2vuy_CameraBuffer();

    // The description of the current frame, as the last read left it.
    SHARED_CAMERA_BUFFER camera;
    CGSize frameSize() const { return _frameSize; }
    const CoreGraphics::BitmapContext* bitmapContext() const { return _bitmapContext.get(); }

private:
    void initInstance();
    // Whether camera describes a frame this reader can make sense of.
    bool IsReadableFrame() const;

    std::unique_ptr<CoreGraphics::BitmapContext> _bitmapContext;
    CGSize _frameSize;
    // Images over the channel's two buffers, each with the description it was made from.
    struct WrappedFrame
    {
        SHARED_CAMERA_BUFFER record;
        CFPtr<CIImage> image;
    };
    WrappedFrame _wrappedFrames[2] = {};
    size_t _lastWrapped = 0;

    static bool sRunningInSandboxWithNoSemaphores;
};

bool import_VSharedCameraBuffer();
