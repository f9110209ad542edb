// The colour of a colour well without its button: component forms, parameter texts, the lock
// over every well, and the engine's colours.
#include <cmath>
#include <gtest/gtest.h>

#include "NSColorWell.h"
#include "TestSupport.h"

namespace {

class ColorWell : public testing::Test
{
protected:
    void TearDown() override { NSColorWell::setColorParamsLocked(false); }
    static void ExpectColor(const NSColor4D& c, float r, float g, float b, float a)
    {
        EXPECT_FLOAT_EQ(c.red, r);
        EXPECT_FLOAT_EQ(c.green, g);
        EXPECT_FLOAT_EQ(c.blue, b);
        EXPECT_FLOAT_EQ(c.alpha, a);
    }
    NSColorWell mWell;
};

TEST_F(ColorWell, ThreeDTextKeepsThreeDecimalsAndReadsOlderOneDecimalTexts)
{
    mWell.setColor3D({0.25f, 0.5f, 0.75f});
    const QString text = mWell.color3DParam();
    EXPECT_EQ(text.toStdString(), "rgb(0.250,0.500,0.750)");
    mWell.setColor3D({1, 1, 1});
    mWell.setColor3DParam(text);
    ExpectColor(mWell.getColor4D(), 0.25f, 0.5f, 0.75f, 1);
    mWell.setColor3DParam("rgb(0.2,0.5,0.8)");
    ExpectColor(mWell.getColor4D(), 0.2f, 0.5f, 0.8f, 1);
}

TEST_F(ColorWell, ParameterTextsOfEveryShapeGiveDefinedColours)
{
    struct Case
    {
        const char* text;
        NSColor4D expected;
        bool whole; // a complete "rgb(r,g,b)", as a stored colour must be
    };
    const Case cases[] = {
        {"rgb(0.1,0.2,0.3)", {0.1f, 0.2f, 0.3f, 1}, true},
        {"rgb( 1, +0.5,0)", {1, 0.5f, 0, 1}, true},
        {"rgb(-5,1e30,2)", {0, 1, 1, 1}, true},
        {"rgb(1e999,0,0)", {1, 0, 0, 1}, true},
        {"rgb(nan,0.5,0.5)", {0, 0.5f, 0.5f, 1}, false},
        {"rgb(0.5,0.5", {0.5f, 0.5f, 0, 1}, false},
        {"rgb(0.5;0.5;0.5)", {0.5f, 0, 0, 1}, false},
        {"hsv(0.5,0.5,0.5)", {0, 0, 0, 1}, false},
        {"", {0, 0, 0, 1}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        mWell.setColor4D({0.9f, 0.9f, 0.9f, 0.4f});
        mWell.setColor3DParam(c.text);
        ExpectColor(mWell.getColor4D(), c.expected.red, c.expected.green, c.expected.blue, 1);
        EXPECT_EQ(NSColorWell::parseColor3DParam(c.text, nullptr), c.whole);
    }
    mWell.setColor4DParam("rgba(0.1,0.2,0.3)"); // alpha not given: 1
    ExpectColor(mWell.getColor4D(), 0.1f, 0.2f, 0.3f, 1);
    mWell.setColor4DParam("rgba(0.1,0.2,0.3,0.25)");
    EXPECT_EQ(mWell.color4DParam().toStdString(), "rgba(0.100,0.200,0.300,0.250)");
}

TEST_F(ColorWell, TheLockHoldsEveryWellsColourButNotTheAlpha)
{
    NSColorWell other;
    other.setColor4D({0.5f, 0.5f, 0.5f, 1});
    mWell.setColor4D({0.5f, 0.5f, 0.5f, 1});
    NSColorWell::setColorParamsLocked(true);
    EXPECT_TRUE(NSColorWell::colorParamsLocked());
    other.setColor3DParam("rgb(1,0,0)");
    mWell.setColor4DParam("rgba(1,0,0,0.25)");
    ExpectColor(other.getColor4D(), 0.5f, 0.5f, 0.5f, 1);
    ExpectColor(mWell.getColor4D(), 0.5f, 0.5f, 0.5f, 0.25f);
    // Colours set directly are not parameters: the lock does not hold them.
    mWell.setColor3D({0, 1, 0});
    ExpectColor(mWell.getColor4D(), 0, 1, 0, 1);
    NSColorWell::setColorParamsLocked(false);
    other.setColor3DParam("rgb(1,0,0)");
    ExpectColor(other.getColor4D(), 1, 0, 0, 1);
}

TEST_F(ColorWell, ComponentSettersKeepWhatTheySayAndClampTheRest)
{
    mWell.setColorRedBlueGreenAlpha(0.1f, 0.2f, 0.3f, 0.4f); // red, blue, green
    ExpectColor(mWell.getColor4D(), 0.1f, 0.3f, 0.2f, 0.4f);
    mWell.setColor3DPreserveAlpha({1, 1, 1});
    ExpectColor(mWell.getColor4D(), 1, 1, 1, 0.4f);
    mWell.setColorPreserveAlpha(QColor::fromRgbF(0, 0, 1, 0.9f));
    ExpectColor(mWell.getColor4D(), 0, 0, 1, 0.4f);
    EXPECT_TRUE(mWell.setColorAlpha(0.75f));
    ExpectColor(mWell.getColor4D(), 0, 0, 1, 0.75f);
    EXPECT_EQ(mWell.colorWithoutAlpha().alphaF(), 1.0f);
    EXPECT_NEAR(mWell.colorWithAlpha().alphaF(), 0.75f, 1.0 / 65535);
    mWell.setColor4D({std::nanf(""), -5, 1e30f, std::nanf("")});
    ExpectColor(mWell.getColor4D(), 0, 0, 1, 1);
}

TEST_F(ColorWell, AColourWithoutRGBFormReadsAsOpaqueBlackWithAReport)
{
    mWell.setColorWithoutRGB();
    p3dtest::LogCapture log;
    ExpectColor(mWell.getColor4D(), 0, 0, 0, 1);
    EXPECT_FALSE(mWell.setColorAlpha(0.5f));
    EXPECT_EQ(mWell.color3DParam().toStdString(), "rgb(0.000,0.000,0.000)");
    EXPECT_NE(log.text().find(" code : currentRGB in "), std::string::npos);
    mWell.setColor3DPreserveAlpha({0.5f, 0.5f, 0.5f}); // no alpha to keep: opaque
    ExpectColor(mWell.getColor4D(), 0.5f, 0.5f, 0.5f, 1);
}

TEST_F(ColorWell, EngineColoursGoInAndOutWithOrWithoutAlpha)
{
    mWell.setCIColor(CIColor::colorWithRed(0.2, 0.4, 0.6, 0.5).get());
    CFPtr<CIColor> withAlpha = mWell.getCIColorAlpha();
    CFPtr<CIColor> opaque = mWell.getCIColorOpaque();
    EXPECT_FLOAT_EQ(float(withAlpha->alpha()), 0.5f);
    EXPECT_FLOAT_EQ(float(opaque->blue()), 0.6f);
    EXPECT_EQ(opaque->alpha(), 1.0);
    mWell.setCIColorPreserveAlpha(CIColor::colorWithRed(1, 0, 0, 0.1).get());
    ExpectColor(mWell.getColor4D(), 1, 0, 0, 0.5f);
    mWell.setCIColorOpaque(CIColor::colorWithRed(0, 1, 0, 0.1).get());
    ExpectColor(mWell.getColor4D(), 0, 1, 0, 1);
    p3dtest::LogCapture log;
    mWell.setCIColor(nullptr);
    ExpectColor(mWell.getColor4D(), 0, 1, 0, 1);
    EXPECT_NE(log.text().find(" code : inColor in "), std::string::npos);
}

} // namespace
