// The stereo document on the offscreen platform, with the test pattern's two eyes on an
// in-memory V4L2 device and the channel in a private /tmp and /dev/shm.
#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include "AppController.h"
#include "BroadcastWidgetTest.h"
#include "CalibrationSession.h"
#include "ChannelFrames.h"
#include "ChannelNamespace.h"
#include "ComfortCheck.h"
#include "CoreElapsedTime.h"
#include "DepthSnapshot.h"
#include "DepthWorker.h"
#include "EyeAligner.h"
#include "EyeAlignment.h"
#include "FakeV4L2.h"
#include "Folders.h"
#include "MediaProbe.h"
#include "NSUICamMenuController.h"
#include "NSUISegmentedControl.h"
#include "NSUserDefault.h"
#include "P3DBroadcastControl.h"
#include "P3DCalibrationDialog.h"
#include "P3DDocument.h"
#include "P3DDocumentWindow.h"
#include "P3DEyeAlignmentControls.h"
#include "P3DRecordDialog.h"
#include "P3DStereoView.h"
#include "QCamGrabCGImageView.h"
#include "RecordDestination.h"
#include "RenderImage.h"
#include "RigCalibration.h"
#include "StereoCalibration.h"
#include "StereoEncodingList.h"
#include "StereoMonitor.h"
#include "StereoRectifier.h"
#include "TestPatternCamera.h"
#include "V4L2System.h"
#include "WidgetApplication.h"
#include "shared_camera_bundle.h"

