// Moving a window by dragging anywhere in it and resizing it from a corner, over the mouse
// capture. All arithmetic is in screen coordinates with y up (origin at the lower left of the
// main screen), on a window seen only through NSUIMovableWindow, so it runs without a display.
#pragma once

#include "protocol_MouseCapture.h"

enum NSWindow_HitTest {
    kNSWindowHitNone = 0,
    kNSWindowHitTopLeft = 1,
    kNSWindowHitTopRight = 2,
    kNSWindowHitBottomLeft = 3,
    kNSWindowHitBottomRight = 4,
};

struct NSWindow_MouseMoveSize : self_MouseCapture
{
    enum Mode {
        kIdle = 0,
        kDragging = 1,
        kSizeTopLeft = 2,
        kSizeTopRight = 3,
        kSizeBottomRight = 4,
        kSizeBottomLeft = 5
    };

    NSWindow_HitTest hitRegion = kNSWindowHitNone;
    CGPoint dragOffset{0, 0};
    CGRect frameAtDown{};
    int mode = kIdle;
    bool unconstrained = false;

    // (location x - down x, down y - location y): y grows as the mouse goes down.
    static CGPoint MouseMoveDelta(const self_MouseCapture& record);
};

// What the capture needs of a window.
class NSUIMovableWindow
{
public:
    virtual ~NSUIMovableWindow() = default;
    virtual CGRect frame() const = 0;
    virtual void setFrame(CGRect frame) = 0;
    virtual CGSize minSize() const = 0;
    virtual CGSize maxSize() const = 0;
    virtual CGRect mainScreenFrame() const = 0;
    virtual CGSize windowMouseMoveSize_ConstrainAspectRatio(CGSize size) { return size; }
    virtual void windowMouseMoveSize_SingleClick() {}
    virtual void windowMouseMoveSize_OnDragMoved() {}
};

// Which corner square of bounds (y up) the location lies in, top-left first.
NSWindow_HitTest windowMouseMoveSize_MouseHitTest(CGRect bounds, CGPoint location,
                                                  CGFloat cornerWidth, CGFloat cornerHeight);

class NSWindowMouseMoveSize final : public protocol_MouseCapture
{
public:
    explicit NSWindowMouseMoveSize(NSUIMovableWindow& window) : mWindow(window) {}

    // A mouse-down that resizes from the bottom-right corner square (32 x 32) or else drags,
    // keeping the window's top below the screen's top; contentBounds and downInWindow are in
    // the window's coordinates (y up).
    void windowMouseMoveSize_StandardBehaviour(const NSUIMouseEvent& down, CGRect contentBounds,
                                               CGPoint downInWindow);
    // A mouse-down captured with that region: 0 drags, corners resize; the top may go above
    // the screen's.
    void windowMouseMoveSize_FromHitRegion(const NSUIMouseEvent& down, NSWindow_HitTest region);
    // The events after the mouse-down; false once the capture has ended.
    bool windowMouseEvent(const NSUIMouseEvent& event);
    void windowMouseNoEvent() { mouseCaptureNoEvent(mRecord); }
    bool capturing() const { return mCapturing; }
    const NSWindow_MouseMoveSize& record() const { return mRecord; }

    // The wanted size within the window's minimum and maximum, then its aspect rule.
    CGSize windowConstrainSize(CGSize wanted) const;

protected:
    void mouseCaptureBegin(self_MouseCapture& record) override;
    void mouseCaptureMove(self_MouseCapture& record) override;
    void mouseCaptureUp(self_MouseCapture& record) override;

private:
    void start(const NSUIMouseEvent& down, NSWindow_HitTest region, bool unconstrained);
    void windowMouseMoveDragging();
    void windowMouseSize(int mode);

    NSUIMovableWindow& mWindow;
    NSWindow_MouseMoveSize mRecord;
    bool mCapturing = false;
};

bool import_category_NSWindow_MouseMoveSize();
