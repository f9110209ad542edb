#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "NSWindow_MouseMoveSize.h"

namespace {

using Event = NSUIMouseEvent;

Event Down(double x, double y, bool shift = false)
{
    return Event{Event::kLeftMouseDown, CGPointMake(x, y), shift};
}
Event Drag(double x, double y)
{
    return Event{Event::kLeftMouseDragged, CGPointMake(x, y), false};
}
Event Up(double x, double y)
{
    return Event{Event::kLeftMouseUp, CGPointMake(x, y), false};
}

// A window as the capture sees it, on a 1000 x 800 main screen.
struct FakeWindow : NSUIMovableWindow
{
    CGRect frame() const override { return mFrame; }
    void setFrame(CGRect frame) override { mFrame = frame; }
    CGSize minSize() const override { return CGSizeMake(100, 60); }
    CGSize maxSize() const override { return CGSizeMake(600, 500); }
    CGRect mainScreenFrame() const override { return CGRectMake(0, 0, 1000, 800); }
    void windowMouseMoveSize_SingleClick() override { ++clicks; }

    CGRect mFrame = CGRectMake(100, 200, 200, 100);
    int clicks = 0;
};

class MouseMoveSize : public testing::Test
{
protected:
    // A press at (x, y) of the window (y up) through the standard behaviour.
    void Press(double x, double y, bool shift = false)
    {
        const CGRect f = window.mFrame;
        capture.windowMouseMoveSize_StandardBehaviour(Down(f.origin.x + x, f.origin.y + y, shift),
                                                      CGRectMake(0, 0, f.size.width, f.size.height),
                                                      CGPointMake(x, y));
    }

