#include "P3DDocument.h"

#include <QActionGroup>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QImage>
#include <QImageWriter>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "AlignmentSession.h"
#include "CGPixelOrder.h"
#include "CIContext.h"
#include "CalibrationStore.h"
#include "CameraDeviceWatcher.h"
#include "CameraMenuModel.h"
#include "ComfortCheck.h"
#include "ConvergenceEaser.h"
#include "CoreElapsedTime.h"
#include "CoreMachDebugLog.h"
#include "DepthWorker.h"
#include "EyeAlignment.h"
#include "EyeCameraChoice.h"
#include "FramePairing.h"
#include "NSUICICameraControls.h"
#include "NSUICamMenuController.h"
#include "NSUIColorContentView.h"
#include "NSUINfoGraffik.h"
#include "NSUISegmentedControl.h"
#include "NSUIToolButton.h"
#include "NSUserDefault.h"
#include "P3DBroadcastControl.h"
#include "P3DCalibrationDialog.h"
#include "P3DComfortBar.h"
#include "P3DDocumentWindow.h"
#include "P3DRecordDialog.h"
#include "P3DStereoView.h"
#include "PipelineStats.h"
#include "QCamGrabCGImageView.h"
#include "QCamOutputBase.h"
#include "RecordStatus.h"
#include "Recorder.h"
#include "StereoCalibration.h"
#include "StereoEncodingList.h"
#include "StereoMonitor.h"
#include "StereoRectifier.h"
#include "TickScheduler.h"

int P3DDocument::sCountInstances = 0;

namespace {

const char* const kLeftEyeCamera = "leftEyeCamera";
const char* const kRightEyeCamera = "rightEyeCamera";
// Each eye's offset on the monitor, and the right eye's colour matching.
const char* const kEyeOffsetKeys[2][2] = {{"leftEyeOffsetX", "leftEyeOffsetY"},
                                          {"rightEyeOffsetX", "rightEyeOffsetY"}};
const char* const kEyeColorMatching = "eyeColorMatching";
const char* const kStereoEncoding = "stereoEncoding";
const char* const kRectifyEyes = "rectifyEyes";
const char* const kComfortBar = "comfortBar";
const char* const kAutoConvergence = "autoConvergence";
const char* const kComfortBudget = "comfortBudget";
const char* const kKeepEyesAligned = "keepEyesAligned";
const char* const kBroadcastSize = "broadcastSize";
const char* const kRecordLayout = "recordLayout";
const char* const kRecordFolder = "recordFolder";
const char* const kStreamURL = "streamURL";

// "1280x720", as the command line and View > Size's items name the sizes.
QString SizeName(QSize size)
{
    return QString::number(size.width()) + "x" + QString::number(size.height());
}

// The offered size of that name, else the classic one.
QSize SizeNamed(const QString& name)
{
    QCamOutputFormat format = QCamOutputBase::sCameraFormat;
    QCamOutputBase::FormatNamed(name.toStdString(), format);
    return {format.width, format.height};
}

// Two: the newest and the one before it, either of which may pair better with the other eye.
constexpr int kHeldFrames = 2;

// The monitor's last picture in Qt's byte order; null without one.
QImage MonitorPicture(const StereoMonitor& monitor)
{
    if (!monitor.pixels())
        return QImage();
    QImage picture(int(monitor.width()), int(monitor.height()),
                   QImage::Format_ARGB32_Premultiplied);
    if (picture.isNull() ||
        !CGReorderARGBPixels(monitor.pixels(), monitor.width() * 4, picture.bits(),
                             size_t(picture.bytesPerLine()), monitor.width(), monitor.height(),
                             CGPixelOrder::kBGRA))
        return QImage();
    return picture;
}

// Written whole or not at all: a half-written picture never replaces an older one.
bool SavePicture(const QImage& picture, const QString& path, QString& out_reason)
{
    if (picture.isNull()) {
        out_reason = "no monitor picture was drawn";
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        out_reason = file.errorString();
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(picture)) {
        out_reason = writer.errorString();
        return false;
    }
    if (!file.commit()) {
        out_reason = file.errorString();
        return false;
    }
    return true;
}

// An eye's frame as borrowed A,R,G,B pixels; empty without one.
ArgbView EyeFrame(CGImageRef frame)
{
    if (!frame || !CGImageGetPixelBase(frame))
        return {};
    return {static_cast<const uint8_t*>(CGImageGetPixelBase(frame)), CGImageGetBytesPerRow(frame),
            int(CGImageGetWidth(frame)), int(CGImageGetHeight(frame))};
}

} // namespace

