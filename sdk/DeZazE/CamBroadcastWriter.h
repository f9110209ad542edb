// The writer's side of the shared camera channel: puts the component where other programs find
// it while broadcasting is on, and writes frames into the channel's two buffers, either copied
// from a bitmap or rendered by the image engine straight into the shared memory. Frames leave
// only through the component's exports. Needs no display; the broadcast control's switches
// drive it.
#pragma once

#include "CGContext.h"
#include "CIContext.h"
#include "CoreGraphicsBitmapContext.h"
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
    // the frame size first. Nothing happens while the component is not loaded.
    void broadcastFrame(const CoreGraphics::BitmapContext* in_bitmap);
    void broadcastFrame_WWWWxHHH(const CoreGraphics::BitmapContext* in_bitmap);
    void broadcastFrame_XXXxYYY(const CoreGraphics::BitmapContext* in_bitmap);

    // Drawing path: one bitmap context and one image context over each channel buffer, made
    // once per start. A frame is beginSwitchContexts, a render into its result, endSwitchContexts.
    CGRect extent() const;
    CGContextRef currentCGContext() const;
    CIContext* currentCIContext() const;
    void eraseContext(int in_buffer_n);
    void createContexts(int in_buffer_n);
    void destroyContexts();
    void useContextZero();
    CIContext* lockCurrentCIContext();
    bool unlockCurrentCIContext();
    // The current buffer's context with its lock taken; null when the lock cannot be had, and
    // the frame is then dropped: nothing may be drawn.
    CIContext* beginSwitchContextsClear(bool in_clear);
    CIContext* beginSwitchContexts();
    // Publishes the frame begun, and moves on to the other buffer; does nothing for a frame
    // whose lock was not taken.
    void endSwitchContexts();

private:
    void flipBufferNumber();
    // A channel made anew (its file replaced while broadcasting) has new buffers: the contexts
    // follow it.
    void followChannel();

    int _SharedCameraBufferNumber = 0;
    SHARED_CAMERA_BUFFER _camera_buffer[2] = {};
    CGContextRef _CGContext[2] = {};
    CFPtr<CIContext> _CIContext[2];
    bool mHoldsCurrentLock = false; // beginSwitchContexts took the current buffer's lock
    bool mChannelUsable = true;     // the last frame found the channel usable
    unsigned long mFramesPublished = 0;
    unsigned long mFramesDropped = 0;
    CoreGraphics::BitmapContext mScaled; // a frame of another size, stretched
};

bool import_CamBroadcastWriter();
