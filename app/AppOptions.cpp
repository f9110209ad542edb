#include "AppOptions.h"

#include <QCommandLineParser>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "CameraMenuModel.h"
#include "CoreCommandLine.h"
#include "QCamOutputBase.h"
#include "RecordStatus.h"
#include "StereoRectifier.h"
#include "TestPatternCamera.h"
#include "TestPatternRig.h"

namespace {

// --record, --stream and --record-layout into out; false with the message for the user.
bool ParseRecording(const std::optional<QString>& in_file, const std::optional<QString>& in_url,
                    const std::optional<QString>& in_layout, AppOptions& out, QString& out_error)
{
    if (in_layout.has_value()) {
        RecordLayout layout;
        if (!RecordLayoutNamed(in_layout->toStdString(), layout)) {
            QStringList names;
            for (RecordLayout each : kRecordLayouts)
                names << RecordLayoutName(each);
            out_error =
                "--record-layout takes " + names.join(", ") + ", not \"" + *in_layout + "\"";
            return false;
        }
        out.recordLayout = layout;
    }
    if (in_file.has_value() && in_url.has_value()) {
        out_error = "--record and --stream go one at a time";
        return false;
    }
    if (!in_file.has_value() && !in_url.has_value())
        return true;
    const QString option = in_file.has_value() ? "--record" : "--stream";
    const std::string text = (in_file.has_value() ? *in_file : *in_url).toStdString();
    RecordDestination destination;
    std::string message;
    // Without --record-layout the window's choice is checked when the recording starts.
    if (!ParseRecordDestination(text, out.recordLayout.value_or(RecordLayout::SideBySide),
                                destination, message)) {
        out_error = option + ": " + QString::fromStdString(message);
        return false;
    }
    if (destination.isStream != in_url.has_value()) {
        out_error = in_file.has_value() ? "--record writes a file; a URL goes to --stream"
                                        : "--stream takes an srt:// or rtmp:// URL; a file goes "
                                          "to --record";
        return false;
    }
    if (!destination.isStream) {
        // Asked now, so that nothing starts for a file that cannot be written.
        const size_t slash = text.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "."
                                   : slash == 0               ? "/"
                                                              : text.substr(0, slash);
        if (access(folder.c_str(), W_OK) != 0) {
            out_error = option + ": cannot write into " + QString::fromStdString(folder) + ": " +
                        QString::fromLocal8Bit(strerror(errno));
            return false;
        }
    }
    out.recordTo = destination;
    return true;
}

} // namespace

