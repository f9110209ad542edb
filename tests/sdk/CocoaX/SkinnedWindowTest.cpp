#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <gtest/gtest.h>

#include "NSAlphaWindow.h"
#include "NSImage_CocoaX.h"
#include "PDFSkinAboutBox.h"
#include "PDFSkinView.h"
#include "WidgetApplication.h"

namespace {

// Synthetic mouse events at a point of the window (y down, as Qt has it).
void Send(QWidget& window, QEvent::Type type, QPoint local,
          Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QPointF global = window.mapToGlobal(QPointF(local));
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(local), global, Qt::LeftButton, buttons, modifiers);
    QApplication::sendEvent(&window, &event);
}

// Press at from, drag by delta in steps, release: what a hand does.
void PressDragRelease(QWidget& window, QPoint from, QPoint delta,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    Send(window, QEvent::MouseButtonPress, from, modifiers);
    const QPoint origin = window.pos();
    for (int step = 1; step <= 2; ++step) {
        // Positions are the window's own, which moves under the mouse: keep the screen point.
        const QPoint screenPoint = origin + from + delta * step / 2;
        Send(window, QEvent::MouseMove, screenPoint - window.pos(), modifiers);
    }
    Send(window, QEvent::MouseButtonRelease, origin + from + delta - window.pos(), modifiers);
}

class SkinnedWindow : public testing::Test
{
protected:
    void SetUp() override { p3dtest::WidgetApplication(); }

    template <class W> void Place(W& window, QRect geometry)
    {
        window.setGeometry(geometry);
        window.show();
    }
};

TEST_F(SkinnedWindow, CornerPressResizesMiddlePressDrags)
{
    PDFSkinWindow window;
    Place(window, QRect(100, 100, 200, 100));
    PressDragRelease(window, QPoint(190, 90), QPoint(20, 30));
    EXPECT_EQ(window.geometry(), QRect(100, 100, 220, 130));
    PressDragRelease(window, QPoint(100, 50), QPoint(-30, 25));
    EXPECT_EQ(window.geometry(), QRect(70, 125, 220, 130));
}

TEST_F(SkinnedWindow, DragUpStopsAtTheScreenTopForWindowsNotPanels)
{
    const int screenTop = QGuiApplication::primaryScreen()->geometry().top();
    PDFSkinWindow window;
    Place(window, QRect(100, screenTop + 20, 200, 100));
    PressDragRelease(window, QPoint(100, 50), QPoint(0, -60));
    EXPECT_EQ(window.pos(), QPoint(100, screenTop));

    NSAlphaPanelWithoutShadow panel;
    Place(panel, QRect(100, screenTop + 20, 200, 100));
    PressDragRelease(panel, QPoint(190, 90), QPoint(0, -60)); // a corner drags a panel too
    EXPECT_EQ(panel.geometry(), QRect(100, screenTop - 40, 200, 100));
}

TEST_F(SkinnedWindow, ResizeBelowMinimumKeepsTheMinimum)
{
    PDFSkinWindow window;
    window.setMinimumSize(150, 80);
    Place(window, QRect(100, 100, 200, 100));
    PressDragRelease(window, QPoint(195, 95), QPoint(-100, -50));
    // The bottom-right corner stays with the mouse, 5 pixels beyond it as at the press; the
    // top and left edges give way.
    EXPECT_EQ(window.size(), QSize(150, 80));
    EXPECT_EQ(window.geometry().bottomRight(), QPoint(199, 149));
}

TEST_F(SkinnedWindow, NeverShrinksBelowItsResizeCorner)
{
    PDFSkinWindow window; // no minimum of its own
    Place(window, QRect(100, 100, 200, 100));
    PressDragRelease(window, QPoint(195, 95), QPoint(-400, -300));
    EXPECT_EQ(window.size(), QSize(32, 32));
}

TEST_F(SkinnedWindow, ShiftAtThePressKeepsTheWindowStill)
{
    PDFSkinWindow window;
    Place(window, QRect(100, 100, 200, 100));
    PressDragRelease(window, QPoint(100, 50), QPoint(40, 40), Qt::ShiftModifier);
    EXPECT_EQ(window.geometry(), QRect(100, 100, 200, 100));
}

TEST_F(SkinnedWindow, AboutBoxClosesOnAClickThatDoesNotMoveIt)
{
    PDFSkinAboutBox box;
    Place(box, QRect(100, 100, 200, 100));
    PressDragRelease(box, QPoint(60, 40), QPoint(15, 0));
    EXPECT_TRUE(box.isVisible()) << "moved: stays";
    EXPECT_EQ(box.pos(), QPoint(115, 100));
    Send(box, QEvent::MouseButtonPress, QPoint(60, 40));
    Send(box, QEvent::MouseButtonRelease, QPoint(60, 40));
    EXPECT_FALSE(box.isVisible());
}

TEST_F(SkinnedWindow, ShadowAndKindFollowTheClass)
{
    NSAlphaWindowWithShadow with;
    NSAlphaWindowWithoutShadow without;
    NSAlphaPanelWithShadow panel;
    EXPECT_TRUE(with.hasShadow());
    EXPECT_FALSE(without.hasShadow());
    EXPECT_TRUE(without.windowFlags().testFlag(Qt::NoDropShadowWindowHint));
    EXPECT_TRUE(panel.isPanel() && panel.hasShadow());
    EXPECT_TRUE(with.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(with.testAttribute(Qt::WA_TranslucentBackground));
}

class HookedPanel : public NSAlphaPanelWithShadow
{
public:
    using NSAlphaWindow::NSAlphaWindow_setProperties;
    int calls = 0;

protected:
    void NSAlphaWindow_initSubclass() override { ++calls; }
};

TEST_F(SkinnedWindow, SubclassHookRunsOnceBeforeTheWindowIsShown)
{
    HookedPanel panel;
    Place(panel, QRect(100, 100, 200, 100));
    panel.hide();
    panel.show();
    EXPECT_EQ(panel.calls, 1);
    panel.NSAlphaWindow_setProperties(false);
    EXPECT_EQ(panel.calls, 2) << "a shown window runs it at once";
}

TEST_F(SkinnedWindow, SkinViewShowsTheTitlePictureOverTransparency)
{
    PDFSkinWindow window;
    window.setWindowTitle("AboutBox");
    auto* view = new PDFSkinAboutBoxView(&window);
    view->resize(500, 300);
    view->awakeFromNib();
    const QImage picture = NSImageNamed("AboutBox");
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(view->skinImage().size(), picture.size());
    const QImage skin = PDFSkinView::SkinImage(view->skinImage(), QSize(500, 300));
    EXPECT_EQ(skin.pixelColor(0, 0).alpha(), 0) << "the picture's own transparent corner";
    EXPECT_EQ(skin.pixelColor(450, 280).alpha(), 0) << "beyond the picture";
    EXPECT_EQ(skin.pixel(200, 200), picture.pixel(200, 200)) << "unscaled at the top left";
    EXPECT_FALSE(view->setResourceImage("NoSuchPicture"));
    EXPECT_TRUE(view->skinImage().isNull());
}

} // namespace