namespace {

std::atomic<uint64_t> gCameraUs{1000000};

std::string Current(QCamGrabCGImageView* view)
{
    QSGDeviceList::InputIterator camera;
    if (!view->grabber()->VideoChannel() || !view->grabber()->GetCurrentCamera(camera))
        return "none";
    return std::string(reinterpret_cast<const char*>(camera.inputName + 1), camera.inputName[0]);
}

// Runs the event loop for a while, as a person waits.
void Wait(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

class DocumentTest : public p3dtest::BroadcastWidgetTest
{
protected:
    void SetUp() override
    {
        p3dtest::BroadcastWidgetTest::SetUp();
        if (IsSkipped())
            return;
        pattern.Configure(fake.AddDevice());
        open();
    }
    void open()
    {
        controller.newDocument(nullptr);
        document = controller.document();
        window = document->window();
        document->timer()->stop(); // ticks by hand, unless a test runs the timer
    }
    // Quit and launched again.
    void relaunch()
    {
        window->close();
        open();
    }
    void TearDown() override
    {
        if (window)
            window->close();
    }
    void tick()
    {
        gCameraUs += 33334;
        document->masterTimeClock();
    }
    // A tick at the camera's pace, the workers' news taken between.
    void pacedTick()
    {
        tick();
        Wait(33);
    }
    UInt32 selector() const
    {
        const std::string bytes = p3dtest::ReadFile(p3dtest::ChannelPath());
        UInt32 word = 0;
        if (bytes.size() >= kSharedMemoryFileSize)
            memcpy(&word, bytes.data() + kSharedMemorySelectorOffset, 4);
        return word;
    }

    TestPatternCamera pattern{[] { return gCameraUs.load(); }};
    FakeV4L2 fake;
    ScopedV4L2System scope{fake};
    AppController controller;
    P3DDocument* document = nullptr;
    P3DDocumentWindow* window = nullptr;
};

TEST_F(DocumentTest, LaunchShowsBothEyesInOneWindowAtATime)
{
    EXPECT_EQ(P3DDocument::countInstances(), 1);
    EXPECT_EQ(window->windowTitle(), "Parallax3D");
    EXPECT_EQ(window->aboutAction()->text(), "About Parallax3D 1.201");
    EXPECT_EQ(AppController::aboutItemTitle(), "About Parallax3D 1.201\n");
    const std::string eye = std::string(TestPatternCamera::kCardName) + ": ";
    EXPECT_EQ(Current(window->leftEyeView()), eye + TestPatternCamera::kLeftInput);
    EXPECT_EQ(Current(window->rightEyeView()), eye + TestPatternCamera::kRightInput)
        << "the second camera goes to the right eye";
    window->adjustSize();
    EXPECT_EQ(window->stereoView()->size(), QSize(640, 480)) << "the monitor 1:1 at first";
    controller.newDocument(nullptr); // beeps
    EXPECT_EQ(controller.document(), document);
    EXPECT_EQ(P3DDocument::countInstances(), 1);
}

// The window is never painted here, as when it is minimised: the tick renders and broadcasts.
TEST_F(DocumentTest, ATickGrabsBothEyesRendersAndBroadcastsThatPicture)
{
    tick();
    EXPECT_NE(window->leftEyeView()->cameraImageRef(), nullptr);
    EXPECT_NE(window->rightEyeView()->cameraImageRef(), nullptr);
    ASSERT_NE(document->monitor()->monitorImage(), nullptr);
    EXPECT_EQ(selector(), kSharedMemoryNoCurrentBuffer) << "not broadcasting";

    window->broadcastControl()->setBroadcastEnabled(true);
    for (UInt32 expected : {kSharedMemoryCurrentBuffer0, kSharedMemoryCurrentBuffer1}) {
        tick();
        ASSERT_EQ(selector(), expected);
        const std::string channel = p3dtest::ReadFile(p3dtest::ChannelPath());
        const size_t at = expected == kSharedMemoryCurrentBuffer0 ? kSharedMemoryFrameBuffer0Offset
                                                                  : kSharedMemoryFrameBuffer1Offset;
        const std::vector<UInt8> picture =
            p3dtest::RenderImage(document->monitor()->monitorImage(), 640, 480);
        EXPECT_TRUE(
            channel.compare(at, picture.size(), std::string(picture.begin(), picture.end())) == 0)
            << "the picture of this tick";
    }

    window->broadcastControl()->setBroadcastEnabled(false);
    const std::string before = p3dtest::ReadFile(p3dtest::ChannelPath());
    tick();
    EXPECT_TRUE(p3dtest::ReadFile(p3dtest::ChannelPath()) == before) << "off: nothing written";

    // One eye delivering: the monitor shows that eye, not a mix with nothing.
    window->rightEyeView()->cameraMenuController()->setCameraDeviceInputName("No Camera");
    document->stereoGrabCameraMenuChanged(window->rightEyeView()->cameraMenuController());
    tick();
    CFPtr<CIImage> left = window->stereoView()->leftEyeImage();
    ASSERT_TRUE(left);
    EXPECT_EQ(window->stereoView()->rightEyeImage(), nullptr);
    ASSERT_NE(window->stereoView()->monitorImage(), nullptr);
    EXPECT_TRUE(p3dtest::RenderImage(window->stereoView()->monitorImage(), 640, 480) ==
                p3dtest::RenderImage(left.get(), 640, 480))
        << "the left eye's picture itself";

    document->setMonitorImageType(P3DStereoView::kMonitorImageType_None);
    tick();
    EXPECT_EQ(window->stereoView()->monitorImage(), nullptr);
}

TEST_F(DocumentTest, WithNoComponentToLoadNothingIsWrittenAndTicksGoOn)
{
    // No link can be made, and no component is installed anywhere else.
    const std::string parent = p3dtest::BlockUserComponentsFolder();
    ASSERT_FALSE(parent.empty());
    window->broadcastControl()->setBroadcastEnabled(true);
    EXPECT_FALSE(window->broadcastControl()->isBroadcasting());
    for (int i = 0; i < 3; ++i)
        tick();
    EXPECT_FALSE(p3dtest::PathExists(p3dtest::ChannelPath()));
    EXPECT_NE(window->stereoView()->monitorImage(), nullptr) << "the monitor goes on";
    p3dtest::RemoveTree(parent);
}

TEST_F(DocumentTest, AMenuChangeInOneEyeRefreshesTheOther)
{
    for (QCamGrabCGImageView* eye : {window->leftEyeView(), window->rightEyeView()})
        eye->cameraMenu()->addAction("stray");
    QObject stranger;
    document->stereoGrabCameraMenuChanged(&stranger);
    EXPECT_EQ(window->rightEyeView()->cameraMenu()->actions().last()->text(), "stray");

    window->leftEyeView()->cameraMenuController()->setCameraDeviceInputName("No Camera");
    document->stereoGrabCameraMenuChanged(window->leftEyeView()->cameraMenuController());
    EXPECT_EQ(Current(window->leftEyeView()), "none");
    EXPECT_NE(window->rightEyeView()->cameraMenu()->actions().last()->text(), "stray");
}

TEST_F(DocumentTest, TheTimerTicksInMenusModalDialogsAndSliderDrags)
{
    document->timer()->start();
    const auto during = [this](const std::function<void()>& hold) {
        const unsigned long before = document->ticks();
        hold();
        return document->ticks() - before;
    };
    EXPECT_GE(during([] {
                  QMenu menu;
                  menu.addAction("item");
                  QTimer::singleShot(400, &menu, &QMenu::close);
                  menu.exec(QPoint(10, 10));
              }),
              2u)
        << "menu";
    EXPECT_GE(during([] {
                  QDialog dialog;
                  QTimer::singleShot(400, &dialog, &QDialog::reject);
                  dialog.exec();
              }),
              2u)
        << "modal dialog";
    EXPECT_GE(during([] {
                  QSlider slider(Qt::Horizontal);
                  slider.resize(200, 30);
                  slider.show();
                  const QPointF handle(5, 15);
                  QMouseEvent press(QEvent::MouseButtonPress, handle, slider.mapToGlobal(handle),
                                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
                  QApplication::sendEvent(&slider, &press);
                  for (int x = 5; x < 150; x += 10) {
                      const QPointF at(x, 15);
                      QMouseEvent move(QEvent::MouseMove, at, slider.mapToGlobal(at), Qt::NoButton,
                                       Qt::LeftButton, Qt::NoModifier);
                      QApplication::sendEvent(&slider, &move);
                      Wait(30);
                  }
                  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(150, 15),
                                      slider.mapToGlobal(QPointF(150, 15)), Qt::LeftButton,
                                      Qt::NoButton, Qt::NoModifier);
                  QApplication::sendEvent(&slider, &release);
              }),
              2u)
        << "slider drag";
}

TEST_F(DocumentTest, ClosingShutsDownSavesAndANewDocumentStartsAgain)
{
    window->broadcastControl()->setBroadcastEnabled(true);
    const std::string link = p3dtest::UserComponentLink();
    ASSERT_TRUE(p3dtest::PathExists(link));
    window->close();
    window = nullptr;
    EXPECT_EQ(P3DDocument::countInstances(), 0);
    EXPECT_EQ(document->timer(), nullptr);
    EXPECT_FALSE(SharedCameraBundle::sComponent.mDLL.IsLoaded());
    EXPECT_FALSE(p3dtest::PathExists(link));
    EXPECT_EQ(NSUserDefaultLoadKind<NSNumber>("_rebroadcastButton", NSNumber(-1)), NSNumber(1));
    EXPECT_EQ(NSUserDefaultLoadKind<NSString>("rightEyeCamera", ""),
              QString(TestPatternCamera::kCardName) + ": " + TestPatternCamera::kRightInput);

    controller.newDocument(nullptr);
    ASSERT_NE(controller.document(), nullptr);
    window = controller.document()->window();
    EXPECT_EQ(P3DDocument::countInstances(), 1);
    EXPECT_TRUE(window->broadcastControl()->isBroadcasting()) << "the switch came back on";
}

QAction* EncodingItem(P3DDocumentWindow* window, const QString& key)
{
    for (QAction* item : window->encodingGroup()->actions())
        if (item->data().toString() == key)
            return item;
    return nullptr;
}

// The Encoding menu lists the built-ins, then the user's texts (a broken one disabled, saying
// why); the choice drives the monitor, is kept at close and comes back at the next launch.
TEST_F(DocumentTest, TheEncodingMenuDrivesTheMonitorAndComesBack)
{
    EXPECT_EQ(document->stereoEncoding(), "arcd");
    ASSERT_NE(EncodingItem(window, "arcd"), nullptr);
    EXPECT_TRUE(EncodingItem(window, "arcd")->isChecked());
    EXPECT_EQ(window->encodingGroup()->actions().size(), 9);

    // Red-cyan colour: the left eye's red, the right eye's green and blue, exactly.
    EncodingItem(window, "arcc")->trigger();
    EXPECT_EQ(document->stereoEncoding(), "arcc");
    EXPECT_TRUE(EncodingItem(window, "arcc")->isChecked());
    EXPECT_FALSE(EncodingItem(window, "arcd")->isChecked());
    tick();
    ASSERT_NE(window->stereoView()->monitorImage(), nullptr);
    const std::vector<UInt8> monitor =
        p3dtest::RenderImage(window->stereoView()->monitorImage(), 640, 480);
    const std::vector<UInt8> left =
        p3dtest::RenderImage(window->stereoView()->leftEyeImage().get(), 640, 480);
    const std::vector<UInt8> right =
        p3dtest::RenderImage(window->stereoView()->rightEyeImage().get(), 640, 480);
    size_t wrong = 0;
    for (size_t n = 0; n < monitor.size(); n += 4)
        wrong += monitor[n + 1] != left[n + 1] || monitor[n + 2] != right[n + 2] ||
                 monitor[n + 3] != right[n + 3];
    EXPECT_EQ(wrong, 0u);

    const std::string folder = StereoEncodingList::UserKernelFolder();
    ASSERT_EQ(system(("mkdir -p '" + folder + "'").c_str()), 0);
    p3dtest::WriteFile(folder + "/broken.cikernel", "kernel vec4 x(\n");
    p3dtest::WriteFile(
        folder + "/mine.cikernel",
        "kernel vec4 mine(sampler r, sampler l, float s) {"
        " l = matrix([1,0,0],[0,0,0],[0,0,0]); r = matrix([0,0,0],[0,1,0],[0,0,1]); }");
    window->close();
    window = nullptr;
    EXPECT_EQ(NSUserDefaultLoadKind<NSString>("stereoEncoding", ""), "arcc");

    controller.newDocument(nullptr);
    document = controller.document();
    window = document->window();
    EXPECT_EQ(document->stereoEncoding(), "arcc") << "restored at launch";
    QAction* broken = EncodingItem(window, "user/broken.cikernel");
    QAction* mine = EncodingItem(window, "user/mine.cikernel");
    ASSERT_NE(broken, nullptr);
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(broken->text(), "broken.cikernel");
    EXPECT_FALSE(broken->isEnabled());
    EXPECT_TRUE(broken->toolTip().startsWith("line 2, column 1: "))
        << broken->toolTip().toStdString();
    EXPECT_TRUE(window->encodingMenu()->toolTipsVisible());
    EXPECT_TRUE(mine->isEnabled());
    mine->trigger();
    EXPECT_EQ(document->stereoEncoding(), "user/mine.cikernel");

    // Side by side through the same monitor: an eye's size, and not the anaglyph.
    EncodingItem(window, "sbs2l")->trigger();
    document->timer()->stop();
    tick();
    ASSERT_NE(window->stereoView()->monitorImage(), nullptr);
    EXPECT_TRUE(CGRectEqualToRect(window->stereoView()->monitorImage()->extent(),
                                  CGRectMake(0, 0, 640, 480)));
    EXPECT_EQ(window->stereoView()->encoding().kind, StereoEncoding::Kind::kSideBySide);

    // A kept choice that no longer compiles gives the default.
    window->close();
    const QString gone = "user/broken.cikernel";
    NSUserDefaultSaveObject(&gone, "stereoEncoding");
    controller.newDocument(nullptr);
    document = controller.document();
    window = document->window();
    EXPECT_EQ(document->stereoEncoding(), "arcd");
    p3dtest::RemoveTree(folder);
}

// The monitor type's chooser and View > Monitor show one choice, whichever made it; the depth
// monitor brings the comfort bar and its status line.
TEST_F(DocumentTest, TheMonitorMenuAndTheChooserStayInStep)
{
    NSUISegmentedControl* chooser = window->monitorImageTypeControl();
    ASSERT_EQ(chooser->segmentCount(), 5);
    EXPECT_EQ(chooser->labelForSegment(4), "Depth");
    const QList<QAction*> items = window->monitorTypeGroup()->actions();
    ASSERT_EQ(items.size(), 5);
    window->show();
    for (int type : {5, 1, 4, 3, 2}) {
        // The chooser's segment, as its click does; then the menu item of the type after it.
        chooser->setSelectedSegment(type - 1);
        chooser->sendAction();
        EXPECT_EQ(document->monitor()->monitorImageType(), type);
        EXPECT_TRUE(items[type - 1]->isChecked());
        EXPECT_EQ(window->comfortRow()->isVisible(),
                  type == StereoMonitor::kMonitorImageType_Depth);
        const int next = type % 5 + 1;
        items[next - 1]->trigger();
        EXPECT_EQ(document->monitor()->monitorImageType(), next);
        EXPECT_EQ(chooser->selectedSegment(), next - 1);
        EXPECT_EQ(window->comfortStatus()->isVisible(),
                  next == StereoMonitor::kMonitorImageType_Depth);
    }
}

// View > Size at 1280 x 720: the cameras reopened at it and every stage at it, the depth matched
// at half of it; the window's first monitor at its aspect; the menu in step; kept at close.
TEST_F(DocumentTest, At1280x720EveryStageWorksAtThatSizeAndTheSizeIsKept)
{
    const QList<QAction*> items = window->sizeGroup()->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text(), "640 x 480");
    EXPECT_TRUE(items[0]->isChecked());
    window->show();
    tick(); // frames of the old size in use while the size changes
    items[1]->trigger();
    EXPECT_EQ(document->broadcastSize(), QSize(1280, 720));
    EXPECT_FALSE(document->setBroadcastSize(QSize(1000, 1000)));
    EXPECT_EQ(document->broadcastSize(), QSize(1280, 720));

    document->setMonitorImageType(StereoMonitor::kMonitorImageType_Depth);
    DepthWorker* worker = nullptr;
    for (int i = 0; i < 300 && !(worker && worker->Latest()); ++i) {
        pacedTick();
        worker = document->monitor()->depthWorker();
    }
    for (QCamGrabCGImageView* eye : {window->leftEyeView(), window->rightEyeView()}) {
        ASSERT_NE(eye->cameraImageRef(), nullptr);
        EXPECT_EQ(CGImageGetWidth(eye->cameraImageRef()), 1280u);
        EXPECT_EQ(CGImageGetHeight(eye->cameraImageRef()), 720u);
    }
    ASSERT_TRUE(worker && worker->Latest());
    const std::shared_ptr<const DepthSnapshot> depth = worker->Latest();
    EXPECT_EQ(depth->width, 1280);
    EXPECT_EQ(depth->height, 720);
    size_t pairs = 0; // matched at 640 x 360: each of its rows stands for two of the eyes'
    for (int y = 0; y + 1 < depth->height; y += 2)
        pairs += std::equal(depth->disparity.begin() + y * 1280,
                            depth->disparity.begin() + (y + 1) * 1280,
                            depth->disparity.begin() + (y + 1) * 1280);
    EXPECT_EQ(pairs, 360u);
    document->setMonitorImageType(StereoMonitor::kMonitorImageType_Stereo);
    tick();
    EXPECT_EQ(document->monitor()->width(), 1280u);
    EXPECT_EQ(document->monitor()->height(), 720u);

    // A 4:3 calibration is not applied to 16:9 pictures, and the status bar says why; back at
    // 640 x 480 it is.
    StereoCalibration rig;
    std::string reason;
    ASSERT_TRUE(StereoCalibration::Load(RIG_CALIBRATION, rig, reason)) << reason;
    document->useCalibration(rig);
    EXPECT_EQ(document->monitor()->calibration(), nullptr);
    EXPECT_EQ(window->statusBar()->currentMessage(),
              "The calibration is not applied: it was made on pictures of 640 x 480 (4:3), the "
              "cameras now give 1280 x 720 (16:9)");
    items[0]->trigger();
    EXPECT_NE(document->monitor()->calibration(), nullptr);
    EXPECT_EQ(window->statusBar()->currentMessage(), "");
    items[1]->trigger();

    relaunch();
    EXPECT_EQ(NSUserDefaultLoadKind<NSString>("broadcastSize", ""), "1280x720");
    EXPECT_EQ(document->broadcastSize(), QSize(1280, 720));
    EXPECT_TRUE(window->sizeGroup()->actions()[1]->isChecked());
    tick();
    EXPECT_EQ(document->monitor()->width(), 1280u) << "opened at it, not changed to it";
    window->adjustSize();
    EXPECT_EQ(window->stereoView()->size(), QSize(640, 360)) << "the monitor at half at first";
}

// Automatic convergence from the live depth: the eyes shift apart a pixel a tick at most until
// the nearest of the test scene (the pillar, 16 px in front) sits at the screen; the comfort bar
// and the status line say so. The switches and the budget are kept at close and come back.
TEST_F(DocumentTest, AutomaticConvergencePutsTheNearestAtTheScreenAndIsKept)
{
    window->show();
    window->comfortBudgetBox()->setValue(4);
    window->autoConvergenceAction()->trigger();
    EXPECT_TRUE(window->comfortRow()->isVisible());
    const ComfortCheck::Reading& reading = document->comfort().reading();
    int shift = document->monitor()->convergenceShift(), largestStep = 0;
    for (int i = 0; i < 300 && !(reading.measured && std::fabs(reading.nearParallax) <= 1); ++i) {
        pacedTick(); // the worker's maps come in their own time
        largestStep =
            std::max(largestStep, std::abs(document->monitor()->convergenceShift() - shift));
        shift = document->monitor()->convergenceShift();
    }
    ASSERT_TRUE(reading.measured) << reading.status;
    EXPECT_NEAR(reading.nearParallax, 0, 1);
    EXPECT_NEAR(shift, 16, 2);
    EXPECT_LE(largestStep, 1);
    EXPECT_DOUBLE_EQ(reading.budgetPixels, 640 * 0.04);
    EXPECT_TRUE(window->comfortStatus()->text().startsWith("Parallax")) << reading.status;

    relaunch();
    EXPECT_EQ(NSUserDefaultLoadKind<NSNumber>("autoConvergence", NSNumber(-1)), NSNumber(1));
    EXPECT_EQ(NSUserDefaultLoadKind<NSNumber>("comfortBudget", NSNumber(-1)), NSNumber(4));
    EXPECT_TRUE(window->autoConvergenceAction()->isChecked());
    EXPECT_EQ(window->comfortBudgetBox()->value(), 4);

    // Switched off: back to the screen, a pixel a tick at most.
    document->monitor()->setConvergenceShift(6);
    window->autoConvergenceAction()->trigger();
    for (int i = 1; i <= 33; ++i) {
        tick();
        EXPECT_GE(document->monitor()->convergenceShift(), 6 - i);
    }
    EXPECT_EQ(document->monitor()->convergenceShift(), 0);
}

// View > Calibrate Eyes… opens the guided calibration and the ticks feed it; its Keep gives the
// pair the calibration, and the next opening starts afresh.
TEST_F(DocumentTest, CalibrateEyesIsFedByTheTicksAndKeepRectifiesTheEyes)
{
    window->calibrateEyesAction()->trigger();
    P3DCalibrationDialog* dialog = document->calibrationDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    CalibrationSnapshot state;
    while (state.width == 0) {
        tick();
        QApplication::processEvents();
        dialog->session().Snapshot(state);
    }
    EXPECT_EQ(state.width, 640);
    EXPECT_EQ(state.verdict, CalibrationViewPicker::Verdict::kNoBoard) << "no board shown";

    StereoCalibration rig;
    std::string reason;
    ASSERT_TRUE(StereoCalibration::Load(RIG_CALIBRATION, rig, reason)) << reason;
    emit dialog->calibrationKept(rig);
    dialog->accept();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window->rectifyEyesAction()->isChecked());
    EXPECT_EQ(document->calibrationDialog(), nullptr);
    window->calibrateEyesAction()->trigger();
    ASSERT_NE(document->calibrationDialog(), nullptr) << "closed with the window, open";
}

