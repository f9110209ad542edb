#include "PDFSkinWindow.h"

#include <QMouseEvent>

#include "CoreMachDebugLog.h"

PDFSkinWindow::PDFSkinWindow(QWidget* parent) : NSAlphaWindowWithShadow(parent)
{
    VERIFY(import_category_NSWindow_MouseMoveSize());
    setFocusPolicy(Qt::StrongFocus); // it can become the key window
}

void PDFSkinWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPointF p = event->position();
    mouseMoveSize().windowMouseMoveSize_StandardBehaviour(
        MouseEvent(NSUIMouseEvent::kLeftMouseDown, event), CGRectMake(0, 0, width(), height()),
        CGPointMake(p.x(), height() - p.y()));
}

bool import_PDFSkinWindow()
{
    return true;
}
