#include <QImage>
#include <QPainter>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

#include "CoreGraphicsContext.h"
#include "CoreGraphicsPaintContext.h"
#include "TestSupport.h"
#include "WidgetApplication.h"
#include "namespace_CoreGraphics_RoundRectPath.h"

namespace {

// Every point of the path in order, each element followed by (NaN, its type).
std::vector<CGPoint> Points(CGPathRef path)
{
    std::vector<CGPoint> points;
    CGPathApply(path, &points, [](void* info, const CGPathElement* e) {
        auto& all = *static_cast<std::vector<CGPoint>*>(info);
        const int n = e->type == kCGPathElementAddCurveToPoint ? 3
                      : e->type == kCGPathElementCloseSubpath  ? 0
                                                               : 1;
        all.insert(all.end(), e->points, e->points + n);
        all.push_back(CGPointMake(NAN, e->type));
    });
    return points;
}

TEST(CGPath, ArcToPointTouchesBothLinesOnTheCircle)
{
    CGMutablePathRef path = CGPathCreateMutable();
    CGPathMoveToPoint(path, nullptr, 10, 5);
    CGPathAddArcToPoint(path, nullptr, 10, 10, 5, 10, 2); // a left turn at (10, 10)
    const std::vector<CGPoint> points = Points(path);
    // move (10,5); line to the first touch point (10,8); one quarter curve to (8,10).
    ASSERT_GE(points.size(), 7u);
    EXPECT_DOUBLE_EQ(points[2].x, 10);
    EXPECT_DOUBLE_EQ(points[2].y, 8);
    const CGPoint end = CGPathGetCurrentPoint(path);
    EXPECT_NEAR(end.x, 8, 1e-12);
    EXPECT_NEAR(end.y, 10, 1e-12);
    // The curve's middle lies on the circle of centre (8, 8): evaluate the cubic at t = 0.5.
    const CGPoint p0 = points[2], p1 = points[4], p2 = points[5], p3 = points[6];
    const double mx = (p0.x + 3 * p1.x + 3 * p2.x + p3.x) / 8;
    const double my = (p0.y + 3 * p1.y + 3 * p2.y + p3.y) / 8;
    EXPECT_NEAR(std::hypot(mx - 8, my - 8), 2, 2 * 3e-4);

    CGMutablePathRef straight = CGPathCreateMutable();
    CGPathMoveToPoint(straight, nullptr, 0, 0);
    CGPathAddArcToPoint(straight, nullptr, 5, 0, 10, 0, 1); // collinear: a line only
    EXPECT_EQ(CGPathGetCurrentPoint(straight).x, 5);
    CGPathRelease(straight);
    CGPathRelease(path);
}

TEST(RoundRectPath, UnitSpaceIsMeasuredInRadii)
{
    CoreGraphics::RoundRectPath rounded(CGRectMake(3, 4, 100, 40), 10, 10);
    EXPECT_EQ(rounded.unitWidth(), 10);
    EXPECT_EQ(rounded.unitHeight(), 4);
    const CGRect box = CGPathGetBoundingBox(rounded.path());
    EXPECT_NEAR(box.origin.x, 0, 1e-12);
    EXPECT_NEAR(box.size.width, 10, 1e-12);
    EXPECT_NEAR(box.size.height, 4, 1e-12);

    CoreGraphics::RoundRectPath square(CGRectMake(3, 4, 100, 40), 0, 0);
    const CGRect plain = CGPathGetBoundingBox(square.path());
    EXPECT_EQ(plain.size.width, 100);
    EXPECT_EQ(plain.size.height, 40);
}

TEST(RoundRectPath, StrokeWidthIsInRadiiAndZeroRadiusStillDraws)
{
    p3dtest::WidgetApplication();
    QImage image(100, 60, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        CoreGraphics::PaintContext context(painter, 60);
        context.SetRGBFillColor(0, 0, 0, 0);
        context.SetRGBStrokeColor(1, 1, 1, 1);
        // Radius 10 and width 1: a stroke of 10 pixels centred on the outline.
        CoreGraphics::RoundRectPath(CGRectMake(0, 0, 100, 60), 10, 10)
            .Draw(context, CGPointMake(0, 0), 1.0);
    }
    EXPECT_EQ(image.pixelColor(50, 3).alpha(), 255) << "4 pixels inside the top edge";
    EXPECT_EQ(image.pixelColor(50, 7).alpha(), 0) << "6 pixels inside";

    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        CoreGraphics::PaintContext context(painter, 60);
        CoreGraphics::CGContextDrawRoundRect(context, CGRectMake(10, 10, 30, 20), 0, 0);
    }
    EXPECT_EQ(image.pixelColor(25, 35).alpha(), 255) << "inside (10, 10, 30, 20) y up";
    EXPECT_EQ(image.pixelColor(5, 35).alpha(), 0);
}

TEST(DrawPDF, ReportsWhatIsMissing)
{
    p3dtest::WidgetApplication();
    QImage image(10, 10, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    CoreGraphics::PaintContext context(painter, 10);
    const CGRect rect = CGRectMake(0, 0, 10, 10);
    p3dtest::LogCapture log;
    EXPECT_FALSE(CoreGraphics::Context::DrawPDF(context, nullptr, rect, CGSizeMake(1, 1)));
    EXPECT_FALSE(CoreGraphics::Context::DrawPDF(context, "/nonexistent/picture.svg", rect,
                                                CGSizeMake(1, 1)));
    const std::string text = log.text();
    EXPECT_NE(text.find(" code : imageURL in"), std::string::npos) << text;
    EXPECT_NE(text.find(" code : pdfDocument in"), std::string::npos) << text;
    EXPECT_NE(text.find("(DrawPDF)"), std::string::npos) << text;
}

} // namespace
