// widget_shot NAME OUT.png: shows one of the program's widgets in a window of its own and saves
// what the screen shows of it, for a person to look at (run it under xvfb-run).
//   broadcast-off    the broadcast control as a first launch shows it
//   broadcast-on     the same, broadcasting
//   camera-views     two camera views on the test pattern's two eyes
//   camera-none      a camera view with no camera
//   camera-controls  the camera image controls' window as the application shows it, some
//                    controls moved
//   color-views      every colour view of the kit, over a blue backdrop
//   graffik-buttons  the graffik buttons of each kind, off above and on below
//   tool-buttons     tool buttons whose images are not made at their size, on a dark ground
//   segmented        the segmented control with the four monitor types
//   about-box        the About box
//   calibration-views   the guided calibration a few views in, the board held up
//   calibration-result  the same once calibrated: the eyes rectified, lines across them
#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "CoreMachDebugLog.h"
#include "NSColorWellWithoutAlpha.h"
#include "NSImage_CocoaX.h"
#include "NSUICICameraControls.h"
#include "NSUICamMenuController.h"
#include "NSUIColorContentView.h"
#include "NSUIFloatSlider.h"
#include "NSUINfoGraffik.h"
#include "NSUINfoGraffikToggle.h"
#include "NSUIOvalToolButton.h"
#include "NSUISegmentedControl.h"
#include "P3DAboutBox.h"
#include "P3DBroadcastControl.h"
#include "P3DCalibrationDialog.h"
#include "P3DEyeAlignmentControls.h"
#include "QCamGrabCGImageView.h"
#include "RigCalibration.h"
#include "ScopedTestPatternCamera.h"
#include "StereoMonitor.h"

namespace {

// Every colour view with its class name, on a backdrop that shows white, black and
// transparency apart.
void AddColorViews(QWidget& window)
{
    window.setAutoFillBackground(true);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, QColor(46, 84, 128));
    palette.setColor(QPalette::WindowText, QColor(235, 235, 235));
    window.setPalette(palette);
    delete window.layout();
    auto* grid = new QGridLayout(&window);
    grid->setSpacing(6);
    const int columns = 6;
    for (int i = 0; i < static_cast<int>(NSUIColorViewKind::kCount); ++i) {
        const NSUIColorViewPreset& preset =
            NSUIColorViewPresetOf(static_cast<NSUIColorViewKind>(i));
        std::unique_ptr<NSUIColorContentView> view = NSUIColorViewNamed(preset.className);
        const bool tall = strstr(preset.className, "Circle") != nullptr;
        view->setFixedSize(tall ? 60 : 120, tall ? 60 : 40);
        auto* cell = new QVBoxLayout;
        cell->addWidget(view.release(), 0, Qt::AlignHCenter);
        auto* label = new QLabel(QString(preset.className + 4).remove("View"));
        QFont font = label->font();
        font.setPointSizeF(6.5);
        label->setFont(font);
        cell->addWidget(label, 0, Qt::AlignHCenter);
        grid->addLayout(cell, i / columns, i % columns);
    }
}

// Each kind of graffik with a picture: off on the top row, on below.
void AddGraffikButtons(QWidget& window)
{
    window.setAutoFillBackground(true);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, QColor(200, 200, 204));
    window.setPalette(palette);
    delete window.layout();
    auto* grid = new QGridLayout(&window);
    for (int state = 0; state < 2; ++state) {
        std::vector<NSUIToolButton*> buttons = {
            new NSUINfoGraffikRoundRect("Info", QSize(48, 32)),
            new NSUINfoGraffikRound("Swap", QSize(64, 64)),
            new NSUINfoGraffik("Broadcast", QSize(80, 80)),
            new NSUINfoGraffikToggle("Swap", QSize(48, 48)),
            new NSUINfoGraffikRadio("Info", QSize(48, 48)),
            new NSUINfoGraffikRoundPushOnPushOff("Broadcast", QSize(64, 64)),
        };
        for (size_t i = 0; i < buttons.size(); ++i) {
            buttons[i]->setFixedSize(buttons[i]->size());
            if (state == 1) {
                if (buttons[i]->isCheckable())
                    buttons[i]->setChecked(true);
                else
                    buttons[i]->setDown(true);
            }
            grid->addWidget(buttons[i], state, static_cast<int>(i), Qt::AlignCenter);
        }
    }
}

// Pictures wider, taller and smaller than their buttons: each fits and sits in the middle.
void AddToolButtons(QWidget& window)
{
    window.setAutoFillBackground(true);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, QColor(60, 60, 66));
    window.setPalette(palette);
    const QImage camera = NSImageNamed("iSightCamera.png");
    const QImage info = NSImageNamed("Info");
    const struct
    {
        QSize size;
        const QImage& image;
        bool oval;
    } buttons[] = {
        {{120, 48}, info, false},  {{48, 120}, info, false}, {{96, 96}, camera, false},
        {{24, 24}, camera, false}, {{64, 64}, camera, true},
    };
    for (const auto& b : buttons) {
        NSUIToolButton* button = b.oval ? new NSUIOvalToolButton : new NSUIToolButton;
        button->setFixedSize(b.size);
        button->setImage(b.image);
        // The button's bounds, to see the image inside them.
        button->setAutoFillBackground(true);
        QPalette bounds = button->palette();
        bounds.setColor(button->backgroundRole(), QColor(96, 96, 104));
        button->setPalette(bounds);
        window.layout()->addWidget(button);
    }
}

} // namespace

