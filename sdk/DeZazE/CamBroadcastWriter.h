// The writer's side of the shared camera channel: puts the component where other programs find
// it while broadcasting is on, and writes frames into the channel's two buffers, either copied
// from a bitmap or rendered by the image engine straight into the shared memory. Classic frames
// leave only through the component's exports. Beside them it writes the stamped channel, at the
// broadcast's size with the frames' times: the drawing path renders there once, and the classic
// buffer gets the same picture, copied or fitted into 640 x 480. Needs no display; the broadcast
// control's switches drive it.
#pragma once

#include "CGContext.h"
#include "CIContext.h"
#include "CoreGraphicsBitmapContext.h"
#include "StampedChannelWriter.h"
#include "shared_camera_buffer.h"

// The size of a broadcast frame, set from QCamOutputBase::sCameraFormat while static data is
// initialised.
extern const int NSUICamBroadcastControl_CameraWidth;
extern const int NSUICamBroadcastControl_CameraHeight;

// A bitmap context (A,R,G,B premultiplied, device RGB) over a channel buffer's pixels; null for
// a record without pixels or a geometry no context can have. The caller owns the result.
CGContextRef CGContextRef_From_ARGB_CameraBuffer(const SHARED_CAMERA_BUFFER& in_buffer);

class CamBroadcastWriter
{
public:
    enum { kNSUICamBroadcastControlFast_Buffer0 = 0, kNSUICamBroadcastControlFast_Buffer1 = 1 };

    CamBroadcastWriter();
    ~CamBroadcastWriter();
    CamBroadcastWriter(const CamBroadcastWriter&) = delete;
    CamBroadcastWriter& operator=(const CamBroadcastWriter&) = delete;

    // The component is loaded in this process: the one fact of broadcasting.
    bool isBroadcasting() const;
    void setComponentAllowCameraConnections(bool in_allow);
    // Resets the buffer number; when enabled, installs the component (a link in the user's
    // components folder), loads it and sends it the allow switch.
    void startBroadcasting(bool in_enabled, bool in_allowConnections);
    // Uninstalls and unloads the component while it is loaded.
    void stopBroadcasting();

    // 640 x 480 or 1280 x 720 (anything else is refused): the size frames are drawn at from the
    // next frame on.
    bool setFrameSize(int in_width, int in_height);
    // The capture times of the eyes of the frame about to be drawn, CLOCK_MONOTONIC
    // microseconds; 0 for an eye without a frame.
    void setCaptureTimes(uint64_t in_leftUs, uint64_t in_rightUs);

    int sharedCameraBufferNumber() const { return _SharedCameraBufferNumber; }
    // Frames of the drawing path published, and dropped: for a lock that could not be had, or
    // a channel file cut short while the frame was drawn.
    unsigned long framesPublished() const { return mFramesPublished; }
    unsigned long framesDropped() const { return mFramesDropped; }

    // Buffer bookkeeping. A record is filled for the current buffer number.
    bool get_SHARED_CAMERA_BUFFER(SHARED_CAMERA_BUFFER* io_buffer);
    bool get_SINGLE_CAMERA_BUFFER(SHARED_CAMERA_BUFFER* io_buffer);
    void set_SHARED_CAMERA_BUFFER(const SHARED_CAMERA_BUFFER* in_buffer);
    void set_SINGLE_CAMERA_BUFFER(const SHARED_CAMERA_BUFFER* in_buffer);
    bool use_SHARED_CAMERA_BUFFER(int in_buffer_n);
    bool lock_SHARED_CAMERA_BUFFER(const SHARED_CAMERA_BUFFER* in_buffer);
    bool unlock_SHARED_CAMERA_BUFFER(const SHARED_CAMERA_BUFFER* in_buffer);
    CGContextRef createBroadcastGraphicsContext(SHARED_CAMERA_BUFFER* io_buffer, int in_buffer_n);
    static CGContextRef contextWithCameraBuffer(const SHARED_CAMERA_BUFFER* in_buffer);
    void setCurrentBroadcastGraphicsContext(const SHARED_CAMERA_BUFFER* in_buffer);
    void releaseBroadcastGraphicsContext(const SHARED_CAMERA_BUFFER* in_buffer,
                                         CGContextRef in_context);