P3DDocument::P3DDocument()
    : mComfort(std::make_unique<ComfortCheck>()),
      mEaser(std::make_unique<ConvergenceEaser>(1.0 / timerInterval_s,
                                                StereoMonitor::kConvergenceShiftLimit)),
      mComfortBudget(ComfortCheck::kDefaultBudgetPercent)
{
    windowNibName();
    mMonitor = std::make_unique<StereoMonitor>();
    mStats = std::make_unique<PipelineStats>();
    mTickScheduler = std::make_unique<TickScheduler>(uint64_t(timerInterval_s * 1e6));
    mWindow = std::make_unique<P3DDocumentWindow>(mMonitor.get());
    mWindow->setWindowTitle(displayName());
    P3DDocumentWindow& w = *mWindow;
    w.imageControls()->preferencesLoadDefaults(this);
    loadEyeAdjustment();
    for (QCamGrabCGImageView* eye : {w.leftEyeView(), w.rightEyeView()}) {
        eye->awakeFromNib();
        eye->cameraMenuController()->setTargetAction(this,
                                                     &P3DDocument::stereoGrabCameraMenuChanged);
    }
    w.broadcastControl()->awakeFromNib();
    w.monitorImageTypeControl()->setTargetAction(this, &P3DDocument::monitorImageTypeChanged);
    connect(w.monitorTypeGroup(), &QActionGroup::triggered, this,
            [this](QAction* item) { setMonitorImageType(item->data().toInt()); });
    mComfortBar = NSUserDefaultLoadKind<NSNumber>(kComfortBar, NSNumber(0)).doubleValue() >= 1.0;
    mAutoConvergence =
        NSUserDefaultLoadKind<NSNumber>(kAutoConvergence, NSNumber(0)).doubleValue() >= 1.0;
    setComfortBudget(NSUserDefaultLoadKind<NSNumber>(kComfortBudget,
                                                     NSNumber(ComfortCheck::kDefaultBudgetPercent))
                         .doubleValue());
    connect(w.comfortBarAction(), &QAction::toggled, this, &P3DDocument::setComfortBar);
    connect(w.autoConvergenceAction(), &QAction::toggled, this, &P3DDocument::setAutoConvergence);
    connect(w.comfortBudgetBox(), &QDoubleSpinBox::valueChanged, this,
            &P3DDocument::setComfortBudget);
    setMonitorImageType(P3DStereoView::kMonitorImageType_Stereo);
    mEncodings = std::make_unique<StereoEncodingList>(StereoEncodingList::UserKernelFolder());
    fillEncodingMenu();
    setStereoEncoding(NSUserDefaultLoadKind<NSString>(kStereoEncoding, ""));
    mRectifyEyes = NSUserDefaultLoadKind<NSNumber>(kRectifyEyes, NSNumber(1)).doubleValue() >= 1.0;
    connect(w.rectifyEyesAction(), &QAction::triggered, this, &P3DDocument::setRectifyEyes);
    connect(w.loadCalibrationAction(), &QAction::triggered, this, &P3DDocument::loadCalibration);
    connect(&w, &P3DDocumentWindow::windowWillClose, this, &P3DDocument::windowWillClose);
    connect(w.calibrateEyesAction(), &QAction::triggered, this, &P3DDocument::calibrateEyes);
    mAlignment = std::make_unique<AlignmentSession>();
    connect(w.alignEyesAction(), &QAction::triggered, this, &P3DDocument::alignEyes);
    connect(w.undoAlignmentAction(), &QAction::triggered, this, &P3DDocument::undoEyeAlignment);
    connect(w.keepAlignedAction(), &QAction::triggered, this, &P3DDocument::setKeepEyesAligned);
    setKeepEyesAligned(
        NSUserDefaultLoadKind<NSNumber>(kKeepEyesAligned, NSNumber(0)).doubleValue() >= 1.0);
    connect(w.sizeGroup(), &QActionGroup::triggered, this,
            [this](QAction* item) { setBroadcastSize(SizeNamed(item->data().toString())); });
    setBroadcastSize(SizeNamed(NSUserDefaultLoadKind<NSString>(kBroadcastSize, "")));
    connect(w.recordAction(), &QAction::triggered, this, [this] { toggleRecording(false); });
    connect(w.recordButton(), &QToolButton::clicked, this, [this] { toggleRecording(false); });
    connect(w.streamAction(), &QAction::triggered, this, [this] { toggleRecording(true); });
    connect(w.recordOptionsAction(), &QAction::triggered, this, &P3DDocument::recordingOptions);
}

P3DDocument::~P3DDocument()
{
    windowWillClose();
}

int P3DDocument::countInstances()
{
    return sCountInstances;
}

QString P3DDocument::windowNibName() const
{
    constexpr const char* kFunction = "-[P3DDocument windowNibName]";
    VERIFY_AT(kFunction, import_NSUIToolButton());
    VERIFY_AT(kFunction, import_NSUIColorContentView());
    VERIFY_AT(kFunction, import_NSUINfoGraffik());
    VERIFY_AT(kFunction, import_QCamGrabCGImageView());
    VERIFY_AT(kFunction, import_NSUISegmentedControl());
    return "P3DDocument";
}

void P3DDocument::windowControllerDidLoadNib()
{
    ++sCountInstances;
    mOpen = true;
    stereoCameraOpen();
    mWindow->broadcastControl()->applicationDidFinishLaunching(this);
}

void P3DDocument::stereoCameraOpen()
{
    _camTimer = new QTimer(this);
    _camTimer->setTimerType(Qt::PreciseTimer);
    _camTimer->setInterval(int(timerInterval_s * 1000.0 + 0.5));
    // A QTimer fires in every event loop: menus, dragged sliders and modal dialogs included.
    connect(_camTimer, &QTimer::timeout, this, &P3DDocument::masterTimeClock);
    _camTimer->start();
    _broadcastFrame = 0;
    mCameraWatcher = std::make_unique<CameraDeviceWatcher>();
    connect(mCameraWatcher.get(), &CameraDeviceWatcher::camerasChanged, this,
            &P3DDocument::stereoCameraDevicesChanged);
    // The grabbers hold a few frames, and each tick decodes the pair closest in time.
    mWindow->leftEyeView()->grabber()->SetHoldFrames(kHeldFrames);
    mWindow->rightEyeView()->grabber()->SetHoldFrames(kHeldFrames);
    mWindow->leftEyeView()->cameraOpen(mFrameSize, mFrameSize);
    mWindow->rightEyeView()->cameraOpen(mFrameSize, mFrameSize);
    stereoCameraMenuRefresh();
}

void P3DDocument::stereoCameraClose()
{
    mWindow->leftEyeView()->cameraClose();
    mWindow->rightEyeView()->cameraClose();
}

