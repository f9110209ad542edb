#include "NSUIColorContentView.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cstring>

#include "CoreGraphicsPaintContext.h"
#include "CoreMachDebugLog.h"
#include "namespace_CoreGraphics_RoundRectPath.h"

namespace {

using Shape = NSUIColorShape;

constexpr NSUIColorContent Content(float grey, float opacity, Shape shape = Shape::kRect,
                                   float corner = 0.25f, int flags = 3)
{
    return NSUIColorContent{{grey, grey, grey}, opacity, shape, corner, flags};
}

constexpr float kWhite = 1.0f, kGrey = 0.75f, kMedGrey = 0.5f, kDarkGrey = 0.25f;
// Pure black looks like a hole in the window; the black surfaces stay a shade lighter.
constexpr float kBlack = 0.05f;

const NSUIColorViewPreset kPresets[] = {
    {"NSUIWhiteOpaqueView", Content(kWhite, 1)},
    {"NSUIGreyOpaqueView", Content(kGrey, 1)},
    {"NSUIMedGreyOpaqueView", Content(kMedGrey, 1)},
    {"NSUIDarkGreyOpaqueView", Content(kDarkGrey, 1)},
    {"NSUIBlackOpaqueView", Content(kBlack, 1)},
    {"NSUITransparentView", Content(kWhite, 0)},
    {"NSUIGreyStrokedRoundRectView", Content(kGrey, 0, Shape::kStrokedRoundRect)},
    {"NSUIWhiteRoundRectView", Content(kWhite, 1, Shape::kRoundRect)},
    {"NSUIGreyRoundRectView", Content(kGrey, 1, Shape::kRoundRect)},
    {"NSUIDarkGreyRoundRectView", Content(kDarkGrey, 1, Shape::kRoundRect)},
    {"NSUIBlackRoundRectView", Content(kBlack, 1, Shape::kRoundRect)},
    {"NSUIWhiteRoundRectViewCorner10", Content(kWhite, 1, Shape::kRoundRect, 10)},
    {"NSUIGreyRoundRectViewCorner10", Content(kGrey, 1, Shape::kRoundRect, 10)},
    {"NSUIMedGreyRoundRectViewCorner10", Content(kMedGrey, 1, Shape::kRoundRect, 10)},
    {"NSUIDarkGreyRoundRectViewCorner10", Content(kDarkGrey, 1, Shape::kRoundRect, 10)},
    {"NSUIBlackRoundRectViewCorner10", Content(kBlack, 1, Shape::kRoundRect, 10)},
    {"NSUIWhiteRoundRectTopViewCorner10", Content(kWhite, 1, Shape::kRoundRect, 10, 1)},
    {"NSUIGreyRoundRectTopViewCorner10", Content(kGrey, 1, Shape::kRoundRect, 10, 1)},
    {"NSUIMedGreyRoundRectTopViewCorner10", Content(kMedGrey, 1, Shape::kRoundRect, 10, 1)},
    {"NSUIDarkGreyRoundRectTopViewCorner10", Content(kDarkGrey, 1, Shape::kRoundRect, 10, 1)},
    {"NSUIBlackRoundRectTopViewCorner10", Content(kBlack, 1, Shape::kRoundRect, 10, 1)},
    {"NSUIWhiteRoundRectBottomViewCorner10", Content(kWhite, 1, Shape::kRoundRect, 10, 2)},
    {"NSUIGreyRoundRectBottomViewCorner10", Content(kGrey, 1, Shape::kRoundRect, 10, 2)},
    {"NSUIMedGreyRoundRectBottomViewCorner10", Content(kMedGrey, 1, Shape::kRoundRect, 10, 2)},
    {"NSUIDarkGreyRoundRectBottomViewCorner10", Content(kDarkGrey, 1, Shape::kRoundRect, 10, 2)},
    {"NSUIBlackRoundRectBottomViewCorner10", Content(kBlack, 1, Shape::kRoundRect, 10, 2)},
    {"NSUIAccentRoundRectView", Content(kMedGrey, 0.25f, Shape::kRoundRect)},
    {"NSUIAccentRoundRectViewCorner10", Content(kMedGrey, 0.25f, Shape::kRoundRect, 10)},
    {"NSUIBaseLozengeView", Content(kGrey, 0.8f, Shape::kLozenge)},
    {"NSUIGreyLozengeView", Content(kGrey, 0.8f, Shape::kLozenge)},
    {"NSUIMedGreyLozengeView", Content(kMedGrey, 0.75f, Shape::kLozenge)},
    {"NSUIDarkGreyLozengeView", Content(kDarkGrey, 0.75f, Shape::kLozenge)},
    {"NSUIBlackLozengeView", Content(kBlack, 0.75f, Shape::kLozenge)},
    {"NSUIAccentLozengeView", Content(kMedGrey, 0.25f, Shape::kLozenge)},
    {"NSUIGreyCircleView", Content(kGrey, 1, Shape::kCircle)},
    {"NSUIDarkGreyCircleView", Content(kDarkGrey, 1, Shape::kCircle)},
    {"NSUIBlackCircleView", Content(kBlack, 1, Shape::kCircle)},
};
static_assert(std::size(kPresets) == static_cast<size_t>(NSUIColorViewKind::kCount));

template <size_t... I>
std::unique_ptr<NSUIColorContentView> MakeView(size_t index, QWidget* parent,
                                               std::index_sequence<I...>)
{
    std::unique_ptr<NSUIColorContentView> view;
    ((index == I
          ? (view = std::make_unique<NSUINamedColorView<static_cast<NSUIColorViewKind>(I)>>(parent),
             0)
          : 0),
     ...);
    return view;
}

void SetFill(CoreGraphics::PaintContext& context, const NSUIColorContent& c, float alpha)
{
    context.SetRGBFillColor(c.viewColorRGB[0], c.viewColorRGB[1], c.viewColorRGB[2], alpha);
}

void DrawRoundRectWithFlags(CoreGraphics::PaintContext& context, CGRect bounds, float corner,
                            int flags)
{
    CGRect rect = bounds;
    switch (flags) {
    case 1: // only the top corners fall inside the view
        rect.origin.y -= bounds.size.height / 2;
        rect.size.height *= 2;
        break;
    case 2: // only the bottom corners
        rect.size.height *= 2;
        break;
    case 3:
        break;
    default:
        return;
    }
    NSUIDrawRoundRect(context, rect, 0.0, corner);
}

} // namespace

