#include "NSWindow_MouseMoveSize.h"

#include <algorithm>

#include "CoreMachDebugLog.h"

namespace {

bool InRect(CGPoint p, CGFloat x, CGFloat y, CGFloat w, CGFloat h)
{
    return p.x >= x && p.x < x + w && p.y >= y && p.y < y + h;
}

} // namespace

CGPoint NSWindow_MouseMoveSize::MouseMoveDelta(const self_MouseCapture& record)
{
    return CGPointMake(record.location.x - record.downLocation.x,
                       record.downLocation.y - record.location.y);
}

NSWindow_HitTest windowMouseMoveSize_MouseHitTest(CGRect bounds, CGPoint location,
                                                  CGFloat cornerWidth, CGFloat cornerHeight)
{
    const CGFloat x = bounds.origin.x, y = bounds.origin.y, w = bounds.size.width,
                  h = bounds.size.height, cw = cornerWidth, ch = cornerHeight;
    if (InRect(location, x, y + h - ch, cw, ch))
        return kNSWindowHitTopLeft;
    if (InRect(location, x + w - cw, y + h - ch, cw, ch))
        return kNSWindowHitTopRight;
    if (InRect(location, x, y, cw, ch))
        return kNSWindowHitBottomLeft;
    if (InRect(location, x + w - cw, y, cw, ch))
        return kNSWindowHitBottomRight;
    return kNSWindowHitNone;
}

void NSWindowMouseMoveSize::windowMouseMoveSize_StandardBehaviour(const NSUIMouseEvent& down,
                                                                  CGRect contentBounds,
                                                                  CGPoint downInWindow)
{
    const NSWindow_HitTest hit =
        windowMouseMoveSize_MouseHitTest(contentBounds, downInWindow, 32, 32);
    start(down, hit == kNSWindowHitBottomRight ? kNSWindowHitBottomRight : kNSWindowHitNone, false);
}

void NSWindowMouseMoveSize::windowMouseMoveSize_FromHitRegion(const NSUIMouseEvent& down,
                                                              NSWindow_HitTest region)
{
    start(down, region, true);
}

void NSWindowMouseMoveSize::start(const NSUIMouseEvent& down, NSWindow_HitTest region,
                                  bool unconstrained)
{
    self_MouseCapture_Construct(mRecord, down);
    mRecord.hitRegion = region;
    mRecord.unconstrained = unconstrained;
    mCapturing = true;
    mouseCaptureDown(mRecord, down);
}

bool NSWindowMouseMoveSize::windowMouseEvent(const NSUIMouseEvent& event)
{
    if (!mCapturing)
        return false;
    mCapturing = mouseCaptureEvent(mRecord, event);
    return mCapturing;
}

void NSWindowMouseMoveSize::mouseCaptureBegin(self_MouseCapture&)
{
    mRecord.frameAtDown = mWindow.frame();
    switch (mRecord.hitRegion) {
    case kNSWindowHitTopLeft:
        mRecord.mode = NSWindow_MouseMoveSize::kSizeTopLeft;
        break;
    case kNSWindowHitTopRight:
        mRecord.mode = NSWindow_MouseMoveSize::kSizeTopRight;
        break;
    case kNSWindowHitBottomLeft:
        mRecord.mode = NSWindow_MouseMoveSize::kSizeBottomLeft;
        break;
    case kNSWindowHitBottomRight:
        mRecord.mode = NSWindow_MouseMoveSize::kSizeBottomRight;
        break;
    default:
        mRecord.mode = NSWindow_MouseMoveSize::kDragging;
        mRecord.dragOffset = CGPointMake(mRecord.downLocation.x - mRecord.frameAtDown.origin.x,
                                         mRecord.downLocation.y - mRecord.frameAtDown.origin.y);
        break;
    }
}

void NSWindowMouseMoveSize::mouseCaptureMove(self_MouseCapture&)
{
    if (mRecord.mode == NSWindow_MouseMoveSize::kDragging)
        windowMouseMoveDragging();
    else if (mRecord.mode >= NSWindow_MouseMoveSize::kSizeTopLeft &&
             mRecord.mode <= NSWindow_MouseMoveSize::kSizeBottomLeft)
        windowMouseSize(mRecord.mode);
}

void NSWindowMouseMoveSize::mouseCaptureUp(self_MouseCapture&)
{
    if (mRecord.location.x == mRecord.downLocation.x &&
        mRecord.location.y == mRecord.downLocation.y)
        mWindow.windowMouseMoveSize_SingleClick();
    mRecord.mode = NSWindow_MouseMoveSize::kIdle;
}

void NSWindowMouseMoveSize::windowMouseMoveDragging()
{
    CGRect frame = mWindow.frame();
    frame.origin = CGPointMake(mRecord.location.x - mRecord.dragOffset.x,
                               mRecord.location.y - mRecord.dragOffset.y);
    if (!mRecord.unconstrained) {
        const CGRect screen = mWindow.mainScreenFrame();
        const CGFloat top = screen.origin.y + screen.size.height;
        if (frame.origin.y + frame.size.height > top)
            frame.origin.y = top - frame.size.height;
    }
    mWindow.setFrame(frame);
    mWindow.windowMouseMoveSize_OnDragMoved();
}

CGSize NSWindowMouseMoveSize::windowConstrainSize(CGSize wanted) const
{
    const CGSize minimum = mWindow.minSize(), maximum = mWindow.maxSize();
    CGSize size = wanted;
    size.width = std::min(std::max(size.width, minimum.width), maximum.width);
    size.height = std::min(std::max(size.height, minimum.height), maximum.height);
    return mWindow.windowMouseMoveSize_ConstrainAspectRatio(size);
}

void NSWindowMouseMoveSize::windowMouseSize(int mode)
{
    const CGRect down = mRecord.frameAtDown;
    const CGFloat X = down.origin.x, Y = down.origin.y, W = down.size.width, H = down.size.height;
    const CGPoint d = NSWindow_MouseMoveSize::MouseMoveDelta(mRecord);
    const bool right = mode == NSWindow_MouseMoveSize::kSizeTopRight ||
                       mode == NSWindow_MouseMoveSize::kSizeBottomRight;
    const bool bottom = mode == NSWindow_MouseMoveSize::kSizeBottomRight ||
                        mode == NSWindow_MouseMoveSize::kSizeBottomLeft;
    const CGFloat w = right ? W + d.x : W - d.x;
    const CGFloat h = bottom ? H + d.y : H - d.y;
    const CGSize c = windowConstrainSize(CGSizeMake(w, h));
    // The dragged corner stays under the mouse; a clamped size moves the opposite edges.
    const CGFloat x = right ? X + (w - c.width) : X + d.x;
    const CGFloat y = bottom ? Y + H - h : Y + (h - c.height);
    mWindow.setFrame(CGRectMake(x, y, c.width, c.height));
}

bool import_category_NSWindow_MouseMoveSize()
{
    return VERIFY(import_protocol_MouseCapture());
}
