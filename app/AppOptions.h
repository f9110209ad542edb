// The application's command line, for scripts and demos.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "RecordDestination.h"
#include "RecordSettings.h"
#include "StereoCalibration.h"

struct AppOptions
{
    std::optional<int> monitorType;  // a P3DStereoView monitor type
    std::optional<bool> broadcast;   // as a click on the switch: kept at close
    std::optional<QSize> size;       // as View > Size: kept at close
    QString leftCamera, rightCamera; // empty: the remembered camera, or the default
    bool testCameras = false;        // the built-in test pattern among the cameras
    QString testRig;                 // its rig's faults, TestPatternRig's text; empty: none
    bool testChessboard = false;     // a hand holds a chessboard up in front of it
    int testSkewMs = 0;              // its right eye's frames this much later than the left's
    double quitAfterSeconds = 0;     // 0: run until the window is closed
    QString snapshotPath;            // the monitor image at close, as PNG
    QString statsPath;               // the pipeline's figures as JSON, every second
    bool alignEyes = false;          // View > Align Eyes Automatically once at launch
    // --record FILE or --stream URL: recorded from the start, in recordLayout when given, else in
    // the layout File > Recording Options… keeps.
    std::optional<RecordDestination> recordTo;
    std::optional<RecordLayout> recordLayout;
    bool helpShown = false; // --help or --version answered: nothing else to do
    // Read from its file (--calibration): the eyes' calibration, kept for the cameras' pair;
    // checked at --size, or at the classic size without it.
    std::optional<StereoCalibration> calibration;

    // Parses the arguments (program name first). False with a message for a bad option or
    // value, or a calibration file that cannot be read; --help and --version print and set
    // helpShown.
    static bool Parse(const QStringList& arguments, AppOptions& out_options, QString& out_error);
    // False with a message naming the cameras there are when an eye's camera is neither one of
    // in_cameras nor "No Camera".
    bool camerasExist(const std::vector<std::string>& in_cameras, QString& out_error) const;
};
