// The camera views and their menus on the offscreen platform, against in-memory V4L2 devices
// and the test-pattern camera: what the menu lists and does, and what the view draws.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QToolButton>
#include <cmath>
#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include "CIImage.h"
#include "CoreElapsedTime.h"
#include "FakeV4L2.h"
#include "NSUICamMenuController.h"
#include "QCamGrabCGImageView.h"
#include "TestPatternCamera.h"
#include "TestPatternScene.h"
#include "TestSupport.h"
#include "V4L2System.h"
#include "WidgetApplication.h"

namespace {

UInt64 gNowUs = 0;
UInt64 FakeNow()
{
    return gNowUs;
}

// The view as the screen shows it, without a window: 640 x 480, row 0 at the top.
QImage Render(QCamGrabCGImageView& view)
{
    view.resize(640, 480);
    QImage image(640, 480, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::magenta);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    return image;
}

int Grey(const QImage& image, int x, int y)
{
    return qGreen(image.pixel(x, y));
}

std::vector<uint8_t> GreyYUYV(uint8_t luma)
{
    std::vector<uint8_t> frame(640 * 480 * 2);
    for (size_t i = 0; i < frame.size(); i += 2) {
        frame[i] = luma;
        frame[i + 1] = 128;
    }
    return frame;
}

class CameraViewTest : public testing::Test
{
protected:
    void SetUp() override
    {
        p3dtest::WidgetApplication();
        gNowUs = 5000000;
        previousClock = CoreElapsedTime::SetClock(&FakeNow);
    }
    void TearDown() override { CoreElapsedTime::SetClock(previousClock); }

    FakeV4L2Device& addCamera(const std::string& name)
    {
        FakeV4L2Device& device = fake.AddDevice();
        device.card = name;
        device.busInfo = "usb-" + std::to_string(fake.DeviceCount());
        return device;
    }
    // The entries after the picture item and the separator: title, and "*" when checked.
    static std::vector<std::string> Entries(QCamGrabCGImageView& view)
    {
        std::vector<std::string> entries;
        const QList<QAction*> items = view.cameraMenu()->actions();
        for (qsizetype i = 2; i < items.size(); ++i)
            entries.push_back(items[i]->isSeparator() ? "--"
                                                      : items[i]->text().toStdString() +
                                                            (items[i]->isChecked() ? "*" : ""));
        return entries;
    }
    static void Choose(QCamGrabCGImageView& view, const std::string& title)
    {
        for (QAction* item : view.cameraMenu()->actions())
            if (item->text().toStdString() == title)
                return item->trigger();
        ADD_FAILURE() << "no entry " << title;
    }
    static std::string Current(QCamGrabCGImageView& view)
    {
        QSGDeviceList::InputIterator camera;
        if (!view.grabber()->VideoChannel() || !view.grabber()->GetCurrentCamera(camera))
            return "none";
        return std::string(reinterpret_cast<const char*>(camera.inputName + 1),
                           camera.inputName[0]);
    }

