// The camera image controls' panel on the offscreen platform: what its controls do to the
// picture, and what it stores and takes back from the preferences, bad values included.
#include <QCheckBox>
#include <QPushButton>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <vector>

#include "NSColorWellWithoutAlpha.h"
#include "NSUICICameraControls.h"
#include "NSUIFloatSlider.h"
#include "NSUserDefault.h"
#include "RenderImage.h"
#include "TestSupport.h"
#include "WidgetApplication.h"

namespace {

class CameraControls : public testing::Test
{
protected:
    void SetUp() override
    {
        p3dtest::WidgetApplication();
        p3dtest::RemoveTree(Folder());
        mkdir((p3dtest::SuiteRoot() + "/config").c_str(), 0700);
        mkdir(Folder().c_str(), 0700);
        mPanel = std::make_unique<NSUICICameraControls>();
        for (size_t i = 0; i < mFrame.size(); i += 4) {
            mFrame[i] = 255;
            mFrame[i + 1] = UInt8(i * 7);
            mFrame[i + 2] = UInt8(i / 640);
            mFrame[i + 3] = UInt8(i * 3 + 11);
        }
    }
    void TearDown() override { p3dtest::RemoveTree(Folder()); }
    static std::string Folder() { return p3dtest::SuiteRoot() + "/config/Parallax3D"; }
    static std::string Stored(const char* key)
    {
        return NSUserDefaultLoadKind<NSString>(key, "absent").toStdString();
    }
    std::vector<UInt8> Render()
    {
        const CFPtr<CIImage> source =
            CIImage::imageWithARGBMemory(mFrame.data(), 640 * 4, 640, 480);
        return p3dtest::RenderImage(mPanel->filteredImage(source.get()).get(), 640, 480);
    }
    double Exposure() const
    {
        return mPanel->chain().exposure()->numberForKey(CFSTR("inputEV"), -99);
    }
    const CIColor* WhitePoint() const
    {
        return mPanel->chain().whitePointAdjust()->colorForKey(CFSTR("inputColor"));
    }