    FakeWindow window;
    NSWindowMouseMoveSize capture{window};
};

void ExpectFrame(CGRect got, CGRect want, const std::string& what = "")
{
    EXPECT_EQ(got.origin.x, want.origin.x) << what;
    EXPECT_EQ(got.origin.y, want.origin.y) << what;
    EXPECT_EQ(got.size.width, want.size.width) << what;
    EXPECT_EQ(got.size.height, want.size.height) << what;
}

TEST(MouseHitTest, FindsTheCornerSquareTopLeftFirst)
{
    const CGRect bounds = CGRectMake(0, 0, 200, 100);
    struct Case
    {
        double x, y;
        NSWindow_HitTest want;
    };
    const Case cases[] = {
        {0, 99, kNSWindowHitTopLeft},      {31, 68, kNSWindowHitTopLeft},
        {32, 99, kNSWindowHitNone},        {199, 99, kNSWindowHitTopRight},
        {0, 0, kNSWindowHitBottomLeft},    {190, 10, kNSWindowHitBottomRight},
        {168, 0, kNSWindowHitBottomRight}, {167, 0, kNSWindowHitNone},
        {100, 50, kNSWindowHitNone},       {200, 0, kNSWindowHitNone},
    };
    for (const Case& c : cases)
        EXPECT_EQ(windowMouseMoveSize_MouseHitTest(bounds, CGPointMake(c.x, c.y), 32, 32), c.want)
            << c.x << ", " << c.y;
    // Squares that overlap in a small window: the first in order wins.
    EXPECT_EQ(
        windowMouseMoveSize_MouseHitTest(CGRectMake(0, 0, 40, 40), CGPointMake(20, 20), 32, 32),
        kNSWindowHitTopLeft);
}

TEST_F(MouseMoveSize, PressNearBottomRightResizesAndElsewhereDrags)
{
    Press(190, 10);
    EXPECT_EQ(capture.record().mode, NSWindow_MouseMoveSize::kSizeBottomRight);
    capture.windowMouseEvent(Drag(290 + 20, 210 - 30)); // 20 right, 30 down
    ExpectFrame(window.mFrame, CGRectMake(100, 170, 220, 130), "bottom edge down, top stays");
    capture.windowMouseEvent(Up(310, 180));
    EXPECT_EQ(capture.record().mode, NSWindow_MouseMoveSize::kIdle);

    for (CGPoint at : {CGPointMake(100, 50), CGPointMake(5, 5), CGPointMake(195, 95)}) {
        const CGRect before = window.mFrame;
        Press(at.x, at.y);
        EXPECT_EQ(capture.record().mode, NSWindow_MouseMoveSize::kDragging);
        const CGPoint down = capture.record().downLocation;
        capture.windowMouseEvent(Drag(down.x - 40, down.y + 15));
        capture.windowMouseEvent(Up(down.x - 40, down.y + 15));
        ExpectFrame(window.mFrame, CGRectMake(before.origin.x - 40, before.origin.y + 15,
                                              before.size.width, before.size.height));
    }
}

TEST_F(MouseMoveSize, DraggedTopStopsAtTheScreenTopUnlessUnconstrained)
{
    window.mFrame = CGRectMake(100, 600, 200, 100);
    Press(100, 50);
    capture.windowMouseEvent(Drag(200, 650 + 300));
    EXPECT_EQ(window.mFrame.origin.y, 700) << "top at the screen's top (800)";
    capture.windowMouseEvent(Up(200, 950));

    window.mFrame = CGRectMake(100, 600, 200, 100);
    capture.windowMouseMoveSize_FromHitRegion(Down(200, 650), kNSWindowHitNone);
    capture.windowMouseEvent(Drag(200, 950));
    EXPECT_EQ(window.mFrame.origin.y, 900) << "a panel goes above";
}

TEST_F(MouseMoveSize, EachCornerFollowsTheMouseWithTheOppositeCornerFixed)
{
    struct Case
    {
        NSWindow_HitTest region;
        double cornerX, cornerY; // where the corner starts, screen y up
        CGRect want;             // after moving the mouse 10 left and 20 up
    };
    const Case cases[] = {
        {kNSWindowHitTopLeft, 100, 300, CGRectMake(90, 200, 210, 120)},
        {kNSWindowHitTopRight, 300, 300, CGRectMake(100, 200, 190, 120)},
        {kNSWindowHitBottomLeft, 100, 200, CGRectMake(90, 220, 210, 80)},
        {kNSWindowHitBottomRight, 300, 200, CGRectMake(100, 220, 190, 80)},
    };
    for (const Case& c : cases) {
        window.mFrame = CGRectMake(100, 200, 200, 100);
        capture.windowMouseMoveSize_FromHitRegion(Down(c.cornerX, c.cornerY), c.region);
        capture.windowMouseEvent(Drag(c.cornerX - 10, c.cornerY + 20));
        capture.windowMouseEvent(Up(c.cornerX - 10, c.cornerY + 20));
        ExpectFrame(window.mFrame, c.want, "region " + std::to_string(c.region));
    }
}

TEST_F(MouseMoveSize, ResizeBelowTheMinimumKeepsItAndMovesTheOppositeEdge)
{
    Press(199, 0);                                       // at (299, 200) on the screen
    capture.windowMouseEvent(Drag(299 - 150, 200 + 70)); // 150 left, 70 up: wants 50 x 30
    // 100 x 60 at least: the bottom edge stays under the mouse (y 270), the top goes with it.
    ExpectFrame(window.mFrame, CGRectMake(50, 270, 100, 60));
    capture.windowMouseEvent(Drag(299 + 500, 200 - 500)); // wants 700 x 600
    ExpectFrame(window.mFrame, CGRectMake(200, -300, 600, 500));
}

TEST_F(MouseMoveSize, ClickWithoutMovingIsASingleClick)
{
    Press(100, 50);
    capture.windowMouseEvent(Up(200, 250));
    EXPECT_EQ(window.clicks, 1);
    ExpectFrame(window.mFrame, CGRectMake(100, 200, 200, 100));

    Press(100, 50);
    capture.windowMouseEvent(Drag(203, 250));
    capture.windowMouseEvent(Up(203, 250));
    EXPECT_EQ(window.clicks, 1) << "moved: no click";
    EXPECT_FALSE(capture.capturing());
    EXPECT_FALSE(capture.windowMouseEvent(Up(0, 0))) << "nothing after the capture ended";
}

TEST_F(MouseMoveSize, ShiftAtThePressKeepsTheWindowStill)
{
    Press(100, 50, true);
    capture.windowMouseEvent(Drag(260, 300));
    capture.windowMouseNoEvent();
    const NSWindow_MouseMoveSize& r = capture.record();
    EXPECT_TRUE(r.shiftDown);
    EXPECT_EQ(r.anchorLocation.x, 200);
    EXPECT_EQ(r.anchorLocation.y, 250);
    EXPECT_EQ(r.idleLocation.x, 260) << "the idle moment records where the mouse is";
    EXPECT_FALSE(r.idle);
    capture.windowMouseEvent(Up(260, 300));
    ExpectFrame(window.mFrame, CGRectMake(100, 200, 200, 100));
    EXPECT_FALSE(capture.record().shiftDown);
}

// The hooks run in the loop's order, with the record as each one sees it.
struct Recorder : protocol_MouseCapture
{
    void mouseCaptureBegin(self_MouseCapture& r) override { log("Begin", r); }
    void mouseCaptureMove(self_MouseCapture& r) override { log("Move", r); }
    void mouseCaptureIdle(self_MouseCapture& r) override { log("Idle", r); }
    void mouseCaptureUp(self_MouseCapture& r) override { log("Up", r); }
    void mouseCaptureEnd(self_MouseCapture& r) override { log("End", r); }
    void log(const char* hook, const self_MouseCapture& r)
    {
        calls.push_back(std::string(hook) + (r.idle ? "+idle" : "") + "@" +
                        std::to_string(static_cast<int>(r.location.x)));
    }
    std::vector<std::string> calls;
};

TEST(MouseCapture, HooksRunInOrderWithTheRecord)
{
    Recorder recorder;
    self_MouseCapture record;
    recorder.mouseCaptureDown(record, Down(1, 1));
    EXPECT_TRUE(recorder.mouseCaptureEvent(record, Drag(2, 1)));
    recorder.mouseCaptureNoEvent(record);
    EXPECT_TRUE(recorder.mouseCaptureEvent(record, Drag(3, 1)));
    EXPECT_FALSE(recorder.mouseCaptureEvent(record, Up(4, 1)));
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"Begin@1", "Move@2", "Idle+idle@2",
                                                        "Move@3", "Move@4", "Up@4", "End@4"}));
    EXPECT_EQ(record.downLocation.x, 1);
    EXPECT_EQ(record.event.type, Event::kLeftMouseUp);
}

} // namespace
