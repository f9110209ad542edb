// The stereo document, the application's main loop: it opens both eyes' cameras, and a timer
// 30 times a second grabs a frame from each eye, renders the stereo monitor and broadcasts the
// picture it has just rendered. One is open at a time.
#pragma once

#include <QObject>
#include <QSize>
#include <QString>
#include <cstdint>
#include <memory>

#include "RecordSettings.h"
#include <string>

class AlignmentSession;
struct ArgbView;
class CIImage;
class ComfortCheck;
class ConvergenceEaser;
class CameraDeviceWatcher;
class P3DCalibrationDialog;
class Recorder;
struct RecordDestination;
class P3DDocumentWindow;
class QAction;
class QTimer;
class StereoEncodingList;
class StereoMonitor;
struct DepthSnapshot;
struct EyeAlignment;
struct StereoCalibration;
class PipelineStats;
class TickScheduler;
struct PipelineFigures;

class P3DDocument : public QObject
{
    Q_OBJECT

public:
    static constexpr double timerInterval_s = 1.0 / 30.0;

    P3DDocument();
    ~P3DDocument() override;

    static int countInstances();
    QString displayName() const { return "Parallax3D"; }
    // Checks the link anchors of the window's classes; the window's name.
    QString windowNibName() const;
    // The window is built: count the instance, open the cameras, start the broadcast.
    void windowControllerDidLoadNib();

    void stereoCameraOpen();
    void stereoCameraClose();
    void stereoCameraMenuRefresh();
    void stereoGrabCameraMenuChanged(QObject* sender);
    // Cameras came or went: an eye left without one for want of a camera takes a free one, the
    // left eye first, and both menus are rebuilt.
    void stereoCameraDevicesChanged();
    void masterTimeClock();
    // Idles both grabbers, then decodes the pair of frames closest in capture time.
    void stereoCameraTimer();
    // True when the frame was published.
    bool cameraBroadcastFrame(const CIImage* image);
    void windowWillClose();
    // View > Calibrate Eyes…: the guided calibration, fed this document's eyes while it is open.
    void calibrateEyes();
    P3DCalibrationDialog* calibrationDialog() const { return mCalibrationDialog.get(); }

    // Each eye takes the named camera, else the one it had at the last close, else the left eye
    // the first camera and the right eye the second; through the same path as a menu choice.
    void restoreCameras(const QString& leftCamera, const QString& rightCamera);
    // Keeps the calibration for the present pair of cameras (not while an eye has none) and
    // rectifies the eyes with it.
    void useCalibration(const StereoCalibration& calibration);
    // Loads a calibration file and uses it; false with the reason, and nothing changed.
    bool loadCalibrationFile(const QString& path, QString& out_reason);
    // View > Load Calibration…: the file asked for; one that cannot be used is told.
    void loadCalibration();
    // View > Rectify Eyes: whether the pair's calibration rectifies the eyes. Kept at close as
    // "rectifyEyes".
    void setRectifyEyes(bool on);
    // View > Align Eyes Automatically: the next frames fitted on the worker and the alignment
    // applied over the pair's calibration, and kept for the pair; a scene too plain to fit is
    // told in the status bar and changes nothing.
    void alignEyes();
    // View > Undo Eye Alignment: back to the calibration, or to the raw eyes without one.
    void undoEyeAlignment();
    // View > Keep Eyes Aligned: the alignment in use checked again every few seconds and drift
    // corrected a little each tick. Kept at close as "keepEyesAligned".
    void setKeepEyesAligned(bool on);
    // The pair's alignment in use, or null.
    const EyeAlignment* eyeAlignment() const { return mPairAlignment.get(); }

    // The size the cameras are opened at, shown and broadcast: one of
    // QCamOutputBase::sBroadcastFormats, in View > Size too; the cameras that run are reopened at
    // it. False for another size, and nothing changed. Kept at close as "broadcastSize".
    bool setBroadcastSize(QSize size);
    QSize broadcastSize() const { return mFrameSize; }

    // The monitor type, in the view, in its chooser and in View > Monitor.
    void setMonitorImageType(int type);
    // The chooser's action: its selected segment + 1 becomes the type.
    void monitorImageTypeChanged(QObject* sender);
    // View > Comfort Bar: the bar under the monitor and its status line, from the live depth.
    // Kept at close as "comfortBar".
    void setComfortBar(bool on);
    // View > Automatic Convergence: the eyes shifted apart so that the nearest of the picture
    // sits at the screen, eased; off eases the shift back to 0. Kept as "autoConvergence".
    void setAutoConvergence(bool on);
    // The comfort budget, percent of the picture's width either way. Kept as "comfortBudget".
    void setComfortBudget(double percent);
    const ComfortCheck& comfort() const { return *mComfort; }
    // The stereo encoding by key, in the view and checked in the Encoding menu; an unknown or
    // unusable key gives the default. Kept at close as "stereoEncoding".
    void setStereoEncoding(const QString& key);
    QString stereoEncoding() const;
    void stereoEncodingMenuChanged(QAction* item);
    const StereoEncodingList& encodings() const { return *mEncodings; }
    // The monitor picture of the last drawing is saved there when the window closes; a
    // picture that could not be saved is told on standard error and remembered.
    void setSnapshotPath(const QString& path) { mSnapshotPath = path; }
    // The pipeline's figures are written there as JSON every second and at close; a file that
    // cannot be written is told once on standard error.
    void setStatsPath(const QString& path) { mStatsPath = path; }
    bool snapshotFailed() const { return mSnapshotFailed; }
    // Records (or streams) the monitor picture or both eyes from the next tick on until the
    // window closes; false with the reason when it cannot start.
    bool startRecording(const RecordDestination& destination, RecordLayout layout,
                        QString& out_reason);
    // The recording's end: what is queued written, the file closed; told on standard error
    // when it failed. Why it ended badly, or "".
    QString stopRecording();
    const Recorder* recorder() const { return mRecorder.get(); }
    // File > Recording Options…: what File > Record…, File > Stream… and the command line
    // without --record-layout write. Kept as "recordLayout".
    RecordLayout recordLayout() const;
    void setRecordLayout(RecordLayout layout);
    void recordingOptions();
    // The Record button and File > Record…: the running recording or stream stopped, else a file
    // asked for (its folder kept as "recordFolder") and recorded into. File > Stream… (stream
    // true): the same with a server's URL, kept as "streamURL".
    void toggleRecording(bool stream);
    // Records into the file, or streams to the URL, in the chosen layout, as the window shows;
    // false with the reason, and nothing started.
    bool recordTo(const QString& location, bool stream, QString& out_reason);

