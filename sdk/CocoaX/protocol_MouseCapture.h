// The mouse capture: from a mouse-down to its mouse-up, every drag of the left button goes to
// the capturing object's hooks, in a fixed order, with a record of where the mouse was. The
// steps are driven by the owner's mouse events, so the capture runs without a window in tests.
#pragma once

#include "CoreGraphics.h"

struct NSUIMouseEvent
{
    enum Type { kLeftMouseDown, kLeftMouseDragged, kLeftMouseUp };
    Type type = kLeftMouseDown;
    CGPoint location{0, 0}; // screen coordinates for a window, window coordinates for a view
    bool shift = false;     // the shift key was down
};

struct self_MouseCapture
{
    bool shiftDown = false;
    bool idle = false;
    CGPoint downLocation{0, 0};
    CGPoint location{0, 0};
    CGPoint anchorLocation{0, 0};
    CGPoint idleLocation{0, 0};
    NSUIMouseEvent event;
};

// Stores the event and clears every other field.
void self_MouseCapture_Construct(self_MouseCapture& record, const NSUIMouseEvent& event);

class protocol_MouseCapture
{
public:
    virtual ~protocol_MouseCapture() = default;

    // The mouse-down: the record starts and mouseCaptureBegin runs.
    void mouseCaptureDown(self_MouseCapture& record, const NSUIMouseEvent& down);
    // A drag or the mouse-up; false once the capture has ended (at the mouse-up).
    bool mouseCaptureEvent(self_MouseCapture& record, const NSUIMouseEvent& event);
    // No further event is pending for now.
    void mouseCaptureNoEvent(self_MouseCapture& record);

protected:
    virtual void mouseCaptureBegin(self_MouseCapture&) {}
    virtual void mouseCaptureMove(self_MouseCapture&) {}
    virtual void mouseCaptureIdle(self_MouseCapture&) {}
    virtual void mouseCaptureUp(self_MouseCapture&) {}
    virtual void mouseCaptureEnd(self_MouseCapture&) {}
};

bool import_protocol_MouseCapture();
