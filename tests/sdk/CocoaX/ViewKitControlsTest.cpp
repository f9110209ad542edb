// The view kit's value controls: float sliders, colour-well buttons and image views, and the
// parameter forms over real widgets.
#include <QCheckBox>
#include <QColorDialog>
#include <QSlider>
#include <gtest/gtest.h>

#include "NSColorWellWithAlpha.h"
#include "NSColorWellWithoutAlpha.h"
#include "NSControlParam.h"
#include "NSUIFloatSlider.h"
#include "NSUIImageView.h"
#include "ParamMapping.h"
#include "TestSupport.h"
#include "WidgetApplication.h"

namespace {

TEST(NSUIFloatSlider, KeepsItsValueInRangeAndTellsOnlyUserMovesAsEdits)
{
    p3dtest::WidgetApplication();
    NSUIFloatSlider slider(NSUIFloatRange(0.25, 2.0, 1.0));
    EXPECT_EQ(slider.floatValue(), 1.0);
    int edits = 0;
    QObject::connect(&slider, &NSUIFloatSlider::floatValueEdited, [&edits] { ++edits; });

    struct Case
    {
        const char* text;
        double value;
        const char* stringValue;
    };
    for (const Case& c :
         {Case{"0.3", 0.3, "0.3"}, Case{"  1.5 ", 1.5, "1.5"}, Case{"-5", 0.25, "0.25"},
          Case{"1e30", 2.0, "2"}, Case{"nan", 1.0, "1"}, Case{"abc", 1.0, "1"}}) {
        SCOPED_TRACE(c.text);
        slider.setStringValue(c.text);
        EXPECT_EQ(slider.floatValue(), c.value);
        EXPECT_EQ(slider.stringValue().toStdString(), c.stringValue);
    }
    EXPECT_EQ(edits, 0);
    slider.setValue(0); // the knob moved by the user
    EXPECT_EQ(slider.floatValue(), 0.25);
    EXPECT_EQ(edits, 1);
    slider.setFloatValue(0.5);
    EXPECT_EQ(slider.value(), slider.range().stepOfValue(0.5, NSUIFloatSlider::kSteps));
}

TEST(NSUIColorWellButton, DialogsShowOpacityOnlyForWellsWithAlpha)
{
    p3dtest::WidgetApplication();
    NSColorWellWithAlpha withAlpha;
    NSColorWellWithoutAlpha withoutAlpha;
    withAlpha.well().setColor4D({0.2f, 0.4f, 0.6f, 0.5f});
    withAlpha.click();
    ASSERT_NE(withAlpha.colorDialog(), nullptr);
    EXPECT_TRUE(withAlpha.colorDialog()->testOption(QColorDialog::ShowAlphaChannel));
    EXPECT_NEAR(withAlpha.colorDialog()->currentColor().alphaF(), 0.5, 0.01);
    withoutAlpha.click();
    ASSERT_NE(withoutAlpha.colorDialog(), nullptr);
    EXPECT_FALSE(withoutAlpha.colorDialog()->testOption(QColorDialog::ShowAlphaChannel));

    // What the user picks goes into the well; an opaque well stays opaque.
    withAlpha.colorDialog()->setCurrentColor(QColor::fromRgbF(1, 0, 0, 0.25f));
    EXPECT_NEAR(withAlpha.well().getColorAlpha(), 0.25f, 0.01);
    withoutAlpha.colorDialog()->setCurrentColor(QColor::fromRgbF(0, 1, 0, 0.25f));
    EXPECT_EQ(withoutAlpha.well().getColorAlpha(), 1.0f);
    EXPECT_EQ(withoutAlpha.well().getColor3DOpaque().green, 1.0f);
    withAlpha.colorDialog()->close();
    withoutAlpha.colorDialog()->close();
}

TEST(NSControlParam, FormsReadAndWriteRealControls)
{
    p3dtest::WidgetApplication();
    QCheckBox button;
    NSControlParam::setBoolParam(&button, "True");
    EXPECT_TRUE(button.isChecked());
    EXPECT_EQ(NSControlParam::intParam(&button), QVariant(1));
    QSlider slider;
    slider.setRange(0, 100);
    NSControlParam::setIntParam(&slider, "42");
    EXPECT_EQ(slider.value(), 42);
    NSUIFloatSlider floatSlider(NSUIFloatRange(-2, 2, 0));
    NSControlParam::setFloatParam(&floatSlider, 0.75);
    EXPECT_EQ(NSControlParam::floatParam(&floatSlider), QVariant(0.75f));
    NSControlParam::setFloatParam(&floatSlider, 1e300); // held by the slider's range
    EXPECT_EQ(floatSlider.floatValue(), 2.0);

    // A table over the sample names binds real controls too.
    tagParamMapItem items[] = {
        {kParamReadWrite, 0, "exposure", nullptr, NSControlParam::floatParam,
         NSControlParam::setFloatParam, nullptr},
        {0, 0, nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    ParamMapping mapping(items);
    ASSERT_TRUE(mapping.SetParamControl("EXPOSURE", &floatSlider));
    const QVariantMap values = {{"exposure", "-1.5"}};
    mapping.SetControlValuesFromDictionary(&values);
    EXPECT_EQ(floatSlider.floatValue(), -1.5);
}

TEST(NSUIImageView, AnImageNameThatIsNotThereIsReportedAndChangesNothing)
{
    p3dtest::WidgetApplication();
    NSUIImageView view;
    p3dtest::LogCapture log;
    NSUIImageView::setStringParamValue(&view, "no-such-picture");
    EXPECT_TRUE(NSUIImageView::stringParamValue(&view).toString().isEmpty());
    EXPECT_NE(log.text().find(" code : imageNamed in "), std::string::npos);
}

} // namespace
