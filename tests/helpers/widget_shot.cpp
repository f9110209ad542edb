// widget_shot NAME OUT.png: shows one of the program's widgets in a window of its own and saves
// what the screen shows of it, for a person to look at (run it under xvfb-run).
//   broadcast-off    the broadcast control as a first launch shows it
//   broadcast-on     the same, broadcasting
//   camera-controls  the camera image controls' window, some controls moved
#include <QApplication>
#include <QCheckBox>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <cstring>

#include "NSColorWellWithoutAlpha.h"
#include "NSUICICameraControls.h"
#include "NSUIFloatSlider.h"
#include "P3DBroadcastControl.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc != 3) {
        fprintf(stderr, "usage: widget_shot broadcast-off|broadcast-on|camera-controls OUT.png\n");
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
    auto* layout = new QVBoxLayout(&window);
    auto* control = new P3DBroadcastControl;
    layout->addWidget(control);
    if (name == "broadcast-off" || name == "broadcast-on") {
        control->awakeFromNib();
        control->applicationDidFinishLaunching(nullptr);
        control->setBroadcastEnabled(name == "broadcast-on");
    } else {
        fprintf(stderr, "widget_shot: no widget named \"%s\"\n", argv[1]);
        return 2;
    }
    window.show();
    int status = 1;
    QTimer::singleShot(500, [&] {
        const QPixmap shot = window.screen()->grabWindow(window.winId());
        status = shot.save(out) ? 0 : 1;
        control->setBroadcastEnabled(false);
        application.quit();
    });
    application.exec();
    return status;
}