const NSUIColorViewPreset& NSUIColorViewPresetOf(NSUIColorViewKind kind)
{
    const size_t index = std::min(static_cast<size_t>(kind), std::size(kPresets) - 1);
    return kPresets[index];
}

std::unique_ptr<NSUIColorContentView> NSUIColorViewNamed(const char* className, QWidget* parent)
{
    for (size_t i = 0; className && i < std::size(kPresets); ++i) {
        if (strcmp(kPresets[i].className, className) == 0)
            return MakeView(
                i, parent,
                std::make_index_sequence<static_cast<size_t>(NSUIColorViewKind::kCount)>());
    }
    return nullptr;
}

NSUIColorContentView::NSUIColorContentView(QWidget* parent) : QWidget(parent) {}

std::unique_ptr<NSUIColorContentView> NSUIColorContentView::colorViewWith(float red, float green,
                                                                          float blue)
{
    auto newView = std::make_unique<NSUIColorContentView>();
    if (VERIFY_AT("+[NSUIColorContentView colorViewWith:]", newView))
        newView->setColor(red, green, blue);
    return newView;
}

void NSUIColorContentView::setGreyColor(float grey)
{
    setColor(grey, grey, grey);
}

void NSUIColorContentView::setColor(float red, float green, float blue)
{
    mContent.viewColorRGB = {red, green, blue};
    update();
}

void NSUIColorContentView::setOpacity(float opacity)
{
    mContent.alphaOpacity = opacity;
    update();
}

void NSUIColorContentView::setGreyColor(float grey, float opacity)
{
    setGreyColor(grey);
    setOpacity(opacity);
}

void NSUIColorContentView::setWhiteOpaque()
{
    setGreyColor(kWhite, 1);
}

void NSUIColorContentView::setGreyOpaque()
{
    setGreyColor(kGrey, 1);
}