    std::vector<UInt8> mFrame = std::vector<UInt8>(640 * 480 * 4);
    std::unique_ptr<NSUICICameraControls> mPanel;
};

TEST_F(CameraControls, AFreshOrFirstLaunchPanelLeavesThePictureAsItIs)
{
    EXPECT_EQ(Render(), mFrame);
    mPanel->preferencesLoadDefaults(nullptr); // nothing stored yet
    EXPECT_EQ(mPanel->exposureSlider()->floatValue(), 0);
    EXPECT_EQ(mPanel->brightnessSlider()->floatValue(), 0);
    EXPECT_EQ(mPanel->contrastSlider()->floatValue(), 1);
    EXPECT_EQ(mPanel->saturationSlider()->floatValue(), 1);
    EXPECT_FALSE(mPanel->mirrorImageX()->isChecked());
    EXPECT_FALSE(mPanel->mirrorImageY()->isChecked());
    EXPECT_FALSE(mPanel->whiteBalanceEnable()->isChecked());
    EXPECT_EQ(Render(), mFrame);
    EXPECT_TRUE(mPanel->isWindow()) << "a window of its own";
}

TEST_F(CameraControls, TheWellsColourActsOnlyWhileWhiteBalanceIsOn)
{
    mPanel->whiteBalanceColor()->well().setColor3D({0.5f, 0.2f, 0.9f});
    EXPECT_EQ(Render(), mFrame);
    mPanel->whiteBalanceEnable()->click();
    EXPECT_FLOAT_EQ(float(WhitePoint()->red()), 0.5f);
    const std::vector<UInt8> balanced = Render();
    EXPECT_EQ(balanced[4 * 100 + 1], std::min(255, 2 * mFrame[4 * 100 + 1]));
    mPanel->whiteBalanceColor()->well().setColor3D({1, 1, 1}); // picked in the dialog
    EXPECT_EQ(Render(), mFrame);
}

TEST_F(CameraControls, ControlsReachTheChainWhenTheUserMovesThem)
{
    NSUIFloatSlider* exposure = mPanel->exposureSlider();
    exposure->setValue(NSUIFloatSlider::kSteps); // the knob dragged to the end
    EXPECT_EQ(Exposure(), 2.0);
    exposure->setFloatValue(-1); // from code: no action until the panel updates
    EXPECT_EQ(Exposure(), 2.0);
    mPanel->updateFilterStackState(nullptr);
    EXPECT_EQ(Exposure(), -1.0);
    mPanel->mirrorImageX()->click();
    mPanel->mirrorImageY()->click();
    mPanel->exposureSlider()->setFloatValue(0);
    mPanel->updateFilterStackState(nullptr);
    const std::vector<UInt8> turned = Render();
    // Pixel (10, 20) of the camera lands on (629, 459); rows are stored top down.
    EXPECT_EQ(
        memcmp(&turned[((479 - 459) * 640 + 629) * 4], &mFrame[((479 - 20) * 640 + 10) * 4], 4), 0);
    EXPECT_TRUE(CGAffineTransformEqualToTransform(mPanel->chain().transform(),
                                                  CGAffineTransformMake(-1, 0, 0, -1, 640, 480)));
    mPanel->findChild<QPushButton*>("resetButton")->click();
    EXPECT_EQ(Exposure(), 0.0);
    EXPECT_FALSE(mPanel->mirrorImageX()->isChecked());
    EXPECT_EQ(Render(), mFrame);
}

TEST_F(CameraControls, ResetThenSaveStoresTheIdentityUnderEveryKey)
{
    mPanel->exposureSlider()->setFloatValue(1.5);
    mPanel->mirrorImageY()->setChecked(true);
    mPanel->whiteBalanceColor()->well().setColor3D({0.3f, 0.3f, 0.3f});
    mPanel->resetDefaults(nullptr);
    mPanel->preferencesSaveDefaults(nullptr);
    EXPECT_EQ(Stored("_exposureSlider"), "0");
    EXPECT_EQ(Stored("_brightnessSlider"), "0");
    EXPECT_EQ(Stored("_contrastSlider"), "1");
    EXPECT_EQ(Stored("_saturationSlider"), "1");
    for (const char* key : {"_mirrorImageX", "_mirrorImageY", "_whiteBalanceEnable"})
        EXPECT_EQ(NSUserDefaultLoadKind(key, NSNumber(7)).doubleValue(), 0) << key;
    EXPECT_EQ(Stored("_whiteBalanceColor"), "rgb(1.000,1.000,1.000)");
}

TEST_F(CameraControls, EverySliderRestsOnItsMiddleStepAndEveryStepComesBackFromItsText)
{
    for (const auto& [slider, identity] :
         {std::pair{mPanel->exposureSlider(), 0.0}, std::pair{mPanel->brightnessSlider(), 0.0},
          std::pair{mPanel->contrastSlider(), 1.0}, std::pair{mPanel->saturationSlider(), 1.0}}) {
        NSUIFloatSlider restored(slider->range());
        for (int step = 0; step <= NSUIFloatSlider::kSteps; ++step) {
            slider->setValue(step); // the user's drag, then stored and loaded at a restart
            restored.setStringValue(slider->stringValue());
            ASSERT_EQ(restored.floatValue(), slider->floatValue()) << step;
            ASSERT_EQ(restored.value(), step);
        }
        EXPECT_EQ(slider->floatValue(), slider->range().maximum());
        slider->setValue(NSUIFloatSlider::kSteps / 2);
        EXPECT_EQ(slider->floatValue(), identity) << slider->objectName().toStdString();
    }
}

TEST_F(CameraControls, SavedSettingsComeBackAtLoad)
{
    mPanel->exposureSlider()->setFloatValue(0.5);
    mPanel->saturationSlider()->setFloatValue(1.75);
    mPanel->mirrorImageX()->setChecked(true);
    mPanel->whiteBalanceEnable()->setChecked(true);
    mPanel->whiteBalanceColor()->well().setColor3D({0.25f, 0.5f, 0.75f});
    mPanel->preferencesSaveDefaults(nullptr);

    NSUICICameraControls later;
    later.preferencesLoadDefaults(nullptr);
    EXPECT_EQ(later.exposureSlider()->floatValue(), 0.5);
    EXPECT_EQ(later.saturationSlider()->floatValue(), 1.75);
    EXPECT_TRUE(later.mirrorImageX()->isChecked());
    EXPECT_FALSE(later.mirrorImageY()->isChecked());
    EXPECT_TRUE(later.whiteBalanceEnable()->isChecked());
    EXPECT_EQ(later.chain().exposure()->numberForKey(CFSTR("inputEV"), 0), 0.5);
}

TEST_F(CameraControls, TheWhiteBalanceColourComesBackAfterARestart)
{
    for (const NSColor3D color : {NSColor3D{0.25f, 0.5f, 0.75f}, NSColor3D{0.3333f, 0.9996f, 0}}) {
        mPanel->whiteBalanceColor()->well().setColor3D(color);
        mPanel->preferencesSaveDefaults(nullptr);
        NSUICICameraControls later;
        later.preferencesLoadDefaults(nullptr);
        const NSColor3D back = later.whiteBalanceColor()->well().getColor3DOpaque();
        EXPECT_NEAR(back.red, color.red, 0.001);
        EXPECT_NEAR(back.green, color.green, 0.001);
        EXPECT_NEAR(back.blue, color.blue, 0.001);
    }
}

TEST_F(CameraControls, StoredValuesOfTheWrongKindOrRangeGiveDefaultsOrEdges)
{
    struct Case
    {
        const char* what;
        const char* file;
        double exposure, contrast;
        bool mirrorX, mirrorY;
        float wbRed, wbGreen;
    };
    const Case cases[] = {
        {"words, no colour stored", "_exposureSlider=abc\n_contrastSlider=\n_mirrorImageX=yes\n", 0,
         1, false, false, 0.1f, 0.1f},
        {"out of range",
         "_exposureSlider=-5\n_contrastSlider=1e30\n_mirrorImageX=1e30\n"
         "_mirrorImageY=-5\n_whiteBalanceColor=\"rgb(-5,1e30,0.5)\"\n",
         -2, 2, true, false, 0, 1},
        {"not a number",
         "_exposureSlider=nan\n_contrastSlider=inf\n_mirrorImageX=nan\n"
         "_whiteBalanceColor=\"rgb(nan,0.5,0.5)\"\n",
         0, 2, false, false, 1, 1},
        {"cut short", "_exposureSlider=0.2.5\n_whiteBalanceColor=\"rgb(0.5,0.5\"\n", 0, 1, false,
         false, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        p3dtest::WriteFile(Folder() + "/Parallax3D.conf", std::string("[General]\n") + c.file);
        mPanel->whiteBalanceColor()->well().setColor3D({0.1f, 0.1f, 0.1f});
        mPanel->whiteBalanceEnable()->setChecked(true);
        mPanel->preferencesLoadDefaults(nullptr);
        EXPECT_EQ(mPanel->exposureSlider()->floatValue(), c.exposure);
        EXPECT_EQ(mPanel->contrastSlider()->floatValue(), c.contrast);
        EXPECT_EQ(mPanel->mirrorImageX()->isChecked(), c.mirrorX);
        EXPECT_EQ(mPanel->mirrorImageY()->isChecked(), c.mirrorY);
        EXPECT_FALSE(mPanel->whiteBalanceEnable()->isChecked());
        const NSColor3D color = mPanel->whiteBalanceColor()->well().getColor3DOpaque();
        EXPECT_EQ(color.red, c.wbRed);
        EXPECT_EQ(color.green, c.wbGreen);
        EXPECT_FALSE(std::isnan(Exposure()));
    }
}

} // namespace
