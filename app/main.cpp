// parallax3d: the stereo application.
#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "AppController.h"
#include "CoreMachDebugLog.h"
#include "ScopedTestPatternCamera.h"
#include "SignalCloser.h"

const char* g_CoreMachDebug_LogPrefix = "Parallax3D";
static char sLogFileName[] = "Parallax3D.log";
char* g_CoreMachDebug_LogFileName = sLogFileName;

int main(int argc, char** argv)
{
    CoreMachDebugLogSetUseLogger(kCoreLogOutputASL);

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    AppOptions options;
    QString error;
    if (!AppOptions::Parse(arguments, options, error)) {
        fprintf(stderr, "parallax3d: %s\nTry \"parallax3d --help\".\n",
                error.toLocal8Bit().constData());
        return 2;
    }
    if (options.helpShown)
        return 0;
    if (options.testCameras)
        setenv("PARALLAX3D_TEST_CAMERAS", "1", 1);
    const auto isSet = [](const char* name) {
        const char* value = getenv(name);
        return value && *value;
    };
    if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY") && !isSet("QT_QPA_PLATFORM")) {
        fprintf(stderr, "parallax3d: no display; running without a window\n");
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }

    // One writer per user's channel: a second instance leaves the first one's broadcast alone.
    QLockFile instance(QDir::tempPath() + "/parallax3d-" + QString::number(getuid()) + ".lock");
    instance.setStaleLockTime(0);
    if (!instance.tryLock(0)) {
        fprintf(stderr, "parallax3d: Parallax3D is already running\n");
        return 1;
    }

    ScopedTestPatternCamera testPattern;
    QApplication application(argc, argv);
    QApplication::setApplicationName("Parallax3D");
    QApplication::setApplicationVersion("1.201");
    AppController controller(options);
    // Before the document: a signal while it opens closes it once the loop runs.
    SignalCloser closer;
    QObject::connect(&closer, &SignalCloser::closeRequested, &controller,
                     [&controller] { controller.terminate(nullptr); });
    controller.newDocument(nullptr);
    return application.exec();
}