    FakeV4L2 fake;
    ScopedV4L2System scope{fake};
    CoreElapsedTime::MicrosecondsProc previousClock = nullptr;
};

TEST_F(CameraViewTest, TheIndicatorLiesWhereAndAsItsGeometrySays)
{
    QCamGrabCGImageView view;
    const QImage image = Render(view); // before the first tick
    // Expected values from the geometry alone: a 0.333 grey at half opacity over black (42.5), the
    // cross's 0.666 grey at half opacity over that (106.1), the icon's 230 grey likewise (136.2).
    // Icon rectangle (160, 120, 320, 240) from the top left; line width 112, round caps.
    const struct
    {
        int x, y, expected;
        const char* where;
    } points[] = {
        {5, 5, 42, "ground"},
        {150, 240, 42, "left of the icon"},
        {110, 360, 106, "round cap, 50 from the lower left corner"},
        {100, 360, 42, "60 from that corner: past the cap"},
        {150, 430, 42, "beyond the corner of where a square cap would reach"},
        {208, 240, 136, "the camera's body"},
        {320, 154, 136, "the lamp on top: the icon is upright"},
        {320, 326, 42, "where the lamp would be upside down"},
        {165, 240, 42, "inside the icon's rectangle, where the picture is clear"},
    };
    for (const auto& p : points)
        EXPECT_NEAR(Grey(image, p.x, p.y), p.expected, 3) << p.where;
}

TEST_F(CameraViewTest, AFailedOpenShowsTheIndicatorUntilACameraIsChosen)
{
    QCamGrabCGImageView view;
    view.awakeFromNib();
    view.cameraOpen(QSize(640, 480));
    EXPECT_FALSE(view.cameraPopUpButton()->isHidden());
    EXPECT_EQ(Entries(view), (std::vector<std::string>{"No Camera*", "--"}));
    EXPECT_EQ(view.cameraMenuController()->cameraDeviceInputName(), "No Camera");
    QAction* itemZero = view.cameraMenu()->actions().value(0);
    EXPECT_FALSE(itemZero->isEnabled());
    EXPECT_TRUE(itemZero->text().isEmpty());
    EXPECT_FALSE(itemZero->icon().isNull());

    addCamera("Webcam").PushFrame(GreyYUYV(200));
    gNowUs += 60000000; // auto-open is off: no time brings the camera
    view.cameraTimer(nullptr);
    EXPECT_EQ(view.grabber()->VideoChannel(), nullptr);
    EXPECT_NEAR(Grey(Render(view), 5, 5), 42, 3);

    view.cameraMenuRefresh();
    EXPECT_EQ(Entries(view), (std::vector<std::string>{"No Camera*", "--", "Webcam"}));
    Choose(view, "Webcam");
    view.cameraTimer(nullptr);
    EXPECT_EQ(Current(view), "Webcam");
    EXPECT_NEAR(Grey(Render(view), 5, 5), 200 * 255 / 219 - 19, 4) << "the camera's grey";
}

TEST_F(CameraViewTest, ChoicesInTheMenuOpenSwitchAndStopTheCamera)
{
    addCamera("Left Cam");
    FakeV4L2Device& right = addCamera("Right Cam");
    addCamera("Caméra à gauche"); // names are UTF-8 text, shown as such
    QCamGrabCGImageView view;
    view.cameraOpen(QSize(640, 480));
    EXPECT_EQ(Entries(view), (std::vector<std::string>{"No Camera", "--", "Left Cam*", "Right Cam",
                                                       "Caméra à gauche"}));

    Choose(view, "No Camera");
    EXPECT_EQ(view.grabber()->VideoChannel(), nullptr);
    EXPECT_FALSE(view.grabber()->mAutoOpenCameraPluggedIn);
    EXPECT_EQ(Entries(view)[0], "No Camera*");

    // None open: the default camera opens first, then the switch to the chosen one.
    const int rightOpens = right.openTotal;
    Choose(view, "Right Cam");
    EXPECT_EQ(Current(view), "Right Cam");
    EXPECT_EQ(Entries(view), (std::vector<std::string>{"No Camera", "--", "Left Cam", "Right Cam*",
                                                       "Caméra à gauche"}));
    EXPECT_GT(right.openTotal, rightOpens);
    const int starts = right.streamOnCount;
    // The camera in use: nothing to do, and nothing done.
    view.cameraMenuController()->setCameraDeviceInputName("Right Cam");
    EXPECT_FALSE(view.cameraMenuController()->changeCameraGrabberDevice(view.grabber()));
    EXPECT_EQ(right.streamOnCount, starts);

    Choose(view, "Caméra à gauche");
    EXPECT_EQ(Current(view), "Caméra à gauche");

    // Entries others put after the separator do not survive a rebuild.
    view.cameraMenu()->addAction("stray");
    view.cameraMenuRefresh();
    EXPECT_EQ(Entries(view).size(), 5u);
}

TEST_F(CameraViewTest, MissingNamesAndMenusAreReported)
{
    NSUICamMenuController controller;
    QAction looseSeparator(nullptr);
    looseSeparator.setSeparator(true);
    controller.setCameraMenuSeparator(&looseSeparator);
    QCamGrabCGImageView view;
    p3dtest::LogCapture log;
    EXPECT_TRUE(controller.cameraDeviceInputName().isNull());
    EXPECT_FALSE(controller.changeCameraGrabberDevice(view.grabber()));
    controller.updateForCameraGrabber(view.grabber());
    controller.setCameraDeviceInputName(QString(64, 'x'));
    EXPECT_FALSE(controller.changeCameraGrabberDevice(view.grabber()));
    const std::string text = log.text();
    for (const char* report :
         {" code : _cameraDeviceInputName in ", " code : cameraDeviceInputName in ",
          " code : cameraMenu in ", " code : cameraDeviceInputNameCStringMacRoman in "})
        EXPECT_NE(text.find(report), std::string::npos) << report << "\n" << text;
}

TEST_F(CameraViewTest, TheFrameIsShownAsTheGrabberHoldsItAndItsImageSharesTheBytes)
{
    FakeV4L2Device& camera = addCamera("Webcam");
    QCamGrabCGImageView view;
    view.cameraOpen(QSize(640, 480));
    // A frame that tells top from bottom: white above, black below.
    std::vector<uint8_t> frame = GreyYUYV(16);
    std::fill(frame.begin(), frame.begin() + long(frame.size() / 2), 0);
    for (size_t i = 0; i < frame.size() / 2; i += 2)
        frame[i] = 235, frame[i + 1] = 128;
    camera.PushFrame(frame);
    EXPECT_EQ(view.cameraImageRef(), nullptr);
    view.cameraTimer(nullptr);
    ASSERT_NE(view.cameraImageRef(), nullptr);
    EXPECT_EQ(CGImageGetPixelBase(view.cameraImageRef()),
              view.cameraBitmapContext()->mImageDataBytes);
    const QImage image = Render(view);
    EXPECT_EQ(image.pixel(10, 10), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(630, 470), qRgb(0, 0, 0));

    CFPtr<CIImage> copy = view.cameraImage();
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->extent().size.width, 640);