// No board in view: the click's fit comes back within a second of the camera's frames, the
// scene's rows meet, and the alignment is the pair's at the next launch until it is undone.
TEST_F(DocumentTest, AlignEyesMakesTheRowsMeetWithinASecondAndIsKeptUntilUndone)
{
    TestPatternRig rig;
    std::string reason;
    ASSERT_TRUE(TestPatternRig::Parse("vertical=6,roll=1.5,focal=3", rig, reason));
    pattern.scene().SetRig(rig);
    pacedTick();
    EXPECT_FALSE(window->undoAlignmentAction()->isEnabled());
    window->alignEyesAction()->trigger();
    for (int frames = 0; frames < TestPatternCamera::kFramesPerSecond && !document->eyeAlignment();
         ++frames)
        pacedTick();
    ASSERT_NE(document->eyeAlignment(), nullptr) << "not within a second of frames";
    ASSERT_NE(document->monitor()->calibration(), nullptr);
    p3dtest::RigCalibration::ExpectRowsMeet(*document->monitor()->calibration(), pattern.scene());
    EXPECT_TRUE(window->undoAlignmentAction()->isEnabled());
    EXPECT_TRUE(window->statusBar()->currentMessage().startsWith("Eyes aligned"));
    EXPECT_TRUE(document->monitor()->eyesRectified()) << "with the maps made on the worker";
    const EyeAlignment kept = *document->eyeAlignment();

    relaunch();
    tick();
    ASSERT_NE(document->eyeAlignment(), nullptr) << "found again";
    EXPECT_LE(kept.VerticalChange(*document->eyeAlignment()), 1e-6);
    EXPECT_TRUE(document->monitor()->eyesRectified());

    window->undoAlignmentAction()->trigger();
    relaunch();
    tick();
    EXPECT_EQ(document->eyeAlignment(), nullptr);
    EXPECT_EQ(document->monitor()->calibration(), nullptr) << "back to the raw eyes";
    EXPECT_FALSE(window->undoAlignmentAction()->isEnabled());
}

