// Transparent borderless windows and panels. Where nothing is drawn the desktop shows through,
// so a window takes the shape of what its views draw. Panels move when dragged anywhere, even
// above the screen's top; windows leave the mouse to their subclasses.
#pragma once

#include <QWidget>

#include "NSWindow_MouseMoveSize.h"

class NSAlphaWindow : public QWidget, public NSUIMovableWindow
{
public:
    enum Kind { kWindow, kPanel };

    bool hasShadow() const { return mHasShadow; }
    bool isPanel() const { return mKind == kPanel; }
    const NSWindowMouseMoveSize& mouseMoveSize() const { return mMouseMoveSize; }

    // NSUIMovableWindow, in screen coordinates with y up.
    CGRect frame() const override;
    void setFrame(CGRect frame) override;
    CGSize minSize() const override;
    CGSize maxSize() const override;
    CGRect mainScreenFrame() const override;

    // A global position of Qt's (y down) as the capture sees it, and back.
    static CGPoint ScreenLocation(QPointF globalPosition);

protected:
    NSAlphaWindow(Kind kind, bool shadow, QWidget* parent);

    // Transparency and shadow, then the subclass hook: at once on a polished window, else when
    // it is polished, before it is first shown, so that the hook is a subclass's own.
    void NSAlphaWindow_setProperties(bool shadow);
    virtual void NSAlphaWindow_initSubclass() {}

    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

    NSWindowMouseMoveSize& mouseMoveSize() { return mMouseMoveSize; }
    static NSUIMouseEvent MouseEvent(NSUIMouseEvent::Type type, const QMouseEvent* event);

private:
    Kind mKind;
    bool mHasShadow = false;
    bool mInitSubclassPending = false;
    NSWindowMouseMoveSize mMouseMoveSize{*this};
};

template <NSAlphaWindow::Kind K, bool Shadow> class NSAlphaWindowOf : public NSAlphaWindow
{
public:
    explicit NSAlphaWindowOf(QWidget* parent = nullptr) : NSAlphaWindow(K, Shadow, parent) {}
};

using NSAlphaWindowWithShadow = NSAlphaWindowOf<NSAlphaWindow::kWindow, true>;
using NSAlphaWindowWithoutShadow = NSAlphaWindowOf<NSAlphaWindow::kWindow, false>;
using NSAlphaPanelWithShadow = NSAlphaWindowOf<NSAlphaWindow::kPanel, true>;
using NSAlphaPanelWithoutShadow = NSAlphaWindowOf<NSAlphaWindow::kPanel, false>;