void P3DDocument::stereoCameraMenuRefresh()
{
    mWindow->rightEyeView()->cameraMenuRefresh();
    mWindow->leftEyeView()->cameraMenuRefresh();
}

void P3DDocument::stereoGrabCameraMenuChanged(QObject* sender)
{
    QCamGrabCGImageView* left = mWindow->leftEyeView();
    QCamGrabCGImageView* right = mWindow->rightEyeView();
    if (sender == left->cameraMenuController()) {
        left->cameraMenuChanged(sender);
        right->cameraMenuRefresh();
    }
    if (sender == right->cameraMenuController()) {
        right->cameraMenuChanged(sender);
        left->cameraMenuRefresh();
    }
    cameraPairChanged();
}

void P3DDocument::stereoCameraDevicesChanged()
{
    QCamGrabCGImageView* eyes[] = {mWindow->leftEyeView(), mWindow->rightEyeView()};
    for (int eye = 0; eye < 2; ++eye)
        eyes[eye]->cameraMenuController()->cameraChoice().TakeFreeCamera(*eyes[eye]->grabber(),
                                                                         *eyes[1 - eye]->grabber());
    stereoCameraMenuRefresh();
    cameraPairChanged();
}

void P3DDocument::masterTimeClock()
{
    const uint64_t startUs = CoreElapsedTime::MonotonicMicroseconds();
    ++mTicks;
    stereoCameraTimer();
    // Rendered here, not when the window paints: a minimised window is not painted, and the
    // broadcast carries the frames just grabbed.
    const auto frame = [](QCamGrabCGImageView* view) {
        return view->grabber()->VideoChannel() ? view->cameraImageRef() : nullptr;
    };
    CGImageRef left = frame(mWindow->leftEyeView()), right = frame(mWindow->rightEyeView());
    const auto stamp = [](QCamGrabCGImageView* view, CGImageRef image) {
        const QCameraGrabberBase& grabber = *view->grabber();
        return PipelineStats::Eye{image ? grabber.FrameTimeUs() : 0, grabber.FramesTaken()};
    };
    const PipelineStats::Eye leftEye = stamp(mWindow->leftEyeView(), left),
                             rightEye = stamp(mWindow->rightEyeView(), right);
    mStats->tick(CoreElapsedTime::MonotonicMicroseconds(), leftEye, rightEye);
    mWindow->broadcastControl()->setCaptureTimes(leftEye.captureUs, rightEye.captureUs);
    alignEyesTick(EyeFrame(left), EyeFrame(right));
    mMonitor->setEyeFrames(left, right);
    updateComfort();
    mMonitor->render();
    mWindow->stereoView()->update();
    if (const CIImage* image = mMonitor->monitorImage(); image && cameraBroadcastFrame(image))
        mStats->published(CoreElapsedTime::MonotonicMicroseconds());
    recordTick(EyeFrame(left), EyeFrame(right), leftEye.captureUs, rightEye.captureUs);
    const bool figuresDue = CoreElapsedTime::MonotonicMicroseconds() - mStatsShownUs >= 1000000;
    if (figuresDue)
        showPipelineStats();
    // A recording's start or end shows at once, its figures once a second.
    if (figuresDue || mRecordingShown != (mRecorder && mRecorder->Recording()))
        showRecording();
    if (mCalibrationDialog)
        mCalibrationDialog->eyeFrames(
            EyeFrame(left), EyeFrame(right),
            std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
    // The next tick comes shortly after the cameras' next frames, whose wait is the delay.
    const uint64_t wait = mTickScheduler->next(startUs, CoreElapsedTime::MonotonicMicroseconds(),
                                               std::max(leftEye.captureUs, rightEye.captureUs));
    if (_camTimer && _camTimer->isActive())
        _camTimer->start(std::chrono::milliseconds((wait + 500) / 1000));
}

void P3DDocument::calibrateEyes()
{
    if (!mCalibrationDialog) {
        mCalibrationDialog = std::make_unique<P3DCalibrationDialog>(mWindow.get());
        connect(mCalibrationDialog.get(), &P3DCalibrationDialog::calibrationKept, this,
                &P3DDocument::useCalibration);
        // Each opening starts afresh.
        connect(mCalibrationDialog.get(), &QDialog::finished, this,
                [this] { mCalibrationDialog.release()->deleteLater(); });
    }
    mCalibrationDialog->open();
}

void P3DDocument::stereoCameraTimer()
{
    mWindow->leftEyeView()->cameraTimer(_camTimer);
    mWindow->rightEyeView()->cameraTimer(_camTimer);
    pairEyeFrames();
}

void P3DDocument::pairEyeFrames()
{
    QCameraGrabberBase* grabbers[2] = {mWindow->leftEyeView()->grabber(),
                                       mWindow->rightEyeView()->grabber()};
    // Each eye's candidates: the camera's frame it shows, then the newer ones its grabber holds.
    uint64_t times[2][kSGMaxHeldFrames + 1];
    size_t counts[2];
    int shown[2];
    for (int eye = 0; eye < 2; ++eye) {
        const QCameraGrabberBase& grabber = *grabbers[eye];
        shown[eye] = grabber.VideoChannel() && grabber.FrameTimeUs() != 0 ? 1 : 0;
        times[eye][0] = grabber.FrameTimeUs();
        counts[eye] = size_t(shown[eye]) +
                      size_t(grabber.HeldFrameTimes(times[eye] + shown[eye], kSGMaxHeldFrames));
    }
    const FramePair pair = ClosestFramePair({times[0], counts[0]}, {times[1], counts[1]});
    const int chosen[2] = {pair.left, pair.right};
    for (int eye = 0; eye < 2; ++eye)
        if (chosen[eye] >= shown[eye])
            grabbers[eye]->DecodeHeldFrame(chosen[eye] - shown[eye]);
}

bool P3DDocument::cameraBroadcastFrame(const CIImage* image)
{
    P3DBroadcastControl* broadcast = mWindow->broadcastControl();
    if (_broadcastFrame != 0 || !broadcast->isBroadcastEnabled() || !broadcast->isBroadcasting())
        return false;
    ++_broadcastFrame;
    // The control hands out its context only with the buffer's lock taken: a frame it cannot
    // lock is not drawn.
    CIContext* context = broadcast->beginSwitchContexts();
    if (context)
        context->drawImage(image, CGPointMake(0, 0), image->extent());
    broadcast->endSwitchContexts();
    --_broadcastFrame;
    return context != nullptr;
}

PipelineFigures P3DDocument::showPipelineStats()
{
    mStatsShownUs = CoreElapsedTime::MonotonicMicroseconds();
    const PipelineFigures figures = mStats->figures(mStatsShownUs);
    mWindow->pipelineStatus()->setText(QString::fromStdString(figures.text()));
    if (mStatsPath.isEmpty() || mStatsFailed)
        return figures;
    // Whole or not at all: a script may read it at any moment.
    QSaveFile file(mStatsPath);
    const std::string json = figures.json();
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(json.data(), qint64(json.size())) != qint64(json.size()) || !file.commit()) {
        fprintf(stderr, "parallax3d: cannot write %s: %s\n", mStatsPath.toLocal8Bit().constData(),
                file.errorString().toLocal8Bit().constData());
        mStatsFailed = true;
    }
    return figures;
}