int main(int argc, char** argv)
{
    CoreMachDebugLogSetUseLogger(kCoreLogOutputASL);
    setenv("PARALLAX3D_TEST_CAMERAS", "1", 1);
    ScopedTestPatternCamera testPattern;
    QApplication application(argc, argv);
    if (argc != 3) {
        fprintf(stderr, "usage: widget_shot NAME OUT.png\n");
        return 2;
    }
    const QString name = argv[1];
    const QString out = argv[2];
    if (name == "camera-controls") {
        NSUICICameraControls controls;
        // As the application shows it: with the eyes' alignment and colour matching below.
        StereoMonitor monitor;
        monitor.setEyeOffset(StereoMonitor::kRightEye, {5, -3});
        monitor.setColorMatching(true);
        controls.addSection(new P3DEyeAlignmentControls(&monitor));
        controls.exposureSlider()->setFloatValue(0.5);
        controls.contrastSlider()->setFloatValue(1.2);
        controls.mirrorImageX()->setChecked(true);
        controls.whiteBalanceEnable()->setChecked(true);
        controls.whiteBalanceColor()->well().setColor3D({1.0f, 0.9f, 0.75f});
        controls.show();
        int status = 1;
        QTimer::singleShot(500, [&] {
            status = controls.screen()->grabWindow(controls.winId()).save(out) ? 0 : 1;
            application.quit();
        });
        application.exec();
        return status;
    }
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    QWidget* shown = &window;
    std::unique_ptr<P3DAboutBox> aboutBox;
    std::unique_ptr<P3DCalibrationDialog> calibration;
    P3DBroadcastControl* control = nullptr;
    std::vector<QCamGrabCGImageView*> views;
    QTimer ticks;
    if (name == "broadcast-off" || name == "broadcast-on") {
        control = new P3DBroadcastControl;
        layout->addWidget(control);
        control->awakeFromNib();
        control->applicationDidFinishLaunching(nullptr);
        control->setBroadcastEnabled(name == "broadcast-on");
    } else if (name == "camera-views" || name == "camera-none") {
        const int count = name == "camera-views" ? 2 : 1;
        for (int i = 0; i < count; ++i) {
            auto* view = new QCamGrabCGImageView;
            view->setFixedSize(320, 240);
            layout->addWidget(view);
            view->awakeFromNib();
            views.push_back(view);
        }
        if (name == "camera-views") {
            for (QCamGrabCGImageView* view : views)
                view->cameraOpen(QSize(640, 480));
            views[1]->cameraMenuController()->setCameraDeviceInputName(
                "Parallax3D Test Pattern: Right Eye");
            views[1]->cameraMenuChanged(nullptr);
        }
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            for (QCamGrabCGImageView* view : views)
                view->cameraTimer(nullptr);
        });
        ticks.start(33);
    } else if (name == "color-views") {
        AddColorViews(window);
    } else if (name == "graffik-buttons") {
        AddGraffikButtons(window);
    } else if (name == "tool-buttons") {
        AddToolButtons(window);
    } else if (name == "segmented") {
        auto* control = new NSUISegmentedControl;
        control->setSegmentCount(4);
        const char* const titles[] = {"Left", "Stereo", "Swapped", "Right"};
        for (int i = 0; i < 4; ++i)
            control->setLabel(titles[i], i);
        control->setSelectedSegment(1);
        control->setFixedWidth(320);
        layout->addWidget(control);
    } else if (name == "about-box") {
        aboutBox = std::make_unique<P3DAboutBox>(P3DFindInstalledComponents());
        aboutBox->move(40, 40);
        shown = aboutBox.get();
    } else if (name == "calibration-views" || name == "calibration-result") {
        calibration = std::make_unique<P3DCalibrationDialog>();
        p3dtest::RigCalibration rig;
        P3DCalibrationDialog* dialog = calibration.get();
        rig.Run(
            dialog->session(),
            [dialog](const ArgbView& left, const ArgbView& right, double time) {
                dialog->eyeFrames(left, right, time);
            },
            // In the views: a while into the sixth pose, held still.
            name == "calibration-views" ? 5 * rig.kPoseFrames + 24 : 40 * rig.kPoseFrames);
        dialog->eyeFrames(rig.eye(0), rig.eye(1), 1000.0);
        shown = dialog;
    } else {
        fprintf(stderr, "widget_shot: no widget named \"%s\"\n", argv[1]);
        return 2;
    }
    shown->show();
    int status = 1;
    QTimer::singleShot(1000, [&] {
        const QPixmap shot = shown->screen()->grabWindow(shown->winId());
        status = shot.save(out) ? 0 : 1;
        if (control)
            control->setBroadcastEnabled(false);
        application.quit();
    });
    application.exec();
    return status;
}