    // Bitmap path: a bitmap of the frame size is copied row by row; any other is stretched to
    // the frame size first. The stamped channel gets it at the broadcast's size, its shape kept.
    // Nothing happens while the component is not loaded.
    void broadcastFrame(const CoreGraphics::BitmapContext* in_bitmap);
    void broadcastFrame_WWWWxHHH(const CoreGraphics::BitmapContext* in_bitmap);
    void broadcastFrame_XXXxYYY(const CoreGraphics::BitmapContext* in_bitmap);

    // Drawing path: one bitmap context and one image context over each channel buffer, made
    // once per start. A frame is beginSwitchContexts, a render into its result, endSwitchContexts.
    // The result draws into the stamped channel when it can, else into the classic buffer (at
    // 640 x 480) or a frame of its own. extent() is the broadcast's size; currentCGContext and
    // currentCIContext are the classic buffer's.
    CGRect extent() const;
    CGContextRef currentCGContext() const;
    CIContext* currentCIContext() const;
    void eraseContext(int in_buffer_n);
    void createContexts(int in_buffer_n);
    void destroyContexts();
    void useContextZero();
    CIContext* lockCurrentCIContext();
    bool unlockCurrentCIContext();
    // The context to draw the frame in; null when neither the stamped buffer nor the classic
    // buffer's lock can be had: nothing may be drawn. A classic lock not had drops the classic
    // frame.
    CIContext* beginSwitchContextsClear(bool in_clear);
    CIContext* beginSwitchContexts();
    // Publishes the frame begun in both channels, and moves on to the other classic buffer; a
    // channel whose buffer was not had is left as it is.
    void endSwitchContexts();

private:
    void flipBufferNumber();
    // A channel made anew (its file replaced while broadcasting) has new buffers: the contexts
    // follow it.
    void followChannel();
    // The stamped buffer for the next frame, locked (the channel opened when it is not); -1 when
    // it cannot be had.
    int beginStampedBuffer();
    // Its context; null when it cannot be had.
    CIContext* beginStampedFrame();
    // A bitmap of A,R,G,B rows into the stamped channel at the broadcast's size.
    void broadcastStampedFrame(const CoreGraphics::BitmapContext& in_bitmap);
    // The classic buffer's context at 640 x 480, else a frame of the broadcast's size.
    CIContext* privateFrameContext();
    void releaseStampedContexts();

    int _SharedCameraBufferNumber = 0;
    SHARED_CAMERA_BUFFER _camera_buffer[2] = {};
    CGContextRef _CGContext[2] = {};
    CFPtr<CIContext> _CIContext[2];
    bool mHoldsCurrentLock = false; // beginSwitchContexts took the current buffer's lock
    bool mChannelUsable = true;     // the last frame found the channel usable
    unsigned long mFramesPublished = 0;
    unsigned long mFramesDropped = 0;
    CoreGraphics::BitmapContext mScaled; // a frame of another size, stretched

    int mFrameWidth;
    int mFrameHeight;
    StampedChannelWriter mStamped;
    StampedChannelWriter::Times mCaptureTimes;
    int mStampedBuffer = -1;    // the stamped buffer the frame begun is drawn in
    unsigned mStampedRetry = 0; // frames until a stamped channel not had is tried again
    // A context over each stamped buffer, made for the pixels and size it has.
    struct StampedContext
    {
        const UInt8* pixels = nullptr;
        int width = 0;
        CGContextRef cg = nullptr;
        CFPtr<CIContext> ci;
    };
    StampedContext mStampedContexts[2];
    CoreGraphics::BitmapContext mPrivateFrame; // drawn in when no stamped buffer is had
    CFPtr<CIContext> mPrivateContext;
    bool mAllowConnections = true;
    CGContextRef mDrawingCG = nullptr;   // the frame begun's context
    const UInt8* mDrawnPixels = nullptr; // ... and its pixels, null for the classic buffer
};

bool import_CamBroadcastWriter();