bool P3DDocument::startRecording(const RecordDestination& destination, RecordLayout layout,
                                 QString& out_reason)
{
    // The size of the pictures shown now, which cameras that lack the asked size may not
    // match; before any frame, the size asked for.
    const ArgbView eye = EyeFrame(mWindow->leftEyeView()->cameraImageRef());
    RecordSettings settings;
    settings.layout = layout;
    settings.width = mFrameSize.width();
    settings.height = mFrameSize.height();
    if (layout == RecordLayout::Monitor && mMonitor->pixels()) {
        settings.width = int(mMonitor->width());
        settings.height = int(mMonitor->height());
    } else if (IsPicture(eye)) {
        settings.width = eye.width;
        settings.height = eye.height;
    }
    auto recorder = std::make_unique<Recorder>();
    std::string reason;
    if (!recorder->Start(destination.location, settings, reason)) {
        out_reason = QString::fromStdString(reason);
        return false;
    }
    mRecorder = std::move(recorder);
    mRecordedCaptureUs = 0;
    return true;
}

void P3DDocument::recordTick(const ArgbView& left, const ArgbView& right, uint64_t leftUs,
                             uint64_t rightUs)
{
    if (!mRecorder || !mRecorder->Recording())
        return;
    // A pair's moment is its older eye's (an eye without a camera aside); a tick that brought
    // nothing new records nothing, so the file keeps the cameras' time.
    const uint64_t captureUs = !leftUs || !rightUs ? leftUs | rightUs : std::min(leftUs, rightUs);
    if (captureUs == 0 || captureUs <= mRecordedCaptureUs)
        return;
    mRecordedCaptureUs = captureUs;
    if (mRecorder->Layout() == RecordLayout::Monitor) {
        if (const uint8_t* pixels = mMonitor->pixels())
            mRecorder->Push(
                {pixels, mMonitor->width() * 4, int(mMonitor->width()), int(mMonitor->height())},
                captureUs * 1000);
    } else if (left.pixels && right.pixels) {
        mRecorder->Push(left, right, captureUs * 1000);
    }
}

QString P3DDocument::stopRecording()
{
    if (!mRecorder)
        return {};
    std::string reason;
    if (!mRecorder->Stop(reason) || !mRecorder->Message().empty()) {
        if (reason.empty())
            reason = mRecorder->Message();
        fprintf(stderr, "parallax3d: the recording ended: %s\n", reason.c_str());
    }
    const RecordFigures figures = mRecorder->Figures();
    fprintf(stderr, "parallax3d: recorded %llu frames (%.1f s, %llu bytes), %llu dropped\n",
            (unsigned long long)figures.framesWritten, figures.seconds,
            (unsigned long long)figures.bytes, (unsigned long long)figures.framesDropped);
    mRecorder.reset();
    return QString::fromStdString(reason);
}

RecordLayout P3DDocument::recordLayout() const
{
    RecordLayout layout = RecordLayout::SideBySide;
    RecordLayoutNamed(NSUserDefaultLoadKind<NSString>(kRecordLayout, "").toStdString(), layout);
    return layout;
}

void P3DDocument::setRecordLayout(RecordLayout layout)
{
    const QString name = RecordLayoutName(layout);
    NSUserDefaultSaveObject(&name, kRecordLayout);
}

void P3DDocument::recordingOptions()
{
    auto* dialog = new P3DRecordDialog(mWindow.get());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setRecordLayout(recordLayout());
    connect(dialog, &QDialog::accepted, this,
            [this, dialog] { setRecordLayout(dialog->recordLayout()); });
    dialog->open();
}