    P3DDocumentWindow* window() const { return mWindow.get(); }
    StereoMonitor* monitor() const { return mMonitor.get(); }
    QTimer* timer() const { return _camTimer; }
    // Ticks run so far, for diagnostics.
    unsigned long ticks() const { return mTicks; }

private:
    // Each eye's offset and the colour matching, kept in the preferences between launches.
    void loadEyeAdjustment();
    void saveEyeAdjustment();
    void chooseCamera(bool leftEye, const QString& name, bool byPerson);
    // Only what a person chose, or what runs now, is written; otherwise the stored name stays.
    void saveEyeCameras();

    void fillEncodingMenu();
    // The cameras of either eye may have changed: a new pair brings its own calibration, if it
    // has one.
    void cameraPairChanged();
    // The monitor and the Rectify Eyes item as the pair's calibration and the switch say.
    void applyRectification();
    // Whether the comfort bar shows: asked for, converging, or the depth monitor (free then).
    bool comfortShown() const;
    // The depth analysis, the comfort row and the status line as the switches say.
    void applyComfort();
    // A tick's comfort: the newest depth map read, checked, the convergence stepped, shown.
    void updateComfort();
    // The alignment worker fed this tick's eyes, and what it has made taken into the monitor.
    void alignEyesTick(const ArgbView& left, const ArgbView& right);
    // Of the frames each eye shows and holds, the pair closest in time decoded.
    void pairEyeFrames();
    // A tick with a new pair of eyes handed to the recording, when one runs: the monitor picture
    // just drawn, or the eyes.
    void recordTick(const ArgbView& left, const ArgbView& right, uint64_t leftUs, uint64_t rightUs);
    // The pipeline's figures in the status bar and in the stats file; the figures shown.
    PipelineFigures showPipelineStats();
    // The window as the recording stands: its controls and figures. One that ended by itself (a
    // full disk, a write error) is stopped and its reason told.
    void showRecording();
    // recordTo from the window: a failure told.
    void recordAsked(const QString& location, bool stream);
    // stopRecording, and why it ended badly told.
    void endRecording();
    // In a message box that leaves the ticks running.
    void tellRecording(const QString& text);

    std::unique_ptr<StereoMonitor> mMonitor; // outlives the window, whose views borrow it
    std::unique_ptr<P3DDocumentWindow> mWindow;
    std::unique_ptr<StereoEncodingList> mEncodings;
    QSize mFrameSize;
    int _broadcastFrame = 0;
    QTimer* _camTimer = nullptr; // a child of this document
    bool mOpen = false;          // between the window's loading and its closing
    QString mSnapshotPath;
    bool mSnapshotFailed = false;
    unsigned long mTicks = 0;
    std::unique_ptr<CameraDeviceWatcher> mCameraWatcher;
    std::unique_ptr<P3DCalibrationDialog> mCalibrationDialog; // a child of the window, while open
    std::string mPair[2]; // the cameras' names, left and right; empty for an eye without one
    std::unique_ptr<StereoCalibration> mPairCalibration;
    bool mRectifyEyes = true;
    std::unique_ptr<ComfortCheck> mComfort;
    std::unique_ptr<ConvergenceEaser> mEaser;
    std::shared_ptr<const DepthSnapshot> mDepth; // the newest map read, held while in use
    bool mComfortBar = false;
    bool mAutoConvergence = false;
    double mComfortBudget;
    std::string mShownStatus, mShownWarning; // what the status line says, compared each tick
    std::unique_ptr<AlignmentSession> mAlignment;
    std::unique_ptr<EyeAlignment> mPairAlignment;
    std::unique_ptr<PipelineStats> mStats;
    std::unique_ptr<TickScheduler> mTickScheduler;
    uint64_t mStatsShownUs = 0;
    QString mStatsPath;
    bool mStatsFailed = false; // told once
    std::unique_ptr<Recorder> mRecorder;
    uint64_t mRecordedCaptureUs = 0; // the last frame recorded: a tick without a new one adds none
    bool mRecordingShown = false;    // what the window shows: a recording running
    static int sCountInstances;
};
