#include "P3DEyeAlignmentControls.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>

#include "StereoMonitor.h"

P3DEyeAlignmentControls::P3DEyeAlignmentControls(StereoMonitor* monitor, QWidget* parent)
    : QWidget(parent), mMonitor(monitor),
      mMatching(new QCheckBox(tr("Match the right eye's colour to the left eye's"))),
      mGains(new QLabel)
{
    auto* form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    const char* const titles[2][2] = {{"Left eye across", "Left eye up and down"},
                                      {"Right eye across", "Right eye up and down"}};
    for (int eye = 0; eye < 2; ++eye)
        for (int axis = 0; axis < 2; ++axis) {
            auto* slider = new QSlider(Qt::Horizontal);
            slider->setRange(-EyeOffset::kLimit, EyeOffset::kLimit);
            slider->setObjectName(QString("eyeOffset%1%2").arg(eye).arg(axis));
            auto* value = new QLabel(tr("%1 px").arg(0));
            value->setMinimumWidth(value->fontMetrics().horizontalAdvance("-64 px"));
            value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            connect(slider, &QSlider::valueChanged, value,
                    [value](int pixels) { value->setText(tr("%1 px").arg(pixels)); });
            connect(slider, &QSlider::valueChanged, this, [this, eye, axis](int pixels) {
                const auto which = StereoMonitor::Eye(eye);
                EyeOffset offset = mMonitor->eyeOffset(which);
                (axis == 0 ? offset.x : offset.y) = pixels;
                mMonitor->setEyeOffset(which, offset);
            });
            auto* row = new QHBoxLayout;
            row->addWidget(slider, 1);
            row->addWidget(value);
            form->addRow(tr(titles[eye][axis]), row);
            mOffset[eye][axis] = slider;
        }
    mMatching->setToolTip(tr("Two webcams rarely see colour alike: the right eye's red, green and "
                             "blue follow the left eye's over the area both see"));
    form->addRow(QString(), mMatching);
    form->addRow(tr("Right eye gains"), mGains);
    connect(mMatching, &QCheckBox::clicked, mMonitor, &StereoMonitor::setColorMatching);
    connect(mMonitor, &StereoMonitor::eyeAdjustmentChanged, this,
            &P3DEyeAlignmentControls::refresh);
    refresh();
}

void P3DEyeAlignmentControls::refresh()
{
    for (int eye = 0; eye < 2; ++eye) {
        const EyeOffset offset = mMonitor->eyeOffset(StereoMonitor::Eye(eye));
        // The monitor's own values: handed back, they change nothing.
        for (int axis = 0; axis < 2; ++axis)
            mOffset[eye][axis]->setValue(axis == 0 ? offset.x : offset.y);
    }
    mMatching->setChecked(mMonitor->colorMatching());
    const EyeGains gains = mMonitor->rightEyeGains();
    mGains->setText(tr("red %1, green %2, blue %3")
                        .arg(gains[0], 0, 'f', 2)
                        .arg(gains[1], 0, 'f', 2)
                        .arg(gains[2], 0, 'f', 2));
}