void P3DDocument::toggleRecording(bool stream)
{
    if (mRecorder) {
        endRecording();
    } else if (stream) {
        auto* dialog = new QInputDialog(mWindow.get());
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowTitle(tr("Stream"));
        dialog->setLabelText(tr("The streaming server's URL (srt://host:port or "
                                "rtmp://host/app/key):"));
        dialog->setTextValue(NSUserDefaultLoadKind<NSString>(kStreamURL, ""));
        connect(dialog, &QInputDialog::textValueSelected, this, [this](const QString& text) {
            const QString url = text.trimmed();
            NSUserDefaultSaveObject(&url, kStreamURL);
            recordAsked(url, true);
        });
        dialog->open();
    } else {
        QString folder = NSUserDefaultLoadKind<NSString>(kRecordFolder, "");
        if (folder.isEmpty())
            folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
        auto* dialog = new QFileDialog(mWindow.get(), tr("Record"), folder);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setNameFilters({tr("Matroska video (*.mkv)"), tr("MP4 video (*.mp4)")});
        dialog->setDefaultSuffix("mkv");
        connect(dialog, &QFileDialog::filterSelected, dialog, [dialog](const QString& filter) {
            dialog->setDefaultSuffix(filter.contains("*.mp4") ? "mp4" : "mkv");
        });
        dialog->selectFile(
            QDateTime::currentDateTime().toString("'Parallax3D' yyyy-MM-dd hh.mm.ss'.mkv'"));
        connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
            const QString chosen = QFileInfo(path).absolutePath();
            NSUserDefaultSaveObject(&chosen, kRecordFolder);
            recordAsked(path, false);
        });
        dialog->open();
    }
    // The button, checked by its click, stays as the recording is while a dialog asks.
    showRecording();
}

bool P3DDocument::recordTo(const QString& location, bool stream, QString& out_reason)
{
    if (mRecorder) {
        out_reason = tr("One recording or stream at a time");
        return false;
    }
    const RecordLayout layout = recordLayout();
    RecordDestination destination;
    std::string reason;
    if (!ParseRecordDestination(location.toStdString(), layout, destination, reason)) {
        out_reason = QString::fromStdString(reason);
        return false;
    }
    if (destination.isStream != stream) {
        out_reason = stream ? tr("A stream goes to an srt:// or rtmp:// URL")
                            : tr("A recording goes into a file, not to a URL");
        return false;
    }
    const bool started = startRecording(destination, layout, out_reason);
    showRecording();
    return started;
}

void P3DDocument::recordAsked(const QString& location, bool stream)
{
    QString reason;
    if (!recordTo(location, stream, reason))
        tellRecording(reason);
}

void P3DDocument::endRecording()
{
    if (const QString reason = stopRecording(); !reason.isEmpty())
        tellRecording(reason);
}

void P3DDocument::tellRecording(const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Recording"), text, QMessageBox::Ok,
                                mWindow.get());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void P3DDocument::showRecording()
{
    if (mRecorder && !mRecorder->Recording())
        endRecording();
    const bool running = mRecorder != nullptr;
    const bool stream = running && mRecorder->Destination().isStream;
    mRecordingShown = running;
    mWindow->showRecording(running, stream);
    if (running)
        mWindow->recordStatus()->setText(QString::fromStdString(
            RecordStatusText(mRecorder->Figures(), stream, mRecorder->Connecting())));
}

void P3DDocument::windowWillClose()
{
    if (!mOpen)
        return;
    mOpen = false;
    stopRecording();
    if (!mSnapshotPath.isEmpty()) {
        QString reason;
        if (!SavePicture(MonitorPicture(*mMonitor), mSnapshotPath, reason)) {
            fprintf(stderr, "parallax3d: cannot save %s: %s\n",
                    mSnapshotPath.toLocal8Bit().constData(), reason.toLocal8Bit().constData());
            mSnapshotFailed = true;
        }
    }
    --sCountInstances;
    mCameraWatcher.reset();
    mCalibrationDialog.reset();
    saveEyeCameras(); // while the cameras still run
    stereoCameraClose();
    delete _camTimer;
    _camTimer = nullptr;
    const QString encoding = stereoEncoding();
    NSUserDefaultSaveObject(&encoding, kStereoEncoding);
    const QString size = SizeName(mFrameSize);
    NSUserDefaultSaveObject(&size, kBroadcastSize);
    const CamBroadcastWriter& writer = mWindow->broadcastControl()->writer();
    if (writer.framesPublished() || writer.framesDropped())
        fprintf(stderr, "parallax3d: %lu ticks, %lu frames broadcast, %lu dropped\n", mTicks,
                writer.framesPublished(), writer.framesDropped());
    if (mTicks != 0) // the file ends with the last figures too
        fprintf(stderr, "parallax3d: %s\n", showPipelineStats().text().c_str());
    mWindow->imageControls()->preferencesSaveDefaults(this);
    saveEyeAdjustment();
    NSUserDefaultSave(mRectifyEyes ? 1 : 0, kRectifyEyes);
    NSUserDefaultSave(mComfortBar ? 1 : 0, kComfortBar);
    NSUserDefaultSave(mAutoConvergence ? 1 : 0, kAutoConvergence);
    const NSNumber budget(mComfortBudget);
    NSUserDefaultSaveObject(&budget, kComfortBudget);
    NSUserDefaultSave(mAlignment->keeping() ? 1 : 0, kKeepEyesAligned);
    mWindow->broadcastControl()->applicationWillTerminate(this);
}

