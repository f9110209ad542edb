// Cameras that come and go while the stereo window runs, and what each eye's camera leaves in
// the preferences at close: the test pattern's two eyes on an in-memory V4L2 device that is
// plugged in and out, announced as udev would.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <gtest/gtest.h>

#include "AppController.h"
#include "BroadcastWidgetTest.h"
#include "CameraMenuModel.h"
#include "FakeV4L2.h"
#include "NSUICamMenuController.h"
#include "NSUserDefault.h"
#include "P3DDocument.h"
#include "P3DDocumentWindow.h"
#include "QCamGrabCGImageView.h"
#include "TestPatternCamera.h"
#include "V4L2System.h"

namespace {

const std::string kLeft =
    std::string(TestPatternCamera::kCardName) + ": " + TestPatternCamera::kLeftInput;
const std::string kRight =
    std::string(TestPatternCamera::kCardName) + ": " + TestPatternCamera::kRightInput;

class CameraChoiceTest : public p3dtest::BroadcastWidgetTest
{
protected:
    void TearDown() override
    {
        if (P3DDocument::countInstances() != 0)
            close();
    }
    void launch(const AppOptions& options = AppOptions())
    {
        controller = std::make_unique<AppController>(options);
        controller->newDocument(nullptr);
        controller->document()->timer()->stop(); // ticks by hand
    }
    void close() { controller->document()->window()->close(); }
    void plugIn() { pattern.Configure(fake.AddDevice(TestPatternCamera::kNode)); }
    QCamGrabCGImageView* eye(const char* name) const
    {
        return controller->document()->window()->findChild<QCamGrabCGImageView*>(name);
    }
    // The camera an eye streams from, empty without one.
    std::string current(const char* name) const
    {
        return CameraMenuModel::CurrentName(*eye(name)->grabber());
    }
    // The menu's entries after "No Camera" and its separator, "*" after the checked one.
    std::string cameraEntries(const char* name) const
    {
        std::string entries;
        const QList<QAction*> items = eye(name)->cameraMenu()->actions();
        for (qsizetype i = 4; i < items.size(); ++i)
            entries += items[i]->text().toStdString() + (items[i]->isChecked() ? "* " : " ");
        return entries;
    }
    // The event loop runs until the menus list what is plugged in, as the screen would show it.
    void awaitEntries(const std::string& left, const std::string& right)
    {
        for (int pass = 0;
             pass < 100 && (cameraEntries("leftEye") != left || cameraEntries("rightEye") != right);
             ++pass)
            QApplication::processEvents();
    }

    TestPatternCamera pattern;
    FakeV4L2 fake;
    ScopedV4L2System scope{fake};
    std::unique_ptr<AppController> controller;
};

// A camera plugged in reaches both menus, and each eye without one takes one, the left eye first;
// an eye set to "No Camera" stays off. Pulled out, it leaves both menus.
TEST_F(CameraChoiceTest, APluggedInCameraReachesBothMenusAndTheEyesWithoutOne)
{
    const struct
    {
        bool rightOff;
        const char* right;
        std::string rightEntries;
    } rows[] = {
        {false, kRight.c_str(), kLeft + " " + kRight + "* "},
        {true, "", kLeft + " " + kRight + " "},
    };
    for (const auto& row : rows) {
        launch();
        EXPECT_EQ(current("leftEye"), "");
        EXPECT_EQ(cameraEntries("leftEye"), "");
        if (row.rightOff)
            eye("rightEye")->cameraMenuController()->chooseCamera("No Camera");
        plugIn();
        awaitEntries(kLeft + "* " + kRight + " ", row.rightEntries);
        EXPECT_EQ(cameraEntries("leftEye"), kLeft + "* " + kRight + " ");
        EXPECT_EQ(cameraEntries("rightEye"), row.rightEntries);
        EXPECT_EQ(current("leftEye"), kLeft);
        EXPECT_EQ(current("rightEye"), row.right);

        fake.RemoveDevice(TestPatternCamera::kNode);
        awaitEntries("", "");
        EXPECT_EQ(cameraEntries("leftEye"), "");
        EXPECT_EQ(cameraEntries("rightEye"), "");
        controller->document()->masterTimeClock();
        EXPECT_EQ(current("leftEye"), "") << "the unplugged camera's channel is closed";
        close();
    }
}

// What a launch leaves stored: a person's choice (menu, command line) or a camera running at
// close; a failed open, or no camera at all, leaves the stored name alone. A first launch with
// and without cameras is the process test's.
TEST_F(CameraChoiceTest, OnlyAChoiceOrARunningCameraIsStored)
{
    const struct
    {
        const char* what;
        const char* stored; // before the launch, both eyes; "" for none
        bool cameras;
        const char* rightOption;
        const char* leftChosen; // in the menu while running; "" for no choice
        const char* left;       // stored after the close
        const char* right;
    } rows[] = {
        {"no camera, a stored name", "Webcam", false, "", "", "Webcam", "Webcam"},
        {"No Camera by the command line", "", true, "No Camera", "", kLeft.c_str(), "No Camera"},
        {"No Camera in the menu", "", true, "", "No Camera", "No Camera", kRight.c_str()},
        {"a camera chosen, not there", "", false, "Webcam", "", "", "Webcam"},
    };
    for (const auto& row : rows) {
        p3dtest::ResetBroadcast();
        if (*row.stored) {
            const QString stored = row.stored;
            NSUserDefaultSaveObject(&stored, "leftEyeCamera");
            NSUserDefaultSaveObject(&stored, "rightEyeCamera");
        }
        if (row.cameras)
            plugIn();
        AppOptions options;
        options.rightCamera = row.rightOption;
        launch(options);
        if (*row.leftChosen)
            eye("leftEye")->cameraMenuController()->chooseCamera(row.leftChosen);
        close();
        EXPECT_EQ(NSUserDefaultLoadKind<NSString>("leftEyeCamera", ""), row.left) << row.what;
        EXPECT_EQ(NSUserDefaultLoadKind<NSString>("rightEyeCamera", ""), row.right) << row.what;
        fake.RemoveDevice(TestPatternCamera::kNode);
    }
}

} // namespace