UInt64 gNowUs = 0;
UInt64 FakeNow()
{
    return gNowUs;
}

// File > Recording Options… keeps the layout; the window's recording writes the chosen file in
// it, and the button, the menu and the status bar follow the recording to its stop.
TEST_F(DocumentTest, RecordFromTheWindowWritesTheFileAndTheControlsFollow)
{
    window->recordOptionsAction()->trigger();
    auto* options = window->findChild<P3DRecordDialog*>();
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options->recordLayout(), RecordLayout::SideBySide) << "until one is chosen";
    options->setRecordLayout(RecordLayout::TwoStreams);
    options->accept();
    EXPECT_EQ(NSUserDefaultLoadKind<NSString>("recordLayout", ""), "two-streams");
    EXPECT_EQ(document->recordLayout(), RecordLayout::TwoStreams);

    p3dtest::TempDir dir;
    const std::string path = dir.file("eyes.mkv");
    QString reason;
    ASSERT_TRUE(document->recordTo(QString::fromStdString(path), false, reason))
        << reason.toStdString();
    EXPECT_TRUE(window->recordButton()->isChecked());
    EXPECT_EQ(window->recordAction()->text(), "Stop &Recording");
    EXPECT_FALSE(window->streamAction()->isEnabled()) << "one at a time";
    EXPECT_FALSE(window->sizeGroup()->isEnabled()) << "the recording keeps its size";
    EXPECT_FALSE(window->recordStatus()->isHidden());
    EXPECT_TRUE(window->recordStatus()->text().startsWith("Recording 0:00 · "))
        << window->recordStatus()->text().toStdString();
    EXPECT_FALSE(document->recordTo(QString::fromStdString(dir.file("more.mkv")), false, reason));
    for (int i = 0; i < 10; ++i)
        pacedTick();

    window->recordButton()->click();
    EXPECT_EQ(document->recorder(), nullptr);
    EXPECT_FALSE(window->recordButton()->isChecked());
    EXPECT_EQ(window->recordAction()->text(), "&Record…");
    EXPECT_TRUE(window->streamAction()->isEnabled());
    EXPECT_TRUE(window->sizeGroup()->isEnabled());
    EXPECT_TRUE(window->recordStatus()->isHidden());
    const std::string report = p3dtest::Probe(path);
    EXPECT_EQ(p3dtest::Count(report, "\nwidth=640\n"), 2) << report;
    EXPECT_EQ(p3dtest::Count(report, "nb_read_frames=0\n"), 0) << report;
}

