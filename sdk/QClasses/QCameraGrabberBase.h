// Drives one camera through the sequence grabber: opens a channel on a chosen camera, hands
// each compressed frame to a decompression hook, and reopens the camera by itself after a pause
// when the channel is gone. The frame buffer and the decompression are a subclass's.
#pragma once

#include <cstdint>
#include <string>

#include "CoreCString.h"
#include "CoreElapsedTime.h"
#include "QGWorld.h"
#include "QImageDescription.h"
#include "QSequenceGrabber.h"

class QCameraGrabberBase : public QSequenceGrabber
{
public:
    typedef QSequenceGrabber superclass_t;
    typedef QSGDeviceList::InputIterator InputIterator;

    enum CameraStatus {
        kCameraStatusUnavailable = 0, // no channel could be made
        kCameraStatusOpening = 1,     // a channel was just made
        kCameraStatusReady = 2,       // the camera is prepared
    };

    QCameraGrabberBase();
    ~QCameraGrabberBase() override;

    OSErr OnThisDataProc(SGChannel channel, char* data, long length, long* offset,
                         long channelRefCon, long time, short writeType) override;

    virtual OSErr StartRecord();
    virtual OSErr StopRecord();
    virtual void Close();
    virtual OSErr SwitchToCamera(const InputIterator& camera_input);
    virtual bool UseNextCamera();
    virtual bool UsePrevCamera();
    virtual bool GetCameraWithDeviceInputName(InputIterator& iterator, const char* inputName) const;
    virtual bool GetFirstCamera(InputIterator& iterator) const;
    virtual bool GetLastCamera(InputIterator& iterator) const;
    virtual bool GetCurrentCamera(InputIterator& iterator) const;
    virtual bool GetNextCamera(InputIterator& iterator) const;
    virtual bool GetPrevCamera(InputIterator& iterator) const;
    virtual bool IsFrameBufferConstructed() const;
    virtual GWorldPtr GetFrameBufferGWorldPtr() const;
    virtual bool GetFrameBufferImageDescription(QImageDescription& description) const;
    virtual void DrawCameraStatusInFrameBuffer(CameraStatus status) const;
    virtual bool CreateFrameBuffer(const p3dqd::QRect& rect, unsigned long pixelFormat);
    virtual bool CreateFrameBufferSelf();
    virtual OSErr OpenInitializeCamera(const Rect& in_frame, unsigned long pixelFormat,
                                       const InputIterator* inCameraInput);
    virtual OSErr CloseVideoChannel();
    virtual OSErr OpenInitializeSelf();
    virtual OSErr InitializeVideoChannel(SGChannel newVideoChannel,
                                         const InputIterator* inCameraInput);
    virtual OSErr InitializeSequenceGrabToOffscreenWorld(const p3dqd::QRect& in_bounds,
                                                         unsigned long inFrameBufferPixelFormat);
    virtual OSErr BeginDecompressionSequence(const QImageDescription& camera,
                                             const p3dqd::QRect& source,
                                             const p3dqd::QRect& destination);
    virtual OSErr DefaultDataProc(char* in_data, long in_data_size) const;

    bool SetCameraVDIGRequestRect(const Rect& rect);
    void SetFrameBufferRect(const Rect& rect) { mFrameBufferRect = rect; }
    void SetFrameBufferPixelFormat(unsigned long pixelFormat)
    {
        mFrameBufferPixelFormat = UInt32(pixelFormat);
    }
    void SetAutoOpenCameraPluggedIn(bool enable, float retrySeconds);

    OSErr OpenInitialize(const Rect& in_frame, unsigned long inFrameBufferPixelFormat,
                         const InputIterator* inCameraInput);
    OSErr OpenCameraInput(const InputIterator* inCameraInput);
    bool CloseCameraInput();
    OSErr Idle();
    OSErr SetChannelBounds(const Rect& bounds);
    OSErr GetVideoSampleDescription(QImageDescription& description);
    OSErr InitializeDecompressionToOffscreenWorld();
    // The frame buffer opaque black, where a camera of another shape leaves bars.
    void ClearFrameBuffer();
    // The frame buffer at a new size and the same camera reopened at it (asked for that size);
    // without a running camera, the size whatever opens next opens at.
    OSErr ChangeFrameSize(const Rect& in_frame);
    void DisposeChannels();
    SGChannel VideoChannel() const { return mVideoChannel; }
    // The capture time of the frame in the frame buffer (CLOCK_MONOTONIC microseconds; 0 while
    // no camera's frame is there), and how many frames were decoded into it so far.
    uint64_t FrameTimeUs() const { return mFrameTimeUs; }
    unsigned long FramesTaken() const { return mFramesTaken; }
    // With frames held (SetHoldFrames), decodes held frame n; frames passed over on the way
    // count as taken, as no tick will use them.
    OSErr DecodeHeldFrame(int n);

    // Camera selection.
    bool GetActiveCameraDeviceList(QSGDeviceList& deviceList) const;
    bool GetCameraInputList(QSGDeviceList& deviceList) const;
    SInt16 GetCameraCount() const;
    bool IsThisTheCurrentCamera(const InputIterator& camera) const;
    // The camera of that input name in the list of cameras, with or without a channel.
    bool FindCamera(const std::string& inputName, InputIterator& iterator) const;

    // Diagnostics.
    OSErr GetChannelDeviceAndInputNames(CoreCString& deviceName, CoreCString& inputName,
                                        short& inputNumber) const;
    void DumpRelevantInfoToLog() const;
    void DebugDumpDeviceInputNames() const;

    p3dqd::QRect mVDIGRequestRect;
    p3dqd::QRect mFrameBufferRect;
    UInt32 mFrameBufferPixelFormat;
    QImageDescription mCameraImageDesc;
    SGChannel mVideoChannel;
    bool mAutoOpenCameraPluggedIn;
    float mAutoOpenRetrySeconds;
    CoreElapsedTime mAutoOpenRetryElapsed;
    std::string mLostCameraName; // the camera whose device went away, until it is back
    uint64_t mFrameTimeUs = 0;
    unsigned long mFramesTaken = 0;
};

bool import_QCameraGrabberBase();