void P3DDocument::loadEyeAdjustment()
{
    StereoMonitor* monitor = mMonitor.get();
    for (int eye = 0; eye < 2; ++eye) {
        // Stored numbers of any size are held to the offsets' range before they become ints.
        const auto pixels = [&](int axis) {
            const double value =
                NSUserDefaultLoadKind<NSNumber>(kEyeOffsetKeys[eye][axis], NSNumber(0))
                    .doubleValue();
            return int(std::clamp(std::isfinite(value) ? value : 0.0, -double(EyeOffset::kLimit),
                                  double(EyeOffset::kLimit)));
        };
        monitor->setEyeOffset(StereoMonitor::Eye(eye), {pixels(0), pixels(1)});
    }
    monitor->setColorMatching(
        NSUserDefaultLoadKind<NSNumber>(kEyeColorMatching, NSNumber(0)).doubleValue() >= 1.0);
}

void P3DDocument::saveEyeAdjustment()
{
    const StereoMonitor* monitor = mMonitor.get();
    for (int eye = 0; eye < 2; ++eye) {
        const EyeOffset offset = monitor->eyeOffset(StereoMonitor::Eye(eye));
        NSUserDefaultSave(offset.x, kEyeOffsetKeys[eye][0]);
        NSUserDefaultSave(offset.y, kEyeOffsetKeys[eye][1]);
    }
    NSUserDefaultSave(monitor->colorMatching() ? 1 : 0, kEyeColorMatching);
}

bool P3DDocument::setBroadcastSize(QSize size)
{
    QCamOutputFormat format;
    if (!QCamOutputBase::FormatNamed(SizeName(size).toStdString(), format))
        return false;
    for (QAction* item : mWindow->sizeGroup()->actions())
        item->setChecked(item->data().toString() == SizeName(size));
    if (size == mFrameSize)
        return true;
    mFrameSize = size;
    mMonitor->chain().setFrameSize(size.width(), size.height());
    mWindow->setFrameSize(size);
    mWindow->broadcastControl()->setFrameSize(size.width(), size.height());
    if (mOpen) {
        // The eyes' frames borrow the grabbers' pixels, which the new size replaces.
        mMonitor->setEyeFrames(nullptr, nullptr);
        mWindow->leftEyeView()->cameraChangeSize(size);
        mWindow->rightEyeView()->cameraChangeSize(size);
    }
    applyRectification();
    return true;
}

void P3DDocument::setMonitorImageType(int type)
{
    mWindow->stereoView()->setMonitorImageType(type);
    for (QAction* item : mWindow->monitorTypeGroup()->actions())
        item->setChecked(item->data().toInt() == type);
    applyComfort();
}

void P3DDocument::monitorImageTypeChanged(QObject*)
{
    setMonitorImageType(mWindow->monitorImageTypeControl()->selectedSegment() + 1);
}

void P3DDocument::setComfortBar(bool on)
{
    mComfortBar = on;
    applyComfort();
}

void P3DDocument::setAutoConvergence(bool on)
{
    mAutoConvergence = on;
    applyComfort();
}

void P3DDocument::setComfortBudget(double percent)
{
    mComfortBudget = std::isfinite(percent) ? std::clamp(percent, ComfortCheck::kMinBudgetPercent,
                                                         ComfortCheck::kMaxBudgetPercent)
                                            : ComfortCheck::kDefaultBudgetPercent;
    QDoubleSpinBox* box = mWindow->comfortBudgetBox();
    if (box->value() != mComfortBudget)
        box->setValue(mComfortBudget);
}

bool P3DDocument::comfortShown() const
{
    return mComfortBar || mAutoConvergence ||
           mMonitor->monitorImageType() == StereoMonitor::kMonitorImageType_Depth;
}

void P3DDocument::applyComfort()
{
    mMonitor->setDepthAnalysis(mComfortBar || mAutoConvergence);
    const bool shown = comfortShown();
    mWindow->comfortRow()->setVisible(shown);
    mWindow->comfortStatus()->setVisible(shown);
    mWindow->comfortWarning()->setVisible(shown);
    mWindow->comfortBarAction()->setChecked(mComfortBar);
    mWindow->autoConvergenceAction()->setChecked(mAutoConvergence);
    if (!shown)
        mDepth.reset();
}

void P3DDocument::updateComfort()
{
    const ComfortCheck::Reading* reading = &mComfort->reading();
    if (comfortShown()) {
        if (DepthWorker* worker = mMonitor->depthWorker()) {
            std::shared_ptr<const DepthSnapshot> latest = worker->Latest();
            if (latest && (!mDepth || latest->serial != mDepth->serial))
                mDepth = std::move(latest);
        }
        const ComfortCheck::View view = {mMonitor->eyeOffset(StereoMonitor::kLeftEye).x,
                                         mMonitor->eyeOffset(StereoMonitor::kRightEye).x,
                                         mMonitor->convergenceShift(), mDepth ? mDepth->width : 0,
                                         mComfortBudget};
        reading = mDepth ? &mComfort->Check(mDepth->histogram, view) : &mComfort->Clear();
    }
    // The easer moves from the shift the monitor has, whoever set it.
    if (mEaser->shift() != mMonitor->convergenceShift())
        mEaser->Reset(mMonitor->convergenceShift());
    if (!mAutoConvergence) {
        // Off: back to the screen the eyes' offsets set, the last pixel too, which the dead band
        // would keep.
        if (std::abs(mEaser->Step(0)) <= 1 && !mEaser->moving())
            mEaser->Reset(0);
        mMonitor->setConvergenceShift(mEaser->shift());
    } else if (reading->measured)
        mMonitor->setConvergenceShift(mEaser->Step(reading->convergenceTarget));
    if (!comfortShown())
        return;
    const ComfortCheck::Reading& r = *reading;
    mWindow->comfortBar()->setReading(r.measured, r.nearParallax, r.farParallax, r.budgetPixels,
                                      !r.warning.empty());
    // Words change far less often than ticks come: Qt's texts are made only for a change.
    if (r.status != mShownStatus) {
        mShownStatus = r.status;
        mWindow->comfortStatus()->setText(QString::fromStdString(mShownStatus));
    }
    if (r.warning != mShownWarning) {
        mShownWarning = r.warning;
        mWindow->comfortWarning()->setText(QString::fromStdString(mShownWarning));
    }
}

