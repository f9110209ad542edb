// The stereo part of the image controls: each eye's offset on the monitor and the right eye's
// colour matching, with the gains it has found. The stereo monitor holds the settings; this shows
// them and hands every change to it.
#pragma once

#include <QWidget>

class StereoMonitor;
class QCheckBox;
class QLabel;
class QSlider;

class P3DEyeAlignmentControls : public QWidget
{
    Q_OBJECT

public:
    explicit P3DEyeAlignmentControls(StereoMonitor* monitor, QWidget* parent = nullptr);

    // From the monitor's settings, and its gains now.
    void refresh();

    QSlider* offsetSlider(int eye, int axis) const { return mOffset[eye][axis]; }
    QCheckBox* matchingSwitch() const { return mMatching; }
    QLabel* gainsLabel() const { return mGains; }

private:
    StereoMonitor* mMonitor; // borrowed
    QSlider* mOffset[2][2];
    QCheckBox* mMatching;
    QLabel* mGains;
};