// A file or URL that cannot be recorded to is told, from the dialog too, and nothing starts.
TEST_F(DocumentTest, WhatCannotBeRecordedIsToldAndNothingStarts)
{
    const struct
    {
        const char* location;
        bool stream;
        const char* reason;
    } cases[] = {
        {"/tmp/x.avi", false, "Cannot record to a .avi file: .mkv or .mp4"},
        {"/nonexistent/x.mkv", false, "Cannot write /nonexistent/x.mkv: No such file or directory"},
        {"srt://127.0.0.1:9000", false, "A recording goes into a file, not to a URL"},
        {"/tmp/x.mkv", true, "A stream goes to an srt:// or rtmp:// URL"},
        {"", true, "No file or URL to record to"},
    };
    for (const auto& c : cases) {
        QString reason;
        EXPECT_FALSE(document->recordTo(c.location, c.stream, reason)) << c.location;
        EXPECT_EQ(reason, c.reason) << c.location;
        EXPECT_EQ(document->recorder(), nullptr);
        EXPECT_FALSE(window->recordButton()->isChecked());
    }

    window->streamAction()->trigger();
    auto* ask = window->findChild<QInputDialog*>();
    ASSERT_NE(ask, nullptr);
    ask->setTextValue(" http://example.com/live ");
    ask->accept();
    EXPECT_EQ(NSUserDefaultLoadKind<NSString>("streamURL", ""), "http://example.com/live");
    const QString told = "Cannot stream to http://: only srt:// and rtmp:// URLs";
    auto* box = window->findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text(), told);
    EXPECT_EQ(document->recorder(), nullptr);
    EXPECT_EQ(window->streamAction()->text(), "&Stream…");
}