void P3DDocument::fillEncodingMenu()
{
    QMenu* menu = mWindow->encodingMenu();
    QActionGroup* group = mWindow->encodingGroup();
    StereoEncoding::Kind kind = StereoEncoding::Kind::kAnaglyph;
    bool user = false;
    for (const StereoEncoding& encoding : mEncodings->encodings()) {
        // Anaglyphs, frame packings, then the user's own, each group apart.
        const bool isUser = encoding.key.rfind(StereoEncodingList::kUserKeyPrefix, 0) == 0;
        if ((encoding.kind == StereoEncoding::Kind::kAnaglyph) !=
                (kind == StereoEncoding::Kind::kAnaglyph) ||
            isUser != user)
            menu->addSeparator();
        kind = encoding.kind;
        user = isUser;
        QAction* item = menu->addAction(QString::fromStdString(encoding.title));
        item->setData(QString::fromStdString(encoding.key));
        item->setCheckable(true);
        item->setEnabled(encoding.usable());
        if (!encoding.error.empty())
            item->setToolTip(QString::fromStdString(encoding.error));
        group->addAction(item);
    }
    connect(group, &QActionGroup::triggered, this, &P3DDocument::stereoEncodingMenuChanged);
}

void P3DDocument::stereoEncodingMenuChanged(QAction* item)
{
    setStereoEncoding(item->data().toString());
}

void P3DDocument::setStereoEncoding(const QString& key)
{
    const StereoEncoding& encoding = mEncodings->find(key.toStdString());
    mMonitor->setEncoding(encoding);
    const QString chosen = QString::fromStdString(encoding.key);
    for (QAction* item : mWindow->encodingGroup()->actions())
        item->setChecked(item->data().toString() == chosen);
}

QString P3DDocument::stereoEncoding() const
{
    return QString::fromStdString(mMonitor->encoding().key);
}

void P3DDocument::saveEyeCameras()
{
    for (auto [view, key] : {std::pair{mWindow->leftEyeView(), kLeftEyeCamera},
                             std::pair{mWindow->rightEyeView(), kRightEyeCamera}}) {
        const QString name = QString::fromStdString(
            view->cameraMenuController()->cameraChoice().NameToKeep(*view->grabber()));
        if (!name.isEmpty())
            NSUserDefaultSaveObject(&name, key);
    }
}

void P3DDocument::chooseCamera(bool leftEye, const QString& name, bool byPerson)
{
    QCamGrabCGImageView* view = mWindow->eyeView(leftEye);
    NSUICamMenuController* menu = view->cameraMenuController();
    if (byPerson) {
        menu->chooseCamera(name); // as from the menu
        return;
    }
    menu->setCameraDeviceInputName(name);
    stereoGrabCameraMenuChanged(menu);
}

void P3DDocument::restoreCameras(const QString& leftCamera, const QString& rightCamera)
{
    const QString left =
        !leftCamera.isEmpty() ? leftCamera : NSUserDefaultLoadKind<NSString>(kLeftEyeCamera, "");
    const QString right =
        !rightCamera.isEmpty() ? rightCamera : NSUserDefaultLoadKind<NSString>(kRightEyeCamera, "");
    if (!left.isEmpty())
        chooseCamera(true, left, !leftCamera.isEmpty());
    std::vector<CameraMenuModel::Entry> cameras;
    std::string current;
    QCamGrabCGImageView* rightView = mWindow->rightEyeView();
    if (!right.isEmpty())
        chooseCamera(false, right, !rightCamera.isEmpty());
    // Two cameras plugged in: both eyes live from the first launch.
    else if (CameraMenuModel::Build(*rightView->grabber(), cameras, current) &&
             cameras.size() >= 2 && current == cameras[0].title)
        chooseCamera(false, QString::fromStdString(cameras[1].title), false);
    // An eye still without a camera waits for one, rather than taking the other eye's.
    stereoCameraDevicesChanged();
}

void P3DDocument::cameraPairChanged()
{
    const std::string pair[2] = {EyeCameraChoice::CameraHeld(*mWindow->leftEyeView()->grabber()),
                                 EyeCameraChoice::CameraHeld(*mWindow->rightEyeView()->grabber())};
    if (pair[0] == mPair[0] && pair[1] == mPair[1])
        return;
    mPair[0] = pair[0];
    mPair[1] = pair[1];
    mPairCalibration.reset();
    mPairAlignment.reset();
    StereoCalibration calibration;
    EyeAlignment alignment;
    std::string reason;
    if (!mPair[0].empty() && !mPair[1].empty()) {
        if (CalibrationStore::Find(mPair[0], mPair[1], calibration, reason))
            mPairCalibration = std::make_unique<StereoCalibration>(calibration);
        else if (!reason.empty())
            fprintf(stderr, "parallax3d: cannot use the calibration of %s and %s: %s\n",
                    mPair[0].c_str(), mPair[1].c_str(), reason.c_str());
        if (CalibrationStore::Find(mPair[0], mPair[1], calibration, reason,
                                   CalibrationStore::kAlignments) &&
            EyeAlignment::FromCalibration(calibration, alignment, reason))
            mPairAlignment = std::make_unique<EyeAlignment>(alignment);
        else if (!reason.empty())
            fprintf(stderr, "parallax3d: cannot use the eye alignment of %s and %s: %s\n",
                    mPair[0].c_str(), mPair[1].c_str(), reason.c_str());
    }
    applyRectification();
}

