// widget_shot NAME OUT.png: shows one of the program's widgets in a window of its own and saves
// what the screen shows of it, for a person to look at (run it under xvfb-run).
//   broadcast-off    the broadcast control as a first launch shows it
//   broadcast-on     the same, broadcasting
//   camera-views     two camera views on the test pattern's two eyes
//   camera-none      a camera view with no camera
//   camera-controls  the camera image controls' window, some controls moved
#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "CoreMachDebugLog.h"
#include "NSColorWellWithoutAlpha.h"
#include "NSUICICameraControls.h"
#include "NSUICamMenuController.h"
#include "NSUIFloatSlider.h"
#include "P3DBroadcastControl.h"
#include "QCamGrabCGImageView.h"
#include "ScopedTestPatternCamera.h"

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
    } else {
        fprintf(stderr, "widget_shot: no widget named \"%s\"\n", argv[1]);
        return 2;
    }
    window.show();
    int status = 1;
    QTimer::singleShot(1000, [&] {
        const QPixmap shot = window.screen()->grabWindow(window.winId());
        status = shot.save(out) ? 0 : 1;
        if (control)
            control->setBroadcastEnabled(false);
        application.quit();
    });
    application.exec();
    return status;
}