// Started as the command line starts it, the recording shows in the window; a disk that fills
// ends it, and the window says why and comes back idle.
TEST_F(DocumentTest, ARecordingStartedElsewhereShowsAndAFullDiskIsTold)
{
    p3dtest::TempDir dir;
    const std::string disk = dir.file("disk");
    ASSERT_EQ(mkdir(disk.c_str(), 0755), 0);
    // Smaller than the reserve a file keeps ahead: full after its first frame.
    ASSERT_EQ(mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m"), 0) << strerror(errno);
    RecordDestination destination;
    std::string message;
    ASSERT_TRUE(
        ParseRecordDestination(disk + "/full.mkv", RecordLayout::SideBySide, destination, message));
    QString reason;
    ASSERT_TRUE(document->startRecording(destination, RecordLayout::SideBySide, reason))
        << reason.toStdString();
    tick();
    EXPECT_TRUE(window->recordButton()->isChecked());
    EXPECT_EQ(window->recordAction()->text(), "Stop &Recording");
    EXPECT_FALSE(window->recordStatus()->isHidden());

    for (int i = 0; i < 300 && document->recorder(); ++i)
        pacedTick();
    EXPECT_EQ(document->recorder(), nullptr) << "the disk never filled";
    EXPECT_FALSE(window->recordButton()->isChecked());
    EXPECT_EQ(window->recordAction()->text(), "&Record…");
    const QString told = "The disk is full: the recording stopped";
    auto* box = window->findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), told);
    EXPECT_NE(p3dtest::Probe(disk + "/full.mkv"), "");
    umount(disk.c_str());
}

// Two webcams on in-memory devices, each sending one grey, and a clock of the test's own.
class TwoWebcamsTest : public p3dtest::BroadcastWidgetTest
{
protected:
    void SetUp() override
    {
        p3dtest::BroadcastWidgetTest::SetUp();
        if (IsSkipped())
            return;
        gNowUs = 5000000;
        previousClock = CoreElapsedTime::SetClock(&FakeNow);
        for (const char* name : {"Left Cam", "Right Cam"}) {
            FakeV4L2Device& device = fake.AddDevice();
            device.card = name;
            device.busInfo = name;
            cameras.push_back(&device);
        }
        controller.newDocument(nullptr);
        window = controller.document()->window();
        controller.document()->timer()->stop();
        window->broadcastControl()->setBroadcastEnabled(true);
    }
    void TearDown() override
    {
        if (window)
            window->close();
        CoreElapsedTime::SetClock(previousClock);
    }
    void tick()
    {
        gNowUs += 33334;
        cameras[0]->PushFrame(frames[0]);
        cameras[1]->PushFrame(frames[1]);
        controller.document()->masterTimeClock();
        QImage screen(window->stereoView()->size(), QImage::Format_ARGB32_Premultiplied);
        window->stereoView()->render(&screen);
    }

