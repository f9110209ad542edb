#include "QCamGrabViewBase.h"

#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

#include "CGPixelOrder.h"
#include "CIContext.h"
#include "CIImageCoreGraphics.h"
#include "CoreMachDebugLog.h"
#include "NSImage_CocoaX.h"
#include "NSUICamMenuController.h"
#include "QAspectFit.h"
#include "QCameraGrabberBase.h"

namespace {

// Images are stored top row first: in y-up coordinates they are drawn through a flip of their
// own rectangle.
void DrawUpright(QPainter& painter, const QRectF& rect, const QImage& image)
{
    painter.save();
    painter.translate(rect.left(), rect.top() + rect.height());
    painter.scale(1, -1);
    painter.drawImage(QRectF(0, 0, rect.width(), rect.height()), image);
    painter.restore();
}

} // namespace

QCamGrabViewBase::QCamGrabViewBase(QWidget* parent)
    : QWidget(parent), _cameraMenuController(new NSUICamMenuController(this)),
      _cameraPopUpButton(new QToolButton(this)), mCameraMenu(new QMenu(_cameraPopUpButton))
{
    setMinimumSize(160, 120);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The menu as the window file lays it out: the picture item, then the separator that the
    // camera entries follow.
    mCameraMenu->addAction(QString());
    _cameraMenuController->setCameraMenuSeparator(mCameraMenu->addSeparator());
    _cameraPopUpButton->setMenu(mCameraMenu);
    _cameraPopUpButton->setPopupMode(QToolButton::InstantPopup);
    _cameraPopUpButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    _cameraPopUpButton->setIcon(QPixmap::fromImage(NSImageNamed("iSightCamera.png")));
    _cameraPopUpButton->setToolTip(tr("The camera of this eye"));
    _cameraPopUpButton->setHidden(true);
    // Cameras may have come or gone since the last rebuild, unseen where udev is not watched.
    connect(mCameraMenu, &QMenu::aboutToShow, this, &QCamGrabViewBase::cameraMenuRefresh);
    // Until a window takes the choices, the view applies its own.
    _cameraMenuController->setTargetAction(this, &QCamGrabViewBase::cameraMenuChanged);
}

QCamGrabViewBase::~QCamGrabViewBase() = default;

void QCamGrabViewBase::awakeFromNib()
{
    cameraItemZeroGraphic();
}

void QCamGrabViewBase::cameraItemZeroGraphic()
{
    QAction* itemZero = mCameraMenu->actions().value(0);
    if (!itemZero)
        return;
    itemZero->setIcon(QPixmap::fromImage(NSImageNamed("iSightCamera.png")));
    itemZero->setText(QString());
    itemZero->setEnabled(false);
    itemZero->disconnect();
}

void QCamGrabViewBase::cameraOpen(QSize size, QSize vdigSize)
{
    if (QCameraGrabberBase* cameraGrabber = grabber()) {
        cameraGrabber->SetCameraVDIGRequestRect(
            Rect{0, 0, SInt16(vdigSize.height()), SInt16(vdigSize.width())});
        const Rect frame = {0, 0, SInt16(size.height()), SInt16(size.width())};
        if (cameraGrabber->OpenInitialize(frame, k32ARGBPixelFormat, nullptr) == noErr)
            cameraGrabber->StartRecord();
        else
            cameraGrabber->SetAutoOpenCameraPluggedIn(false, 10.0f);
        _cameraMenuController->updateForCameraGrabber(cameraGrabber);
        selectPopUpItem(_cameraMenuController->cameraDeviceInputName());
    }
    _cameraPopUpButton->setHidden(false);
    _cameraPopUpButton->adjustSize();
}

void QCamGrabViewBase::cameraChangeSize(QSize size)
{
    if (QCameraGrabberBase* cameraGrabber = grabber())
        cameraGrabber->ChangeFrameSize(Rect{0, 0, SInt16(size.height()), SInt16(size.width())});
    update();
}

bool QCamGrabViewBase::cameraTimer(QObject*)
{
    QCameraGrabberBase* cameraGrabber = grabber();
    return !cameraGrabber || cameraGrabber->Idle() == noErr;
}

void QCamGrabViewBase::cameraClose()
{
    if (QCameraGrabberBase* cameraGrabber = grabber())
        cameraGrabber->Close();
}

void QCamGrabViewBase::cameraMenuRefresh()
{
    QCameraGrabberBase* cameraGrabber = grabber();
    if (!cameraGrabber)
        return;
    _cameraMenuController->updateForCameraGrabber(cameraGrabber);
    selectPopUpItem(_cameraMenuController->cameraDeviceInputName());
}

void QCamGrabViewBase::cameraMenuChanged(QObject*)
{
    QCameraGrabberBase* cameraGrabber = grabber();
    if (!cameraGrabber)
        return;
    _cameraMenuController->changeCameraGrabberDevice(cameraGrabber);
    _cameraMenuController->updateForCameraGrabber(cameraGrabber);
    selectPopUpItem(_cameraMenuController->cameraDeviceInputName());
    update();
}

QCameraGrabberBase* QCamGrabViewBase::grabber()
{
    VERIFY_TEXT(__func__, "FALSE", false);
    return nullptr;
}

void QCamGrabViewBase::selectPopUpItem(const QString& title)
{
    _cameraPopUpButton->setText(title);
    _cameraPopUpButton->adjustSize();
}