void NSUIColorContentView::setMedGreyOpaque()
{
    setGreyColor(kMedGrey, 1);
}

void NSUIColorContentView::setDarkGreyOpaque()
{
    setGreyColor(kDarkGrey, 1);
}

void NSUIColorContentView::setBlackOpaque()
{
    setGreyColor(kBlack, 1);
}

void NSUIColorContentView::setAccentColors()
{
    setMedGreyOpaque();
    setOpacity(0.25f);
}

void NSUIColorContentView::setShape(NSUIColorShape shape, float corner, int flags)
{
    mContent.shape = shape;
    mContent.corner = corner;
    mContent.flags = flags;
    update();
}

void NSUIColorContentView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    CoreGraphics::PaintContext context(painter, height());
    const QRect dirty = event->rect();
    // Qt paints a widget over its parent's pixels, so the corners around a circle already show
    // what lies behind; clearing them would punch through to the window's black backing.
    NSUIDrawColorContent(
        context, CGRectMake(0, 0, width(), height()),
        CGRectMake(dirty.x(), height() - dirty.y() - dirty.height(), dirty.width(), dirty.height()),
        mContent, false);
}

void NSUIDrawRoundRect(CoreGraphics::PaintContext& context, CGRect rect, CGFloat lineWidth,
                       CGFloat corner)
{
    CGFloat radius = corner;
    if (corner < 1.0)
        radius = std::min(rect.size.width * corner, rect.size.height * corner);
    CoreGraphics::RoundRectPath path(rect, radius, radius);
    path.Draw(context, rect.origin, lineWidth);
}

void NSUIDrawLozenge(CoreGraphics::PaintContext& context, CGRect rect,
                     const std::array<float, 3>& color, float opacity)
{
    const CGFloat x = rect.origin.x, y = rect.origin.y + 1.0, w = rect.size.width,
                  h = rect.size.height - 2.0;
    context.SaveGState();
    context.SetRGBStrokeColor(color[0], color[1], color[2], opacity);
    context.SetRoundLineCap(true);
    if (w > h) {
        context.SetLineWidth(h);
        context.StrokeLineSegment(CGPointMake(x + h / 2, y + h / 2),
                                  CGPointMake(x + h / 2 + (w - h), y + h / 2));
    } else if (w < h) {
        context.SetLineWidth(w);
        context.StrokeLineSegment(CGPointMake(x + w / 2, y + w / 2),
                                  CGPointMake(x + w / 2, y + w / 2 + (h - w)));
    } else {
        context.SetRGBFillColor(color[0], color[1], color[2], opacity);
        context.FillEllipseInRect(CGRectMake(x, y, w, h));
    }
    context.RestoreGState();
}

void NSUIDrawColorContent(CoreGraphics::PaintContext& context, CGRect bounds, CGRect dirty,
                          const NSUIColorContent& content, bool clearAroundCircle)
{
    context.SaveGState();
    SetFill(context, content, content.alphaOpacity);
    switch (content.shape) {
    case Shape::kRect:
        context.FillRect(dirty);
        break;
    case Shape::kRoundRect:
        DrawRoundRectWithFlags(context, bounds, content.corner, content.flags);
        break;
    case Shape::kStrokedRoundRect:
        context.SetRGBStrokeColor(content.viewColorRGB[0], content.viewColorRGB[1],
                                  content.viewColorRGB[2], 1.0);
        NSUIDrawRoundRect(context, bounds, 3.0, 0.25);
        break;
    case Shape::kLozenge:
        NSUIDrawLozenge(context, bounds, content.viewColorRGB, content.alphaOpacity);
        break;
    case Shape::kCircle:
        if (clearAroundCircle)
            context.ClearRect(bounds);
        context.FillEllipseInRect(bounds);
        break;
    }
    context.RestoreGState();
}

QImage NSUIColorContentImage(const NSUIColorContent& content, QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    CoreGraphics::PaintContext context(painter, size.height());
    const CGRect bounds = CGRectMake(0, 0, size.width(), size.height());
    NSUIDrawColorContent(context, bounds, bounds, content);
    return image;
}

bool import_NSUIColorContentView()
{
    return true;
}