void P3DDocument::applyRectification()
{
    // The alignment is made over the calibration: the switch takes both away.
    const bool rectifying = mRectifyEyes && (mPairCalibration || mPairAlignment);
    StereoCalibration used;
    if (rectifying)
        used = mPairAlignment ? mPairAlignment->ComposedWith(mPairCalibration.get())
                              : *mPairCalibration;
    std::string reason;
    const QString notApplied = tr("The calibration is not applied: ");
    QStatusBar* status = mWindow->statusBar();
    if (rectifying && !used.fitsFrame(mFrameSize.width(), mFrameSize.height(), reason)) {
        mMonitor->setCalibration(nullptr);
        status->showMessage(notApplied + QString::fromStdString(reason));
    } else {
        mMonitor->setCalibration(rectifying ? &used : nullptr);
        if (status->currentMessage().startsWith(notApplied))
            status->clearMessage(); // no longer so
    }
    mAlignment->SetState(mPairCalibration.get(), rectifying ? mPairAlignment.get() : nullptr);
    QAction* item = mWindow->rectifyEyesAction();
    item->setEnabled(mPairCalibration || mPairAlignment);
    item->setChecked(rectifying);
    mWindow->undoAlignmentAction()->setEnabled(mPairAlignment != nullptr);
}

void P3DDocument::useCalibration(const StereoCalibration& calibration)
{
    cameraPairChanged();
    std::string reason;
    if (mPair[0].empty() || mPair[1].empty())
        fprintf(stderr, "parallax3d: the calibration is used but not kept: an eye has no camera\n");
    else if (!CalibrationStore::Save(mPair[0], mPair[1], calibration, reason))
        fprintf(stderr, "parallax3d: the calibration is used but not kept: %s\n", reason.c_str());
    // An alignment made over another calibration is no longer one.
    if (!mPairCalibration || !(*mPairCalibration == calibration)) {
        if (mPairAlignment)
            CalibrationStore::Remove(mPair[0], mPair[1], CalibrationStore::kAlignments);
        mPairAlignment.reset();
    }
    mPairCalibration = std::make_unique<StereoCalibration>(calibration);
    mRectifyEyes = true;
    applyRectification();
}

bool P3DDocument::loadCalibrationFile(const QString& path, QString& out_reason)
{
    StereoCalibration calibration;
    std::string reason;
    if (!StereoCalibration::Load(path.toStdString(), calibration, reason) ||
        !StereoRectifier::Usable(calibration, mFrameSize.width(), mFrameSize.height(), reason)) {
        out_reason = QString::fromStdString(reason);
        return false;
    }
    useCalibration(calibration);
    return true;
}

void P3DDocument::loadCalibration()
{
    const QString path =
        QFileDialog::getOpenFileName(mWindow.get(), tr("Load Calibration"), QString(),
                                     tr("Calibrations (*.yml *.yaml *.xml);;All Files (*)"));
    if (path.isEmpty())
        return;
    QString reason;
    if (!loadCalibrationFile(path, reason))
        QMessageBox::warning(mWindow.get(), tr("Load Calibration"),
                             tr("The calibration cannot be used: %1").arg(reason));
}

void P3DDocument::setRectifyEyes(bool on)
{
    mRectifyEyes = on;
    applyRectification();
}

void P3DDocument::alignEyes()
{
    mAlignment->RequestFit();
    mWindow->statusBar()->showMessage(tr("Aligning the eyes…"));
}

void P3DDocument::undoEyeAlignment()
{
    if (!mPair[0].empty() && !mPair[1].empty())
        CalibrationStore::Remove(mPair[0], mPair[1], CalibrationStore::kAlignments);
    mPairAlignment.reset();
    applyRectification();
    mWindow->statusBar()->showMessage(tr("Eye alignment undone"), 5000);
}

void P3DDocument::setKeepEyesAligned(bool on)
{
    mAlignment->SetKeeping(on);
    mWindow->keepAlignedAction()->setChecked(on);
}

void P3DDocument::alignEyesTick(const ArgbView& left, const ArgbView& right)
{
    mAlignment->Feed(
        left, right,
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count());
    AlignmentSession::Step step;
    std::string reason;
    switch (mAlignment->Take(step, reason)) {
    case AlignmentSession::News::kNone:
        return;
    case AlignmentSession::News::kRefused:
        mWindow->statusBar()->showMessage(
            tr("The eyes cannot be aligned: %1").arg(QString::fromStdString(reason)));
        return;
    case AlignmentSession::News::kStep:
        break;
    }
    // Over the calibration, as applyRectification would, but with the maps made on the worker.
    mMonitor->setCalibration(step.calibration, std::move(step.rectifier));
    mPairAlignment = std::make_unique<EyeAlignment>(step.alignment);
    mRectifyEyes = true;
    mWindow->rectifyEyesAction()->setEnabled(true);
    mWindow->rectifyEyesAction()->setChecked(true);
    mWindow->undoAlignmentAction()->setEnabled(true);
    if (!step.last)
        return;
    if (!mPair[0].empty() && !mPair[1].empty() &&
        !CalibrationStore::Save(mPair[0], mPair[1], step.alignment.ToCalibration(), reason,
                                CalibrationStore::kAlignments))
        fprintf(stderr, "parallax3d: the eye alignment is used but not kept: %s\n", reason.c_str());
    mWindow->statusBar()->showMessage(tr("Eyes aligned: rows within %1 px (%2 matches)")
                                          .arg(step.fit.medianErrorPx, 0, 'f', 2)
                                          .arg(step.fit.inliers),
                                      10000);
}