void QCamGrabViewBase::eraseBackground(QPainter& painter, const QRectF& rect)
{
    painter.fillRect(rect, Qt::black);
}

void QCamGrabViewBase::drawImageRef(QPainter& painter, CGImageRef image, const QRectF& rect,
                                    qreal opacity)
{
    if (!image || CGImageGetBitsPerPixel(image) != 32 || !CGImageGetPixelBase(image))
        return;
    const CGImageAlphaInfo alpha = CGImageGetAlphaInfo(image);
    QImage::Format format;
    if (alpha == kCGImageAlphaPremultipliedFirst)
        format = QImage::Format_ARGB32_Premultiplied;
    else if (alpha == kCGImageAlphaNoneSkipFirst)
        format = QImage::Format_RGB32;
    else
        return;
    // Resampled to its place in the view as it turns into Qt's byte order, the one conversion a
    // frame takes on its way to the screen: the painter then copies it 1:1.
    const QAspectFit fit =
        QAspectFit::Inside(int(CGImageGetWidth(image)), int(CGImageGetHeight(image)),
                           qRound(rect.width()), qRound(rect.height()));
    const QSize size(fit.width, fit.height);
    if (size.isEmpty())
        return;
    if (mDisplayFrame.size() != size || mDisplayFrame.format() != format)
        mDisplayFrame = QImage(size, format);
    if (mDisplayFrame.isNull() ||
        !CGScaleARGBPixels(static_cast<const uint8_t*>(CGImageGetPixelBase(image)),
                           CGImageGetBytesPerRow(image), CGImageGetWidth(image),
                           CGImageGetHeight(image), mDisplayFrame.bits(),
                           size_t(mDisplayFrame.bytesPerLine()), size_t(size.width()),
                           size_t(size.height()), CGPixelOrder::kBGRA))
        return;
    if (!fit.fills(qRound(rect.width()), qRound(rect.height())))
        eraseBackground(painter, rect);
    painter.save();
    painter.setOpacity(opacity);
    // In y-up coordinates: the bar above is at the larger y.
    DrawUpright(painter,
                QRectF(rect.left() + fit.x, rect.top() + rect.height() - fit.y - fit.height,
                       fit.width, fit.height),
                mDisplayFrame);
    painter.restore();
}

void QCamGrabViewBase::drawImage(QPainter& painter, const CIImage* image, const QRectF& rect, qreal)
{
    if (!image)
        return;
    CFPtr<CIImage> scaled = CIImageWithSizePixels(image, CGSizeMake(rect.width(), rect.height()));
    if (!scaled)
        return;
    const CGRect extent = scaled->extent();
    QImage pixels(int(extent.size.width), int(extent.size.height),
                  QImage::Format_ARGB32_Premultiplied);
    if (pixels.isNull())
        return;
    CFPtr<CIContext> context =
        CIContext::contextWithARGBMemory(pixels.bits(), size_t(pixels.bytesPerLine()),
                                         size_t(pixels.width()), size_t(pixels.height()));
    if (!context ||
        !context->render(scaled.get(), pixels.bits(), size_t(pixels.bytesPerLine()), extent))
        return;
    CGReorderARGBPixels(pixels.bits(), size_t(pixels.bytesPerLine()), pixels.bits(),
                        size_t(pixels.bytesPerLine()), size_t(pixels.width()),
                        size_t(pixels.height()), CGPixelOrder::kBGRA);
    // At the origin, as this operation has always drawn.
    painter.save();
    DrawUpright(painter, QRectF(0, 0, pixels.width(), pixels.height()), pixels);
    painter.restore();
}

void QCamGrabViewBase::drawCameraUnavailableIndicator(QPainter& painter, const QRectF& rect)
{
    painter.save();
    painter.setOpacity(0.5);
    painter.fillRect(rect, QColor::fromRgbF(0.333f, 0.333f, 0.333f, 1.0f));
    const QRectF icon(rect.x() + 0.25 * rect.width(), rect.y() + 0.25 * rect.height(),
                      0.5 * rect.width(), 0.5 * rect.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    DrawUpright(painter, icon, NSImageNamed("iSightCamera.png"));

    QPen cross(QColor::fromRgbF(0.666f, 0.666f, 0.666f, 1.0f));
    cross.setWidthF(0.1 * (rect.width() + rect.height()));
    cross.setCapStyle(Qt::RoundCap);
    painter.setPen(cross);
    painter.setRenderHint(QPainter::Antialiasing);
    // One stroke of two segments, so where they cross is covered once. In y-up coordinates
    // the rectangle's top() is its lower edge.
    QPainterPath segments;
    segments.moveTo(icon.left(), icon.top());
    segments.lineTo(icon.right(), icon.bottom());
    segments.moveTo(icon.left(), icon.bottom());
    segments.lineTo(icon.right(), icon.top());
    painter.drawPath(segments);
    painter.restore();
}

void QCamGrabViewBase::drawRect(QPainter& painter, const QRectF& rect)
{
    eraseBackground(painter, rect);
    drawCameraUnavailableIndicator(painter, rect);
}

void QCamGrabViewBase::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.translate(0, height());
    painter.scale(1, -1);
    drawRect(painter, QRectF(0, 0, width(), height()));
}

void QCamGrabViewBase::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    _cameraPopUpButton->move(4, 4);
}

bool import_QCamGrabViewBase()
{
    VERIFY(import_NSUICamMenuController());
    VERIFY(import_NSImage_CocoaX());
    VERIFY(import_CIImageCoreGraphics());
    return true;
}