    // YUYV: luma from the pixel's position (scaled by lumaGain), the two chroma bytes as given.
    static std::vector<uint8_t> Pattern(double lumaGain, uint8_t u, uint8_t v)
    {
        std::vector<uint8_t> yuyv(640 * 480 * 2);
        for (size_t i = 0; i < yuyv.size(); i += 4) {
            const size_t x = (i / 2) % 640, y = i / 2 / 640;
            yuyv[i] = uint8_t(std::lround((40 + (x + 3 * y) % 180) * lumaGain));
            yuyv[i + 2] = uint8_t(std::lround((40 + (x + 1 + 3 * y) % 180) * lumaGain));
            yuyv[i + 1] = u;
            yuyv[i + 3] = v;
        }
        return yuyv;
    }
    static std::array<double, 3> Means(const std::vector<UInt8>& argb)
    {
        std::array<double, 3> sums = {0, 0, 0};
        for (size_t i = 0; i < argb.size(); i += 4)
            for (size_t c = 0; c < 3; ++c)
                sums[c] += argb[i + 1 + c];
        for (double& sum : sums)
            sum /= double(argb.size() / 4);
        return sums;
    }

    FakeV4L2 fake;
    ScopedV4L2System scope{fake};
    std::vector<FakeV4L2Device*> cameras;
    std::vector<uint8_t> frames[2] = {std::vector<uint8_t>(640 * 480 * 2, 0x80), // grey 128
                                      std::vector<uint8_t>(640 * 480 * 2, 0x80)};
    CoreElapsedTime::MicrosecondsProc previousClock = nullptr;
    AppController controller;
    P3DDocumentWindow* window = nullptr;
};

TEST_F(TwoWebcamsTest, AnUnpluggedEyeShowsTheIndicatorWhileTheOtherGoesOnAndComesBack)
{
    tick();
    tick();
    EXPECT_EQ(Current(window->rightEyeView()), "Right Cam");
    ASSERT_TRUE(window->stereoView()->rightEyeImage());

    cameras[1]->failPoll = ENODEV;
    cameras[1]->failIoctl[VIDIOC_QUERYCAP] = ENODEV;
    tick();
    tick();
    EXPECT_EQ(Current(window->rightEyeView()), "none");
    EXPECT_FALSE(window->stereoView()->rightEyeImage());
    ASSERT_TRUE(window->stereoView()->leftEyeImage());
    // The broadcast carries the remaining eye: its grey, not an anaglyph of it with nothing.
    p3dtest::ComponentExports exports;
    SHARED_CAMERA_BUFFER record = p3dtest::ComponentExports::Record();
    ASSERT_TRUE(exports.GetCurrentReadBuffer(&record));
    const UInt8* pixel = static_cast<const UInt8*>(record.frameBufferPtr) + 4 * (240 * 640 + 320);
    EXPECT_EQ(pixel[0], 255);
    EXPECT_NEAR(pixel[1], pixel[2], 2) << "grey, not red";
    EXPECT_NEAR(pixel[2], pixel[3], 2);

    cameras[1]->failPoll = 0;
    cameras[1]->failIoctl.clear();
    gNowUs += 11000000; // past the reopening pause
    tick();
    tick();
    EXPECT_EQ(Current(window->rightEyeView()), "Right Cam") << "back by itself";
    EXPECT_TRUE(window->stereoView()->rightEyeImage());
}

TEST_F(TwoWebcamsTest, EyesMoveByTheirOffsetsKeysAndSlidersAgreeAndTheChoiceIsKept)
{
    frames[1] = Pattern(1.0, 128, 128);
    P3DStereoView* view = window->stereoView();
    tick();
    const std::vector<UInt8> still = p3dtest::RenderImage(view->rightEyeImage().get(), 640, 480);
    view->setEyeOffset(P3DStereoView::kRightEye, {5, -3});
    const std::vector<UInt8> moved = p3dtest::RenderImage(view->rightEyeImage().get(), 640, 480);
    for (int y = 0; y < 480; y += 7)
        for (int x = 0; x < 640; x += 3) {
            const size_t at = (size_t(y) * 640 + size_t(x)) * 4;
            if (x < 5 || y >= 477)
                ASSERT_EQ(UInt32(moved[at] << 24 | moved[at + 1] << 16 | moved[at + 2] << 8 |
                                 moved[at + 3]),
                          0xFF000000u)
                    << "opaque black at " << x << "," << y;
            else
                ASSERT_TRUE(std::equal(&moved[at], &moved[at] + 4,
                                       &still[((size_t(y) + 3) * 640 + size_t(x) - 5) * 4]))
                    << x << "," << y;
        }
    view->setEyeOffset(P3DStereoView::kRightEye, {});
    EXPECT_TRUE(p3dtest::RenderImage(view->rightEyeImage().get(), 640, 480) == still)
        << "at (0, 0) the frame itself";

    // Arrows move the right eye, with Shift the left; the panel's sliders follow.
    for (auto [key, modifiers] :
         {std::pair{Qt::Key_Left, Qt::NoModifier}, std::pair{Qt::Key_Up, Qt::ShiftModifier}}) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(view, &press);
    }
    EXPECT_EQ(view->eyeOffset(P3DStereoView::kRightEye), (EyeOffset{-1, 0}));
    EXPECT_EQ(view->eyeOffset(P3DStereoView::kLeftEye), (EyeOffset{0, -1}));
    EXPECT_EQ(window->eyeAlignment()->offsetSlider(1, 0)->value(), -1);
    window->eyeAlignment()->offsetSlider(0, 0)->setValue(64);
    EXPECT_EQ(view->eyeOffset(P3DStereoView::kLeftEye), (EyeOffset{64, -1}));
    window->eyeAlignment()->matchingSwitch()->click();
    EXPECT_TRUE(view->colorMatching());

    window->close();
    controller.newDocument(nullptr);
    window = controller.document()->window();
    EXPECT_EQ(window->stereoView()->eyeOffset(P3DStereoView::kLeftEye), (EyeOffset{64, -1}));
    EXPECT_EQ(window->stereoView()->eyeOffset(P3DStereoView::kRightEye), (EyeOffset{-1, 0}));
    EXPECT_TRUE(window->stereoView()->colorMatching());
    EXPECT_EQ(window->eyeAlignment()->offsetSlider(0, 1)->value(), -1);
}

