#include "NSAlphaWindow.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <utility>

#include "CoreMachDebugLog.h"

namespace {

constexpr int kMinimumSide = 32;

// Screen coordinates with y up start at the bottom of the primary screen.
qreal FlipHeight()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 0;
    const QRect g = screen->geometry();
    return g.y() + g.height();
}

} // namespace

NSAlphaWindow::NSAlphaWindow(Kind kind, bool shadow, QWidget* parent)
    : QWidget(parent, Qt::Window), mKind(kind)
{
    if (kind == kPanel)
        VERIFY(import_category_NSWindow_MouseMoveSize());
    Qt::WindowFlags flags = Qt::FramelessWindowHint | (kind == kPanel ? Qt::Tool : Qt::Window);
    if (!shadow)
        flags |= Qt::NoDropShadowWindowHint;
    setWindowFlags(flags);
    NSAlphaWindow_setProperties(shadow);
}

void NSAlphaWindow::NSAlphaWindow_setProperties(bool shadow)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    setWindowOpacity(1.0);
    mHasShadow = shadow;
    // From a constructor the virtual call would reach this class's empty hook, never an override.
    if (testAttribute(Qt::WA_WState_Polished))
        NSAlphaWindow_initSubclass();
    else
        mInitSubclassPending = true;
}

bool NSAlphaWindow::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::Polish && std::exchange(mInitSubclassPending, false))
        NSAlphaWindow_initSubclass();
    return handled;
}

CGPoint NSAlphaWindow::ScreenLocation(QPointF globalPosition)
{
    return CGPointMake(globalPosition.x(), FlipHeight() - globalPosition.y());
}

CGRect NSAlphaWindow::frame() const
{
    const QRect g = geometry();
    return CGRectMake(g.x(), FlipHeight() - (g.y() + g.height()), g.width(), g.height());
}

void NSAlphaWindow::setFrame(CGRect frame)
{
    const int w = static_cast<int>(std::lround(frame.size.width));
    const int h = static_cast<int>(std::lround(frame.size.height));
    const int x = static_cast<int>(std::lround(frame.origin.x));
    const int y = static_cast<int>(std::lround(FlipHeight() - frame.origin.y - frame.size.height));
    setGeometry(x, y, w, h);
}

CGSize NSAlphaWindow::minSize() const
{
    // A frameless window has nothing else to take hold of: never smaller than its resize
    // corner, or it could not be found and grown again.
    return CGSizeMake(std::max(minimumWidth(), kMinimumSide),
                      std::max(minimumHeight(), kMinimumSide));
}

CGSize NSAlphaWindow::maxSize() const
{
    return CGSizeMake(maximumWidth(), maximumHeight());
}

CGRect NSAlphaWindow::mainScreenFrame() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return CGRectMake(0, 0, 0, 0);
    const QRect g = screen->geometry();
    return CGRectMake(g.x(), FlipHeight() - (g.y() + g.height()), g.width(), g.height());
}

NSUIMouseEvent NSAlphaWindow::MouseEvent(NSUIMouseEvent::Type type, const QMouseEvent* event)
{
    NSUIMouseEvent e;
    e.type = type;
    e.location = ScreenLocation(event->globalPosition());
    e.shift = event->modifiers().testFlag(Qt::ShiftModifier);
    return e;
}

void NSAlphaWindow::mousePressEvent(QMouseEvent* event)
{
    if (mKind != kPanel || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // A panel is always dragged, from anywhere: the corner it was pressed in does not count.
    const QPointF p = event->position();
    (void)windowMouseMoveSize_MouseHitTest(CGRectMake(0, 0, width(), height()),
                                           CGPointMake(p.x(), height() - p.y()), 32, 32);
    mMouseMoveSize.windowMouseMoveSize_FromHitRegion(
        MouseEvent(NSUIMouseEvent::kLeftMouseDown, event), kNSWindowHitNone);
}

void NSAlphaWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (!mMouseMoveSize.capturing()) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    mMouseMoveSize.windowMouseEvent(MouseEvent(NSUIMouseEvent::kLeftMouseDragged, event));
    // Qt merges pending moves into this one: nothing else waits now.
    if (mMouseMoveSize.capturing())
        mMouseMoveSize.windowMouseNoEvent();
}

void NSAlphaWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (!mMouseMoveSize.capturing() || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    mMouseMoveSize.windowMouseEvent(MouseEvent(NSUIMouseEvent::kLeftMouseUp, event));
}
