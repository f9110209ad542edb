#include <QPainter>
#include <gtest/gtest.h>

#include "CoreGraphicsPaintContext.h"
#include "NSUIColorContentView.h"
#include "ShapeOracle.h"
#include "WidgetApplication.h"

namespace {

using shapeoracle::Capsule;
using shapeoracle::Circle;
using shapeoracle::ExpectShape;
using shapeoracle::RoundRect;

NSUIColorContent ContentOf(const char* className)
{
    const std::unique_ptr<NSUIColorContentView> view = NSUIColorViewNamed(className);
    EXPECT_TRUE(view) << className;
    return view ? view->content() : NSUIColorContent();
}

QImage Draw(const char* className, int w, int h)
{
    return NSUIColorContentImage(ContentOf(className), QSize(w, h));
}

bool AllTransparent(const QImage& image)
{
    for (int row = 0; row < image.height(); ++row)
        for (int col = 0; col < image.width(); ++col)
            if (image.pixelColor(col, row).alpha() != 0)
                return false;
    return true;
}

class ColorContentView : public testing::Test
{
protected:
    void SetUp() override { p3dtest::WidgetApplication(); }
};

struct ShapeCase
{
    const char* className;
    int w, h;
    shapeoracle::Distance shape; // in the view's y-up coordinates
    shapeoracle::Colour colour;
};

TEST_F(ColorContentView, DrawsEachShapeWhereGeometrySaysAndNothingElse)
{
    const shapeoracle::Colour grey{0.75, 1}, black{0.05, 1}, lozenge{0.75, 0.8};
    const ShapeCase cases[] = {
        // A fraction of the smaller side, or ten pixels whatever the size.
        {"NSUIGreyRoundRectView", 100, 40, RoundRect(0, 0, 100, 40, 10), grey},
        {"NSUIGreyRoundRectView", 400, 200, RoundRect(0, 0, 400, 200, 50), grey},
        {"NSUIGreyRoundRectViewCorner10", 100, 40, RoundRect(0, 0, 100, 40, 10), grey},
        {"NSUIGreyRoundRectViewCorner10", 400, 200, RoundRect(0, 0, 400, 200, 10), grey},
        // Not pure black.
        {"NSUIBlackOpaqueView", 20, 10, RoundRect(0, 0, 20, 10, 0), black},
        // Only the top corners fall inside: a shape twice as high, reaching below the view.
        {"NSUIGreyRoundRectTopViewCorner10", 200, 60, RoundRect(0, -60, 200, 120, 10), grey},
        {"NSUIGreyRoundRectBottomViewCorner10", 200, 60, RoundRect(0, 0, 200, 120, 10), grey},
        // Pills 28 and 30 thick inset one pixel top and bottom; equal sides give a circle.
        {"NSUIGreyLozengeView", 120, 30, Capsule(14, 15, 106, 15, 14), lozenge},
        {"NSUIGreyLozengeView", 30, 120, Capsule(15, 16, 15, 104, 15), lozenge},
        {"NSUIGreyLozengeView", 30, 32, Circle(15, 16, 15), lozenge},
        {"NSUIBlackCircleView", 60, 60, Circle(30, 30, 30), black},
    };
    for (const ShapeCase& c : cases) {
        const std::string what =
            std::string(c.className) + " " + std::to_string(c.w) + "x" + std::to_string(c.h);
        EXPECT_GT(ExpectShape(Draw(c.className, c.w, c.h), c.shape, c.colour, {0, 0}, what), 0)
            << what;
    }
}

TEST_F(ColorContentView, TopAndBottomVariantsRoundOppositeEdges)
{
    const QImage top = Draw("NSUIGreyRoundRectTopViewCorner10", 200, 60);
    const QImage bottom = Draw("NSUIGreyRoundRectBottomViewCorner10", 200, 60);
    // Row 0 is the top: the corner pixel is clear where that edge is rounded.
    EXPECT_EQ(top.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(top.pixelColor(0, 59).alpha(), 255);
    EXPECT_EQ(bottom.pixelColor(0, 0).alpha(), 255);
    EXPECT_EQ(bottom.pixelColor(0, 59).alpha(), 0);
}

TEST_F(ColorContentView, CircleClearsWhatWasUnderItsCorners)
{
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::red);
    {
        QPainter painter(&image);
        CoreGraphics::PaintContext context(painter, 40);
        const CGRect bounds = CGRectMake(0, 0, 40, 40);
        NSUIDrawColorContent(context, bounds, bounds, ContentOf("NSUIGreyCircleView"));
    }
    EXPECT_GT(ExpectShape(image, Circle(20, 20, 20), {0.75, 1}), 0);
}

TEST_F(ColorContentView, InvisibleContentDrawsNothing)
{
    NSUIColorContent badFlags = ContentOf("NSUIGreyRoundRectViewCorner10");
    for (int flags : {0, 4, -1, 1000}) {
        badFlags.flags = flags;
        EXPECT_TRUE(AllTransparent(NSUIColorContentImage(badFlags, QSize(50, 30))))
            << "flags " << flags;
    }
    EXPECT_TRUE(AllTransparent(Draw("NSUITransparentView", 50, 30)));
}

TEST_F(ColorContentView, StrokedRoundRectDrawsOnlyItsBorder)
{
    // Radius 10 (a quarter of 40), a stroke 3 radii wide centred on the outline: 15 pixels
    // inside it, the rest of the middle keeps the invisible fill.
    const QImage image = Draw("NSUIGreyStrokedRoundRectView", 100, 40);
    const shapeoracle::Distance outline = RoundRect(0, 0, 100, 40, 10);
    const shapeoracle::Distance border = [&](double x, double y) {
        return std::fabs(outline(x, y)) - 15;
    };
    EXPECT_GT(ExpectShape(image, border, {0.75, 1}), 0);
    EXPECT_EQ(image.pixelColor(50, 20).alpha(), 0);
}

TEST_F(ColorContentView, ZeroCornerFillsThePlainRectangle)
{
    NSUIColorContent content = ContentOf("NSUIGreyRoundRectView");
    content.corner = 0;
    EXPECT_GT(ExpectShape(NSUIColorContentImage(content, QSize(100, 40)),
                          RoundRect(0, 0, 100, 40, 0), {0.75, 1}),
              3000);
}

TEST_F(ColorContentView, PresetsAndSettersGiveTheirGreysAndOpacities)
{
    struct Preset
    {
        const char* className;
        float grey, opacity;
    };
    const Preset presets[] = {
        {"NSUIWhiteOpaqueView", 1, 1},
        {"NSUIMedGreyOpaqueView", 0.5f, 1},
        {"NSUIDarkGreyRoundRectView", 0.25f, 1},
        {"NSUIBlackRoundRectBottomViewCorner10", 0.05f, 1},
        {"NSUITransparentView", 1, 0},
        {"NSUIGreyStrokedRoundRectView", 0.75f, 0},
        {"NSUIAccentRoundRectViewCorner10", 0.5f, 0.25f},
        {"NSUIBaseLozengeView", 0.75f, 0.8f},
        {"NSUIMedGreyLozengeView", 0.5f, 0.75f},
        {"NSUIAccentLozengeView", 0.5f, 0.25f},
        {"NSUIDarkGreyCircleView", 0.25f, 1},
    };
    for (const Preset& p : presets) {
        const NSUIColorContent c = ContentOf(p.className);
        EXPECT_EQ(c.viewColorRGB, (std::array<float, 3>{p.grey, p.grey, p.grey})) << p.className;
        EXPECT_EQ(c.alphaOpacity, p.opacity) << p.className;
    }
    EXPECT_EQ(NSUIColorViewNamed("NSUIPurpleView"), nullptr);
    EXPECT_EQ(NSUIColorViewNamed(nullptr), nullptr);

    NSUIColorContentView view;
    view.setAccentColors();
    EXPECT_EQ(view.content().alphaOpacity, 0.25f);
    view.setGreyColor(0.3f, 0.6f);
    EXPECT_EQ(view.content().viewColorRGB, (std::array<float, 3>{0.3f, 0.3f, 0.3f}));
    EXPECT_EQ(view.content().alphaOpacity, 0.6f);
    const auto made = NSUIColorContentView::colorViewWith(0.1f, 0.2f, 0.3f);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->content().viewColorRGB, (std::array<float, 3>{0.1f, 0.2f, 0.3f}));
    EXPECT_EQ(made->content().alphaOpacity, 1.0f);
}

TEST_F(ColorContentView, WidgetPaintsItsContent)
{
    NSUIBlackRoundRectViewCorner10 view;
    view.resize(80, 40);
    QImage image(80, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_GT(ExpectShape(image, RoundRect(0, 0, 80, 40, 10), {0.05, 1}), 0);
}

TEST_F(ColorContentView, CircleWidgetLeavesItsCornersToTheParent)
{
    NSUIGreyOpaqueView parent; // white would hide a hole as well as grey shows one
    parent.setGreyColor(0.25f);
    parent.resize(40, 40);
    auto* circle = new NSUIGreyCircleView(&parent);
    circle->setGeometry(0, 0, 40, 40);
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    parent.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_GT(ExpectShape(image, Circle(20, 20, 20), {0.75, 1}, {0.25, 1}), 0);
}

} // namespace
