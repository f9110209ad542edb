// parallax3d: the stereo application.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "AppController.h"
#include "CoreCommandLine.h"
#include "CoreMachDebugLog.h"
#include "ScopedTestPatternCamera.h"
#include "SignalCloser.h"
#include "V4L2CameraList.h"

const char* g_CoreMachDebug_LogPrefix = "Parallax3D";
static char sLogFileName[] = "Parallax3D.log";
char* g_CoreMachDebug_LogFileName = sLogFileName;

namespace {

QtMessageHandler sQtMessageHandler = nullptr;

// Qt's notes that tell a user nothing: the offscreen platform cannot size a window by its hints,
// and a session without XDG_RUNTIME_DIR is given a runtime folder of Qt's own.
void QuietQtNotes(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg &&
        (message.startsWith("This plugin does not support propagateSizeHints()") ||
         message.startsWith("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (sQtMessageHandler)
        sQtMessageHandler(type, context, message);
    else
        fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

std::vector<std::string> CameraNames()
{
    std::vector<std::string> names;
    const V4L2CameraList list = V4L2CameraList::Enumerate();
    for (const V4L2CameraDevice& device : list.Devices())
        for (const V4L2Camera& camera : device.cameras)
            names.push_back(camera.name);
    return names;
}

} // namespace

int main(int argc, char** argv)
{
    CoreMachDebugLogSetUseLogger(kCoreLogOutputASL);

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    AppOptions options;
    QString error;
    if (!AppOptions::Parse(arguments, options, error))
        return CoreCommandLine::UsageError("parallax3d", error.toStdString());
    if (options.helpShown)
        return 0;
    // A snapshot or figures that can never be saved are told now, not when the window closes.
    for (const QString& path : {options.snapshotPath, options.statsPath})
        if (!path.isEmpty() &&
            access(QFileInfo(path).absolutePath().toLocal8Bit().constData(), W_OK) != 0) {
            fprintf(stderr, "parallax3d: cannot save %s: %s\n", path.toLocal8Bit().constData(),
                    strerror(errno));
            return 1;
        }
    if (options.testCameras)
        setenv("PARALLAX3D_TEST_CAMERAS", "1", 1);
    if (!options.testRig.isEmpty())
        setenv("PARALLAX3D_TEST_RIG", options.testRig.toUtf8().constData(), 1);
    if (options.testChessboard)
        setenv("PARALLAX3D_TEST_CHESSBOARD", "1", 1);
    if (options.testSkewMs != 0)
        setenv("PARALLAX3D_TEST_SKEW_MS", std::to_string(options.testSkewMs).c_str(), 1);
    // One writer per user's channel: a second instance leaves the first one's broadcast alone.
    QLockFile instance(QDir::tempPath() + "/parallax3d-" + QString::number(getuid()) + ".lock");
    instance.setStaleLockTime(0);
    if (!instance.tryLock(0)) {
        fprintf(stderr, "parallax3d: Parallax3D is already running\n");
        return 1;
    }

    ScopedTestPatternCamera testPattern;
    const std::vector<std::string> cameras = CameraNames();
    if (!options.camerasExist(cameras, error))
        return CoreCommandLine::UsageError("parallax3d", error.toStdString());
    // Before the reports of the cameras that do not open.
    if (cameras.empty())
        fprintf(stderr, "parallax3d: no camera found: plug a webcam in (check with "
                        "\"parallax3d-cameras list\") or start with --test-cameras\n");

    const auto isSet = [](const char* name) {
        const char* value = getenv(name);
        return value && *value;
    };
    if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY") && !isSet("QT_QPA_PLATFORM")) {
        fprintf(stderr, "parallax3d: no display; running without a window\n");
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }

    sQtMessageHandler = qInstallMessageHandler(QuietQtNotes);
    QApplication application(argc, argv);
    QApplication::setApplicationName("Parallax3D");
    QApplication::setApplicationVersion(CoreCommandLine::Version());
    AppController controller(options);
    // Before the document: a signal while it opens closes it once the loop runs.
    SignalCloser closer;
    QObject::connect(&closer, &SignalCloser::closeRequested, &controller,
                     [&controller] { controller.terminate(nullptr); });
    controller.newDocument(nullptr);
    const int status = application.exec();
    return status != 0 ? status : controller.exitStatus();
}