bool AppOptions::Parse(const QStringList& arguments, AppOptions& out, QString& out_error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Parallax3D: two webcams, one per eye, become a stereo (anaglyph) picture, shown and "
        "broadcast as a camera that other programs can use.");
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption monitor("monitor",
                                     "What the monitor shows: left, stereo, swapped, "
                                     "right or depth.",
                                     "TYPE");
    const QCommandLineOption broadcast("broadcast", "Switch broadcasting on (kept at close).");
    const QCommandLineOption noBroadcast("no-broadcast",
                                         "Switch broadcasting off (kept at close).");
    const QCommandLineOption size("size",
                                  "The size the cameras are opened at, shown and broadcast: " +
                                      QString::fromStdString(QCamOutputBase::OfferedNames()) +
                                      " (kept at close).",
                                  "WIDTHxHEIGHT");
    const QCommandLineOption leftCamera("left-camera", "The left eye's camera, by name.", "NAME");
    const QCommandLineOption rightCamera("right-camera", "The right eye's camera, by name.",
                                         "NAME");
    const QCommandLineOption testCameras("test-cameras",
                                         "List the built-in test pattern among the cameras "
                                         "(the same as PARALLAX3D_TEST_CAMERAS=1).");
    const QCommandLineOption testRig(
        "test-rig",
        "Give the test pattern's eyes the faults of a real rig, e.g. "
        "vertical=6,roll=1.5,focal=3,k1=-0.1: the right eye lower by PX and rolled by DEG, its "
        "focal length PERCENT longer, both lenses with radial distortion K (implies "
        "--test-cameras).",
        "FAULTS");
    const QCommandLineOption testChessboard("test-chessboard",
                                            "A hand holds a 9x6 chessboard up in front of the "
                                            "test pattern, for calibration (implies "
                                            "--test-cameras).");
    const QCommandLineOption testSkew(
        "test-skew",
        "Capture the test pattern's right eye MS milliseconds after its left eye, as two "
        "webcams out of step (0 to 1000; the same as PARALLAX3D_TEST_SKEW_MS; implies "
        "--test-cameras).",
        "MS");
    const QCommandLineOption stats("stats",
                                   "Write the pipeline's figures (frames per second, skew, delay, "
                                   "frames dropped) to FILE as JSON every second.",
                                   "FILE");
    const QCommandLineOption quitAfter("quit-after", "Close the window after SECONDS.", "SECONDS");
    const QCommandLineOption snapshot("snapshot", "Save the monitor picture at close as PNG.",
                                      "FILE.png");
    const QCommandLineOption calibration(
        "calibration", "Rectify the eyes with this calibration, kept for the cameras' pair.",
        "FILE.yml");
    const QCommandLineOption alignEyes("align-eyes",
                                       "Align the eyes from the picture once at launch, as View > "
                                       "Align Eyes Automatically.");
    const QCommandLineOption record("record",
                                    "Record from the start into FILE (.mkv, or .mp4), until the "
                                    "window closes.",
                                    "FILE");
    const QCommandLineOption stream(
        "stream", "Stream from the start to a server: an srt:// or rtmp:// URL.", "URL");
    const QCommandLineOption recordLayout(
        "record-layout",
        "What --record and --stream write: monitor (the picture as shown), side-by-side (both "
        "eyes, marked as stereo) or two-streams (each eye its own stream, .mkv). Without it, the "
        "layout of File > Recording Options… (side-by-side until one is chosen).",
        "LAYOUT");
    parser.addOptions({monitor, broadcast, noBroadcast, size, leftCamera, rightCamera, testCameras,
                       testRig, testChessboard, testSkew, quitAfter, snapshot, stats, calibration,
                       alignEyes, record, stream, recordLayout});

    if (!parser.parse(arguments)) {
        // Worded as the other programs word it.
        const QStringList unknown = parser.unknownOptionNames();
        out_error = unknown.isEmpty()
                        ? parser.errorText()
                        : "unknown option " + QString(unknown.first().size() == 1 ? "-" : "--") +
                              unknown.first();
        return false;
    }
    if (parser.isSet(version)) {
        CoreCommandLine::PrintVersion("parallax3d");
        out.helpShown = true;
        return true;
    }
    if (parser.isSet(help)) {
        // The parser names the program after the application object, which does not exist yet:
        // --help needs no display.
        QString text = parser.helpText();
        text.replace("<executable_name>", "parallax3d");
        fputs(text.toLocal8Bit().constData(), stdout);
        out.helpShown = true;
        return true;
    }
    if (!parser.positionalArguments().isEmpty()) {
        out_error = "Unexpected argument: " + parser.positionalArguments().first();
        return false;
    }
    if (parser.isSet(monitor)) {
        static const QStringList kTypes = {"left", "stereo", "swapped", "right", "depth"};
        const qsizetype type = kTypes.indexOf(parser.value(monitor));
        if (type < 0) {
            out_error = "--monitor takes left, stereo, swapped, right or depth, not \"" +
                        parser.value(monitor) + "\"";
            return false;
        }
        out.monitorType = int(type) + 1;
    }
    if (parser.isSet(broadcast) && parser.isSet(noBroadcast)) {
        out_error = "--broadcast and --no-broadcast contradict each other";
        return false;
    }
    if (parser.isSet(broadcast) || parser.isSet(noBroadcast))
        out.broadcast = parser.isSet(broadcast);
    QCamOutputFormat frame = QCamOutputBase::sCameraFormat;
    if (parser.isSet(size)) {
        if (!QCamOutputBase::FormatNamed(parser.value(size).toStdString(), frame)) {
            out_error = "--size takes " + QString::fromStdString(QCamOutputBase::OfferedNames()) +
                        ", not \"" + parser.value(size) + "\"";
            return false;
        }
        out.size = QSize(frame.width, frame.height);
    }
    out.leftCamera = parser.value(leftCamera);
    out.rightCamera = parser.value(rightCamera);
    if (parser.isSet(testRig)) {
        TestPatternRig rig;
        std::string reason;
        if (!TestPatternRig::Parse(parser.value(testRig).toStdString(), rig, reason)) {
            out_error = "--test-rig: " + QString::fromStdString(reason);
            return false;
        }
        out.testRig = parser.value(testRig);
    }
    out.testChessboard = parser.isSet(testChessboard);
    if (parser.isSet(testSkew)) {
        bool ok = false;
        out.testSkewMs = parser.value(testSkew).toInt(&ok);
        if (!ok || out.testSkewMs < 0 || out.testSkewMs > TestPatternCamera::kMaxSkewMs) {
            out_error = "--test-skew takes whole milliseconds from 0 to " +
                        QString::number(TestPatternCamera::kMaxSkewMs) + ", not \"" +
                        parser.value(testSkew) + "\"";
            return false;
        }
    }
    out.testCameras = parser.isSet(testCameras) || parser.isSet(testRig) ||
                      parser.isSet(testChessboard) || parser.isSet(testSkew);
    if (parser.isSet(quitAfter)) {
        bool ok = false;
        out.quitAfterSeconds = parser.value(quitAfter).toDouble(&ok);
        if (!ok || !(out.quitAfterSeconds > 0) || out.quitAfterSeconds > 1e6) {
            out_error = "--quit-after takes a number of seconds above 0, not \"" +
                        parser.value(quitAfter) + "\"";
            return false;
        }
    }
    out.snapshotPath = parser.value(snapshot);
    out.statsPath = parser.value(stats);
    if (parser.isSet(stats) && out.statsPath.isEmpty()) {
        out_error = "--stats takes a file name";
        return false;
    }
    out.alignEyes = parser.isSet(alignEyes);
    if (parser.isSet(snapshot) && !out.snapshotPath.endsWith(".png", Qt::CaseInsensitive)) {
        out_error = "--snapshot writes PNG: give a file name ending in .png";
        return false;
    }
    if (!ParseRecording(parser.isSet(record) ? std::optional(parser.value(record)) : std::nullopt,
                        parser.isSet(stream) ? std::optional(parser.value(stream)) : std::nullopt,
                        parser.isSet(recordLayout) ? std::optional(parser.value(recordLayout))
                                                   : std::nullopt,
                        out, out_error))
        return false;
    if (parser.isSet(calibration)) {
        std::string reason;
        StereoCalibration read;
        if (!StereoCalibration::Load(parser.value(calibration).toStdString(), read, reason) ||
            !StereoRectifier::Usable(read, int(frame.width), int(frame.height), reason)) {
            out_error = "--calibration " + parser.value(calibration) + ": " +
                        QString::fromStdString(reason);
            return false;
        }
        out.calibration = read;
    }
    return true;
}

bool AppOptions::camerasExist(const std::vector<std::string>& in_cameras, QString& out_error) const
{
    for (const QString& name : {leftCamera, rightCamera}) {
        const std::string wanted = name.toStdString();
        if (name.isEmpty() || wanted == CameraMenuModel::kNoCamera ||
            std::find(in_cameras.begin(), in_cameras.end(), wanted) != in_cameras.end())
            continue;
        out_error = "no camera named \"" + name + "\"; ";
        if (in_cameras.empty())
            out_error += "no camera is plugged in";
        else
            out_error += "the cameras are: ";
        for (size_t i = 0; i < in_cameras.size(); ++i)
            out_error +=
                QString(i ? ", " : "") + "\"" + QString::fromStdString(in_cameras[i]) + "\"";
        return false;
    }
    return true;
}