    // Unplugged: the indicator; back, and after auto-open's pause: the picture again.
    camera.failPoll = ENODEV;
    camera.failIoctl[VIDIOC_QUERYCAP] = ENODEV;
    view.cameraTimer(nullptr);
    EXPECT_NEAR(Grey(Render(view), 5, 5), 42, 3);
    camera.failPoll = 0;
    camera.failIoctl.clear();
    gNowUs += 11000000;
    view.cameraTimer(nullptr);
    camera.PushFrame(frame);
    view.cameraTimer(nullptr);
    EXPECT_EQ(Render(view).pixel(10, 10), qRgb(255, 255, 255));

    view.cameraClose();
    view.cameraTimer(nullptr);
    EXPECT_NEAR(Grey(Render(view), 5, 5), 42, 3);
}

TEST_F(CameraViewTest, TwoViewsShowTheTwoEyesOfOneDeviceAtOnce)
{
    static UInt64 sCameraUs = 1000000;
    TestPatternCamera pattern([] { return uint64_t(sCameraUs); });
    pattern.Configure(fake.AddDevice());
    QCamGrabCGImageView left, right;
    left.cameraOpen(QSize(640, 480));
    right.cameraOpen(QSize(640, 480));
    const std::string eye = std::string(TestPatternCamera::kCardName) + ": ";
    right.cameraMenuController()->setCameraDeviceInputName(
        QString::fromStdString(eye + TestPatternCamera::kRightInput));
    right.cameraMenuChanged(nullptr);
    EXPECT_EQ(Current(left), eye + TestPatternCamera::kLeftInput);
    EXPECT_EQ(Current(right), eye + TestPatternCamera::kRightInput);
    sCameraUs += 100000; // frame 3 for both
    left.cameraTimer(nullptr);
    right.cameraTimer(nullptr);

    TestPatternScene scene;
    for (auto [view, eye] : {std::pair{&left, TestPatternScene::kLeftEye},
                             std::pair{&right, TestPatternScene::kRightEye}}) {
        std::vector<uint8_t> rgb(640 * 480 * 3);
        ASSERT_TRUE(scene.Render(3, eye, 640, 480, rgb.data(), 640 * 3));
        const QImage shown = Render(*view);
        int matching = 0, compared = 0;
        for (int x = 0; x < 640; x += 4) {
            const uint8_t* expected = &rgb[(300 * 640 + size_t(x)) * 3];
            const QRgb pixel = shown.pixel(x, 300);
            ++compared;
            matching += std::abs(qRed(pixel) - expected[0]) < 30 &&
                        std::abs(qGreen(pixel) - expected[1]) < 30 &&
                        std::abs(qBlue(pixel) - expected[2]) < 30;
        }
        EXPECT_GT(matching, compared * 9 / 10)
            << (eye == TestPatternScene::kLeftEye ? "left" : "right");
    }
}

} // namespace
