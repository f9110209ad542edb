// The on-screen home of one camera: its pop-up menu of cameras, the open/tick/close protocol the
// stereo window drives, and the drawing of a frame or, without one, of the camera-unavailable
// indicator. Drawing happens in y-up coordinates (origin at the lower left): paintEvent flips
// once, and the drawing operations take any painter so that they draw into images as well.
#pragma once

#include <QImage>
#include <QWidget>

#include "CGImage.h"

class CIImage;
class NSUICamMenuController;
class QCameraGrabberBase;
class QMenu;
class QToolButton;

class QCamGrabViewBase : public QWidget
{
    Q_OBJECT

public:
    explicit QCamGrabViewBase(QWidget* parent = nullptr);
    ~QCamGrabViewBase() override;

    // Once the window is built: item 0 of the camera menu becomes the camera picture.
    void awakeFromNib();
    void cameraItemZeroGraphic();

    // Opens the platform's default camera with a frame of size, asking the camera for vdigSize.
    virtual void cameraOpen(QSize size, QSize vdigSize);
    void cameraOpen(QSize size) { cameraOpen(size, size); }
    // The same camera at another frame size, asked for that size.
    virtual void cameraChangeSize(QSize size);
    // One tick of the master timer.
    virtual bool cameraTimer(QObject* sender);
    void cameraClose();
    NSUICamMenuController* cameraMenuController() const { return _cameraMenuController; }
    void cameraMenuRefresh();
    void cameraMenuChanged(QObject* sender);
    // Subclasses supply the grabber; the base has none (reported).
    virtual QCameraGrabberBase* grabber();

    QToolButton* cameraPopUpButton() const { return _cameraPopUpButton; }
    QMenu* cameraMenu() const { return mCameraMenu; }

    // The drawing operations, each leaving the painter's state as it found it.
    static void eraseBackground(QPainter& painter, const QRectF& rect);
    // The image as large as fits the rectangle, its aspect kept: black bars, never stretched.
    void drawImageRef(QPainter& painter, CGImageRef image, const QRectF& rect, qreal opacity);
    static void drawImage(QPainter& painter, const CIImage* image, const QRectF& rect,
                          qreal opacity);
    static void drawCameraUnavailableIndicator(QPainter& painter, const QRectF& rect);
    virtual void drawRect(QPainter& painter, const QRectF& rect);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void selectPopUpItem(const QString& title);

    NSUICamMenuController* _cameraMenuController; // children of this view
    QToolButton* _cameraPopUpButton;
    QMenu* mCameraMenu;

private:
    QImage mDisplayFrame; // a frame at the view's size in Qt's byte order, kept between frames
};

bool import_QCamGrabViewBase();
