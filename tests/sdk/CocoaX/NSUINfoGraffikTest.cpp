#include <QPainter>
#include <gtest/gtest.h>

#include "NSImage_CocoaX.h"
#include "NSUINfoGraffik.h"
#include "NSUINfoGraffikImage.h"
#include "NSUINfoGraffikToggle.h"
#include "NSUIOvalToolButton.h"
#include "ShapeOracle.h"
#include "TestSupport.h"
#include "WidgetApplication.h"

namespace {

using shapeoracle::Circle;
using shapeoracle::ExpectShape;
using shapeoracle::RoundRect;

// A tint that no grey can be mistaken for.
const QColor kTint(0, 102, 204);

class Graffik : public testing::Test
{
protected:
    void SetUp() override { p3dtest::WidgetApplication(); }
};

// What the button draws, over transparency.
QImage Rendered(QWidget& button)
{
    QImage image(button.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    button.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

void ExpectRect(CGRect got, CGRect want, const char* what)
{
    EXPECT_NEAR(got.origin.x, want.origin.x, 1e-9) << what;
    EXPECT_NEAR(got.origin.y, want.origin.y, 1e-9) << what;
    EXPECT_NEAR(got.size.width, want.size.width, 1e-9) << what;
    EXPECT_NEAR(got.size.height, want.size.height, 1e-9) << what;
}

TEST_F(Graffik, LayoutPlacesShapeAndPictureByKindAndSize)
{
    struct Case
    {
        const char* what;
        int w, h, kind;
        bool circle;
        CGRect shape;
        CGFloat radius;
        CGRect picture;
    };
    const Case cases[] = {
        // 44 x 28 inside the margin; the square is centred, then moved 1 left and down.
        {"48x32 round rect", 48, 32, 2, false, CGRectMake(9, 1, 28, 28), 8,
         CGRectMake(10, 2, 28, 28)},
        {"100x100 round", 100, 100, 3, true, CGRectMake(2, 2, 96, 96), 12,
         CGRectMake(6.8, 6.8, 86.4, 86.4)},
        {"80x80 kind 0", 80, 80, 0, false, CGRectMake(0, 0, 80, 80), 12, CGRectMake(0, 0, 80, 80)},
        {"50x50 radio", 50, 50, 1, true, CGRectMake(2, 2, 46, 46), 8,
         CGRectMake(6.6, 6.6, 36.8, 36.8)},
        {"kind 7 draws as 0", 64, 64, 7, false, CGRectMake(1, 1, 60, 60), 8,
         CGRectMake(2, 2, 60, 60)},
    };
    for (const Case& c : cases) {
        const CGFloat m = c.kind ? 2 : 0;
        const NSUINfoGraffikLayout layout = NSUINfoGraffikImage::layoutForKind(
            CGRectMake(m, m, c.w - 2 * m, c.h - 2 * m), m, c.kind);
        EXPECT_EQ(layout.circle, c.circle) << c.what;
        ExpectRect(layout.shape, c.shape, c.what);
        ExpectRect(layout.picture, c.picture, c.what);
        if (!c.circle) {
            EXPECT_EQ(layout.radius, c.radius) << c.what;
        }
    }
}

TEST_F(Graffik, OffAndOnImagesFillTheirShapesInGreyOrTint)
{
    // No picture of that name: the images hold their shapes alone.
    const QImage off =
        NSUINfoGraffikImage::imageForSizeState("NoSuchPicture", {48, 32}, 0, 2, kTint);
    const QImage on =
        NSUINfoGraffikImage::imageForSizeState("NoSuchPicture", {48, 32}, 1, 2, kTint);
    ASSERT_EQ(off.size(), QSize(48, 32));
    EXPECT_GT(ExpectShape(off, RoundRect(9, 1, 28, 28, 8), {0.1, 0.5}), 400);
    EXPECT_EQ(on.pixelColor(23, 16), kTint);
    EXPECT_EQ(on.pixelColor(5, 16).alpha(), 0);

    const QImage round =
        NSUINfoGraffikImage::imageForSizeState("NoSuchPicture", {100, 100}, 0, 3, kTint);
    EXPECT_GT(ExpectShape(round, Circle(50, 50, 48), {0.1, 0.5}), 6000);
}

TEST_F(Graffik, PictureIsDrawnAtTheStateOpacityOverTheShape)
{
    // Info's stem covers (27..37, 27..51) of its 64-unit square; the 48 x 32 round rect puts
    // that square at (10, 2) y up, 28 pixels wide: the stem's middle lands near (24, 19) y down.
    const QImage off = NSUINfoGraffikImage::imageForSizeState("Info", {48, 32}, 0, 2, kTint);
    const QImage on = NSUINfoGraffikImage::imageForSizeState("Info", {48, 32}, 1, 2, kTint);
    // White at 0.3 over grey 0.1 at 0.5: alpha 0.65, colour (0.3 + 0.05 x 0.7) / 0.65.
    const QColor offStem = off.pixelColor(24, 19);
    EXPECT_NEAR(offStem.alphaF(), 0.65, 0.02);
    EXPECT_NEAR(offStem.redF(), 0.335 / 0.65, 0.02);
    // White at 0.5 over the opaque tint.
    const QColor onStem = on.pixelColor(24, 19);
    EXPECT_EQ(onStem.alpha(), 255);
    EXPECT_NEAR(onStem.blueF(), 0.5 + 0.5 * kTint.blueF(), 0.02);
    EXPECT_NEAR(onStem.redF(), 0.5, 0.02);
}

TEST_F(Graffik, SameNameInAnyCaseChangesNothingAnotherNameRemakesBoth)
{
    NSUINfoGraffikRoundRect button("Info", QSize(48, 32));
    EXPECT_EQ(button.buttonKind(), 2);
    EXPECT_EQ(button.text(), "Info") << "the title reads back as the picture";
    const qint64 off = button.cell()->image.cacheKey();
    const qint64 on = button.cell()->alternateImage.cacheKey();
    button.setTitle("INFO");
    static_cast<QAbstractButton&>(button).setText("iNFO");
    Rendered(button);
    EXPECT_EQ(button.cell()->image.cacheKey(), off);
    EXPECT_EQ(button.cell()->alternateImage.cacheKey(), on);
    EXPECT_EQ(button.buttonName(), "Info");
    button.setTitle("Swap");
    EXPECT_NE(button.cell()->image.cacheKey(), off);
    EXPECT_NE(button.cell()->alternateImage.cacheKey(), on);
    EXPECT_EQ(button.buttonName(), "Swap");
    EXPECT_TRUE(button.isButtonNamed("swap"));
}

TEST_F(Graffik, EveryWayOfSettingThePictureRemakesTheImages)
{
    struct Case
    {
        const char* what;
        void (*set)(NSUINfoGraffik&);
    };
    const Case cases[] = {
        {"setTitle", [](NSUINfoGraffik& b) { b.setTitle("Swap"); }},
        {"QAbstractButton::setText",
         [](NSUINfoGraffik& b) { static_cast<QAbstractButton&>(b).setText("Swap"); }},
        {"text property", [](NSUINfoGraffik& b) { b.setProperty("text", QString("Swap")); }},
        {"setImage", [](NSUINfoGraffik& b) { b.setImage(NSImageNamed("Swap")); }},
        {"setImage of the tool button",
         [](NSUINfoGraffik& b) { static_cast<NSUIToolButton&>(b).setImage(NSImageNamed("Swap")); }},
    };
    const QImage swapOff =
        NSUINfoGraffikImage::imageForSizeState("Swap", {48, 32}, 0, 2, NSUIControlTintColor());
    for (const Case& c : cases) {
        NSUINfoGraffikRoundRect button("Info", QSize(48, 32));
        c.set(button);
        EXPECT_EQ(Rendered(button), swapOff) << c.what;
    }
}

TEST_F(Graffik, ToolButtonImagesAreScaledToFitAndCentred)
{
    struct Case
    {
        QSize button, image;
        QRect drawn;
    };
    const Case cases[] = {
        {{64, 32}, {16, 16}, {16, 0, 32, 32}},
        {{32, 64}, {40, 20}, {0, 24, 32, 16}},
        {{48, 48}, {48, 48}, {0, 0, 48, 48}},
    };
    for (const Case& c : cases) {
        NSUIToolButton button;
        button.resize(c.button);
        QImage image(c.image, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::red);
        button.setImage(image);
        QImage expected(c.button, QImage::Format_ARGB32_Premultiplied);
        expected.fill(Qt::transparent);
        QPainter(&expected).fillRect(c.drawn, Qt::red);
        EXPECT_EQ(Rendered(button), expected) << c.drawn.x() << "," << c.drawn.y();
    }
}

TEST_F(Graffik, ButtonWithoutSizeReportsAndKeepsNoImages)
{
    p3dtest::LogCapture log;
    NSUINfoGraffikRound button("Info", QSize(0, 0));
    const std::string text = log.text();
    EXPECT_NE(text.find(" code : image in"), std::string::npos) << text;
    EXPECT_NE(text.find(" code : offImage in"), std::string::npos) << text;
    EXPECT_NE(text.find(" code : onImage in"), std::string::npos) << text;
    EXPECT_NE(text.find("forState:NSOnState forKind:forKind ]"), std::string::npos) << text;
    EXPECT_TRUE(button.cell()->image.isNull());
}

TEST_F(Graffik, PictureNamesCannotLeaveThePictures)
{
    p3dtest::LogCapture log;
    const QImage image =
        NSUINfoGraffikImage::imageForSizeState("../pictures/Info", {32, 32}, 0, 0, kTint);
    EXPECT_GT(ExpectShape(image, RoundRect(0, 0, 32, 32, 8), {0.1, 0.5}), 0) << "the shape alone";
    const QImage unnamed = NSUINfoGraffikImage::imageForSizeState(nullptr, {32, 32}, 0, 0, kTint);
    EXPECT_NE(log.text().find(" code : imageName in"), std::string::npos);
    EXPECT_FALSE(unnamed.isNull());
}

TEST_F(Graffik, CellAttributesOfToolButtons)
{
    p3dtest::LogCapture log;
    EXPECT_FALSE(NSUIToolButton::setDefaultCellAttributes(nullptr));
    EXPECT_NE(log.text().find(" code : buttonCell in"), std::string::npos);
    NSUIButtonCell cell;
    cell.title = "Title";
    ASSERT_TRUE(NSUIToolButton::setDefaultCellAttributes(&cell));
    EXPECT_EQ(cell.bezelStyle, 6);
    EXPECT_EQ(cell.imagePosition, 1);
    EXPECT_FALSE(cell.bordered || cell.bezeled || cell.lightsByContents || cell.lightsByGray ||
                 cell.lightsByBackground);
    EXPECT_TRUE(cell.title.isEmpty());
}

TEST_F(Graffik, TogglesShowTheirOnImageWhileOn)
{
    NSUINfoGraffikToggle toggle("Swap", QSize(40, 40));
    NSUINfoGraffikRoundPushOnPushOff push("Broadcast", QSize(40, 40));
    for (NSUIToolButton* button :
         {static_cast<NSUIToolButton*>(&toggle), static_cast<NSUIToolButton*>(&push)}) {
        EXPECT_EQ(button->displayedImage().cacheKey(), button->cell()->image.cacheKey());
        button->click();
        EXPECT_TRUE(button->isChecked());
        EXPECT_EQ(button->displayedImage().cacheKey(), button->cell()->alternateImage.cacheKey());
    }
    // Kind 4 draws the round graffik: a tinted circle with clear corners.
    EXPECT_EQ(push.cell()->buttonType, 1);
    const QImage on = push.cell()->alternateImage;
    EXPECT_EQ(on.pixelColor(1, 1).alpha(), 0);
    EXPECT_EQ(on.pixelColor(20, 4).alpha(), 255);
}

TEST_F(Graffik, OvalDrawnOnlyUnderASingleImage)
{
    auto oval = [](bool alternate) {
        NSUIOvalToolButton button;
        button.resize(30, 30);
        button.cell()->image = QImage(1, 1, QImage::Format_ARGB32_Premultiplied);
        button.cell()->image.fill(Qt::transparent);
        if (alternate)
            button.cell()->alternateImage = button.cell()->image;
        return Rendered(button);
    };
    EXPECT_GT(ExpectShape(oval(false), Circle(15, 15, 15), {0.1, 0.8}), 0);
    const QImage none = oval(true);
    EXPECT_EQ(none.pixelColor(15, 15).alpha(), 0);
}

} // namespace