TEST_F(TwoWebcamsTest, TheRightEyesColourFollowsTheLeftEyesWithinTwoLevels)
{
    frames[0] = Pattern(1.0, 128, 128);
    frames[1] = Pattern(0.7, 150, 128); // darker and bluer
    P3DStereoView* view = window->stereoView();
    view->setColorMatching(true);
    for (int i = 0; i < 60; ++i)
        tick();
    const std::array<double, 3> left =
        Means(p3dtest::RenderImage(view->leftEyeImage().get(), 640, 480));
    const std::array<double, 3> right =
        Means(p3dtest::RenderImage(view->rightEyeImage().get(), 640, 480));
    for (size_t c = 0; c < 3; ++c)
        EXPECT_NEAR(right[c], left[c], 2.0) << "channel " << c;
    EXPECT_GT(view->rightEyeGains()[0], 1.2f);
    EXPECT_NE(window->eyeAlignment()->gainsLabel()->text().indexOf(
                  "red " + QString::number(view->rightEyeGains()[0], 'f', 2)),
              -1)
        << window->eyeAlignment()->gainsLabel()->text().toStdString();
}

// Both cameras send one grey: told "not enough detail", and nothing changes.
TEST_F(TwoWebcamsTest, AligningAPlainSceneSaysSoAndChangesNothing)
{
    tick();
    window->alignEyesAction()->trigger();
    for (int frames = 0; frames < 300 && !window->statusBar()->currentMessage().contains("detail");
         ++frames) {
        tick();
        Wait(10);
    }
    EXPECT_EQ(window->statusBar()->currentMessage(),
              QString("The eyes cannot be aligned: ") + EyeAligner::kNotEnoughDetail);
    EXPECT_EQ(controller.document()->eyeAlignment(), nullptr);
    EXPECT_EQ(controller.document()->monitor()->calibration(), nullptr);
    EXPECT_FALSE(window->undoAlignmentAction()->isEnabled());
}

// A calibration given to the document rectifies both eyes before anything else, stays with the
// pair of cameras for the next launch, and leaves when the pair changes; the switch bypasses it.
TEST_F(TwoWebcamsTest, ACalibrationRectifiesTheEyesAndComesBackWithTheirCameras)
{
    frames[1] = Pattern(1.0, 128, 128);
    StereoCalibration rig;
    std::string reason;
    ASSERT_TRUE(StereoCalibration::Load(RIG_CALIBRATION, rig, reason)) << reason;
    const auto rightEye = [this] {
        return p3dtest::RenderImage(window->stereoView()->rightEyeImage().get(), 640, 480);
    };
    tick();
    EXPECT_FALSE(window->rectifyEyesAction()->isEnabled()) << "no calibration yet";
    const std::vector<UInt8> camera = rightEye();
    StereoRectifier rectifier;
    ASSERT_TRUE(rectifier.Prepare(rig, 640, 480, reason)) << reason;
    std::vector<UInt8> expected(camera.size());
    ASSERT_TRUE(rectifier.Rectify(1, {camera.data(), 640 * 4, 640, 480}, expected.data(), 640 * 4));

    controller.document()->useCalibration(rig);
    tick();
    EXPECT_TRUE(window->rectifyEyesAction()->isEnabled());
    EXPECT_TRUE(window->rectifyEyesAction()->isChecked());
    EXPECT_TRUE(rightEye() == expected) << "the monitor's eye is the rectified frame";
    window->rectifyEyesAction()->trigger();
    tick();
    EXPECT_TRUE(rightEye() == camera) << "switched off: the frame itself";
    window->rectifyEyesAction()->trigger();

    window->close();
    controller.newDocument(nullptr);
    window = controller.document()->window();
    controller.document()->timer()->stop();
    tick();
    EXPECT_TRUE(window->rectifyEyesAction()->isChecked()) << "the same cameras: found again";
    EXPECT_TRUE(controller.document()->monitor()->eyesRectified());

    window->rightEyeView()->cameraMenuController()->chooseCamera("No Camera");
    tick();
    EXPECT_FALSE(window->rectifyEyesAction()->isEnabled()) << "another pair has none";
    EXPECT_EQ(controller.document()->monitor()->calibration(), nullptr);
}

} // namespace
