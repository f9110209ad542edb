// The stereo window's monitor: paints the stereo monitor's latest picture stretched over the view
// and forwards the monitor's settings to it. The picture is made by the monitor once a tick,
// whether this view is painted or not.
#pragma once

#include <QImage>
#include <QWidget>

#include "StereoMonitor.h"

class NSUISegmentedControl;

class P3DStereoView : public QWidget
{
    Q_OBJECT

public:
    using MonitorImageType = StereoMonitor::MonitorImageType;
    using enum StereoMonitor::MonitorImageType;
    using Eye = StereoMonitor::Eye;
    static constexpr Eye kLeftEye = StereoMonitor::kLeftEye;
    static constexpr Eye kRightEye = StereoMonitor::kRightEye;

    // The monitor is borrowed: it belongs to the document.
    explicit P3DStereoView(StereoMonitor* monitor, QWidget* parent = nullptr);
    ~P3DStereoView() override;

    // The image engine's plug-ins and the stereo filter, once per program.
    static void loadCoreImagePlugIns();

    StereoMonitor* monitor() const { return mMonitor; }
    // The monitor-type chooser, borrowed from the window.
    void setMonitorImageTypeControl(NSUISegmentedControl* control) { _monitorImageType = control; }

    int monitorImageType() const { return mMonitor->monitorImageType(); }
    // In the monitor and in the chooser (segment type - 1).
    void setMonitorImageType(int type);
    // The chooser's action: its selected segment + 1 becomes the type, 0 when none is selected.
    void monitorImageTypeChanged(QObject* sender);

    CFPtr<CIImage> liveMonitorImage() { return mMonitor->liveMonitorImage(); }
    CFPtr<CIImage> monitorImageMuxed() { return mMonitor->monitorImageMuxed(); }
    CFPtr<CIImage> leftEyeImage() { return mMonitor->leftEyeImage(); }
    CFPtr<CIImage> rightEyeImage() { return mMonitor->rightEyeImage(); }
    CIImage* monitorImage() const { return mMonitor->monitorImage(); }
    double swapEyesFloatValue() const { return mMonitor->swapEyesFloatValue(); }

    EyeOffset eyeOffset(Eye eye) const { return mMonitor->eyeOffset(eye); }
    void setEyeOffset(Eye eye, EyeOffset offset) { mMonitor->setEyeOffset(eye, offset); }
    bool colorMatching() const { return mMonitor->colorMatching(); }
    void setColorMatching(bool on) { mMonitor->setColorMatching(on); }
    EyeGains rightEyeGains() const { return mMonitor->rightEyeGains(); }
    void setEncoding(const StereoEncoding& encoding) { mMonitor->setEncoding(encoding); }
    const StereoEncoding& encoding() const { return mMonitor->encoding(); }

    // Draws the monitor's picture stretched into rect of the painter's device, black without one.
    void drawRect(QPainter& painter, const QRect& rect);

protected:
    void paintEvent(QPaintEvent* event) override;
    // Arrows move the right eye a pixel, with Shift the left eye.
    void keyPressEvent(QKeyEvent* event) override;

private:
    StereoMonitor* mMonitor;                           // borrowed
    NSUISegmentedControl* _monitorImageType = nullptr; // borrowed
    QImage mFrame; // the picture at its size in the view, in Qt's byte order
};

bool import_P3DStereoView();
