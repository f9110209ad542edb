#include "P3DStereoView.h"

#include <QKeyEvent>
#include <QPainter>

#include "CGPixelOrder.h"
#include "CIImageCoreGraphics.h"
#include "CoreMachDebugLog.h"
#include "NSUICICameraControls.h"
#include "NSUISegmentedControl.h"
#include "QAspectFit.h"
#include "QCamGrabCGImageView.h"

void P3DStereoView::loadCoreImagePlugIns()
{
    static const bool sLoaded = [] {
        constexpr const char* kLoad = "+[P3DStereoView loadCoreImagePlugIns]";
        VERIFY_AT(kLoad, import_CIImageCoreGraphics());
        VERIFY_AT(kLoad, import_NSUICICameraControls());
        VERIFY_AT(kLoad, import_QCamGrabCGImageView());
        StereoMonitor::loadCoreImagePlugIns();
        return true;
    }();
    (void)sLoaded;
}

P3DStereoView::P3DStereoView(StereoMonitor* monitor, QWidget* parent)
    : QWidget(parent), mMonitor(monitor)
{
    loadCoreImagePlugIns();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 240);
    setFocusPolicy(Qt::StrongFocus);
}

P3DStereoView::~P3DStereoView() = default;

void P3DStereoView::setMonitorImageType(int type)
{
    mMonitor->setMonitorImageType(type);
    if (_monitorImageType)
        _monitorImageType->setSelectedSegment(type - 1);
    update();
}

void P3DStereoView::monitorImageTypeChanged(QObject*)
{
    mMonitor->setMonitorImageType(_monitorImageType ? _monitorImageType->selectedSegment() + 1
                                                    : kMonitorImageType_None);
    update();
}

void P3DStereoView::keyPressEvent(QKeyEvent* event)
{
    EyeOffset step;
    switch (event->key()) {
    case Qt::Key_Left:
        step.x = -1;
        break;
    case Qt::Key_Right:
        step.x = 1;
        break;
    case Qt::Key_Up:
        step.y = -1;
        break;
    case Qt::Key_Down:
        step.y = 1;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    const Eye eye = event->modifiers() & Qt::ShiftModifier ? kLeftEye : kRightEye;
    const EyeOffset offset = eyeOffset(eye);
    setEyeOffset(eye, {offset.x + step.x, offset.y + step.y});
}

void P3DStereoView::drawRect(QPainter& painter, const QRect& rect)
{
    const uint8_t* pixels = mMonitor->pixels();
    if (!pixels || rect.isEmpty()) {
        painter.fillRect(rect, Qt::black);
        return;
    }
    // As large as fits the view, its aspect kept (black bars, never stretched), scaled as it
    // turns into Qt's byte order: the painter then copies it 1:1.
    const QAspectFit fit = QAspectFit::Inside(int(mMonitor->width()), int(mMonitor->height()),
                                              rect.width(), rect.height());
    const QSize size(fit.width, fit.height);
    if (mFrame.size() != size)
        mFrame = QImage(size, QImage::Format_ARGB32_Premultiplied);
    if (mFrame.isNull() ||
        !CGScaleARGBPixels(pixels, mMonitor->width() * 4, mMonitor->width(), mMonitor->height(),
                           mFrame.bits(), size_t(mFrame.bytesPerLine()), size_t(mFrame.width()),
                           size_t(mFrame.height()), CGPixelOrder::kBGRA)) {
        painter.fillRect(rect, Qt::black);
        return;
    }
    if (!fit.fills(rect.width(), rect.height()))
        painter.fillRect(rect, Qt::black);
    painter.drawImage(rect.topLeft() + QPoint(fit.x, fit.y), mFrame);
}

void P3DStereoView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawRect(painter, rect());
}

bool import_P3DStereoView()
{
    return import_StereoMonitor();
}
