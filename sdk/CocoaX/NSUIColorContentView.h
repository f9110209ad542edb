// Plain coloured surfaces: one colour at one opacity, filled as a rectangle, a rounded
// rectangle, a lozenge or a circle. The named views differ only in preset and shape, so they
// are one class template over a table; what they draw is a pure function of the content and
// the bounds, which the widget calls.
#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <memory>

#include "CoreGraphics.h"

namespace CoreGraphics {
class PaintContext;
}

enum class NSUIColorShape {
    kRect,             // the dirty rectangle
    kRoundRect,        // filled, corner and flags as given
    kStrokedRoundRect, // 3 radii wide border in the colour at alpha 1, corner 0.25
    kLozenge,          // a pill along the long side
    kCircle,           // the ellipse in the bounds, over cleared corners
};

// What a colour view draws.
struct NSUIColorContent
{
    std::array<float, 3> viewColorRGB{1.0f, 1.0f, 1.0f};
    float alphaOpacity = 1.0f;
    NSUIColorShape shape = NSUIColorShape::kRect;
    // Below 1: a fraction of the smaller side; from 1 up: pixels.
    float corner = 0.25f;
    // 1 top corners only, 2 bottom corners only, 3 all; anything else draws nothing.
    int flags = 3;
};

class NSUIColorContentView : public QWidget
{
public:
    explicit NSUIColorContentView(QWidget* parent = nullptr);

    // A new view of that colour, white's opacity and a plain rectangle.
    static std::unique_ptr<NSUIColorContentView> colorViewWith(float red, float green, float blue);

    void setGreyColor(float grey);
    void setColor(float red, float green, float blue);
    void setOpacity(float opacity);
    void setGreyColor(float grey, float opacity);
    void setWhiteOpaque();
    void setGreyOpaque();
    void setMedGreyOpaque();
    void setDarkGreyOpaque();
    void setBlackOpaque();
    void setAccentColors();

    const NSUIColorContent& content() const { return mContent; }
    void setShape(NSUIColorShape shape, float corner = 0.25f, int flags = 3);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    NSUIColorContent mContent;
};

// The named views, in the order of the table below.
enum class NSUIColorViewKind {
    kWhiteOpaque,
    kGreyOpaque,
    kMedGreyOpaque,
    kDarkGreyOpaque,
    kBlackOpaque,
    kTransparent,
    kGreyStrokedRoundRect,
    kWhiteRoundRect,
    kGreyRoundRect,
    kDarkGreyRoundRect,
    kBlackRoundRect,
    kWhiteRoundRectCorner10,
    kGreyRoundRectCorner10,
    kMedGreyRoundRectCorner10,
    kDarkGreyRoundRectCorner10,
    kBlackRoundRectCorner10,
    kWhiteRoundRectTopCorner10,
    kGreyRoundRectTopCorner10,
    kMedGreyRoundRectTopCorner10,
    kDarkGreyRoundRectTopCorner10,
    kBlackRoundRectTopCorner10,
    kWhiteRoundRectBottomCorner10,
    kGreyRoundRectBottomCorner10,
    kMedGreyRoundRectBottomCorner10,
    kDarkGreyRoundRectBottomCorner10,
    kBlackRoundRectBottomCorner10,
    kAccentRoundRect,
    kAccentRoundRectCorner10,
    kBaseLozenge,
    kGreyLozenge,
    kMedGreyLozenge,
    kDarkGreyLozenge,
    kBlackLozenge,
    kAccentLozenge,
    kGreyCircle,
    kDarkGreyCircle,
    kBlackCircle,
    kCount
};

struct NSUIColorViewPreset
{
    const char* className;
    NSUIColorContent content;
};

const NSUIColorViewPreset& NSUIColorViewPresetOf(NSUIColorViewKind kind);
// The view of that class name, as an interface file asks for it; null for a name of no view.
std::unique_ptr<NSUIColorContentView> NSUIColorViewNamed(const char* className,
                                                         QWidget* parent = nullptr);

template <NSUIColorViewKind Kind> class NSUINamedColorView final : public NSUIColorContentView
{
public:
    explicit NSUINamedColorView(QWidget* parent = nullptr) : NSUIColorContentView(parent)
    {
        const NSUIColorContent& c = NSUIColorViewPresetOf(Kind).content;
        setColor(c.viewColorRGB[0], c.viewColorRGB[1], c.viewColorRGB[2]);
        setOpacity(c.alphaOpacity);
        setShape(c.shape, c.corner, c.flags);
    }
};

using NSUIWhiteOpaqueView = NSUINamedColorView<NSUIColorViewKind::kWhiteOpaque>;
using NSUIGreyOpaqueView = NSUINamedColorView<NSUIColorViewKind::kGreyOpaque>;
using NSUIMedGreyOpaqueView = NSUINamedColorView<NSUIColorViewKind::kMedGreyOpaque>;
using NSUIDarkGreyOpaqueView = NSUINamedColorView<NSUIColorViewKind::kDarkGreyOpaque>;
using NSUIBlackOpaqueView = NSUINamedColorView<NSUIColorViewKind::kBlackOpaque>;
using NSUITransparentView = NSUINamedColorView<NSUIColorViewKind::kTransparent>;
using NSUIGreyStrokedRoundRectView = NSUINamedColorView<NSUIColorViewKind::kGreyStrokedRoundRect>;
using NSUIWhiteRoundRectView = NSUINamedColorView<NSUIColorViewKind::kWhiteRoundRect>;
using NSUIGreyRoundRectView = NSUINamedColorView<NSUIColorViewKind::kGreyRoundRect>;
using NSUIDarkGreyRoundRectView = NSUINamedColorView<NSUIColorViewKind::kDarkGreyRoundRect>;
using NSUIBlackRoundRectView = NSUINamedColorView<NSUIColorViewKind::kBlackRoundRect>;
using NSUIWhiteRoundRectViewCorner10 =
    NSUINamedColorView<NSUIColorViewKind::kWhiteRoundRectCorner10>;
using NSUIGreyRoundRectViewCorner10 = NSUINamedColorView<NSUIColorViewKind::kGreyRoundRectCorner10>;
using NSUIMedGreyRoundRectViewCorner10 =
    NSUINamedColorView<NSUIColorViewKind::kMedGreyRoundRectCorner10>;
using NSUIDarkGreyRoundRectViewCorner10 =
    NSUINamedColorView<NSUIColorViewKind::kDarkGreyRoundRectCorner10>;
using NSUIBlackRoundRectViewCorner10 =
    NSUINamedColorView<NSUIColorViewKind::kBlackRoundRectCorner10>;
using NSUIWhiteRoundRectTopViewCorner10 =
    NSUINamedColorView<NSUIColorViewKind::kWhiteRoundRectTopCorner10>;
using NSUIGreyRoundRectTopViewCorner10 =
    NSUINamedColorView<NSUIColorViewKind::kGreyRoundRectTopCorner10>;
using NSUIMedGreyRoundRectTopViewCorner10 =
    NSUINamedColorView<NSUIColorViewKind::kMedGreyRoundRectTopCorner10>;
using NSUIDarkGreyRoundRectTopViewCorner10 =
    NSUINamedColorView<NSUIColorViewKind::kDarkGreyRoundRectTopCorner10>;
using NSUIBlackRoundRectTopViewCorner10 =
    NSUINamedColorView<NSUIColorViewKind::kBlackRoundRectTopCorner10>;
using NSUIWhiteRoundRectBottomViewCorner10 =
    NSUINamedColorView<NSUIColorViewKind::kWhiteRoundRectBottomCorner10>;
using NSUIGreyRoundRectBottomViewCorner10 =
    NSUINamedColorView<NSUIColorViewKind::kGreyRoundRectBottomCorner10>;
using NSUIMedGreyRoundRectBottomViewCorner10 =
    NSUINamedColorView<NSUIColorViewKind::kMedGreyRoundRectBottomCorner10>;
using NSUIDarkGreyRoundRectBottomViewCorner10 =
    NSUINamedColorView<NSUIColorViewKind::kDarkGreyRoundRectBottomCorner10>;
using NSUIBlackRoundRectBottomViewCorner10 =
    NSUINamedColorView<NSUIColorViewKind::kBlackRoundRectBottomCorner10>;
using NSUIAccentRoundRectView = NSUINamedColorView<NSUIColorViewKind::kAccentRoundRect>;
using NSUIAccentRoundRectViewCorner10 =
    NSUINamedColorView<NSUIColorViewKind::kAccentRoundRectCorner10>;
using NSUIBaseLozengeView = NSUINamedColorView<NSUIColorViewKind::kBaseLozenge>;
using NSUIGreyLozengeView = NSUINamedColorView<NSUIColorViewKind::kGreyLozenge>;
using NSUIMedGreyLozengeView = NSUINamedColorView<NSUIColorViewKind::kMedGreyLozenge>;
using NSUIDarkGreyLozengeView = NSUINamedColorView<NSUIColorViewKind::kDarkGreyLozenge>;
using NSUIBlackLozengeView = NSUINamedColorView<NSUIColorViewKind::kBlackLozenge>;
using NSUIAccentLozengeView = NSUINamedColorView<NSUIColorViewKind::kAccentLozenge>;
using NSUIGreyCircleView = NSUINamedColorView<NSUIColorViewKind::kGreyCircle>;
using NSUIDarkGreyCircleView = NSUINamedColorView<NSUIColorViewKind::kDarkGreyCircle>;
using NSUIBlackCircleView = NSUINamedColorView<NSUIColorViewKind::kBlackCircle>;

// Fills, or fills and strokes (lineWidth > 0, in radii), a rounded rectangle: corner below 1
// is a fraction of the smaller side, from 1 up a radius in pixels. The shape's unit space is
// placed at the rectangle's origin counted twice, so an origin below zero reaches further out.
void NSUIDrawRoundRect(CoreGraphics::PaintContext& context, CGRect rect, CGFloat lineWidth,
                       CGFloat corner);
// A pill along the longer side of rect inset one pixel top and bottom; a circle when the
// two sides are equal.
void NSUIDrawLozenge(CoreGraphics::PaintContext& context, CGRect rect,
                     const std::array<float, 3>& color, float opacity);
// What a colour view of those bounds draws (y up, origin at the lower left). A circle clears
// its corners first unless told not to.
void NSUIDrawColorContent(CoreGraphics::PaintContext& context, CGRect bounds, CGRect dirty,
                          const NSUIColorContent& content, bool clearAroundCircle = true);
// The content drawn into a transparent image of that size.
QImage NSUIColorContentImage(const NSUIColorContent& content, QSize size);

bool import_NSUIColorContentView();
// The same anchor under the names of the shapes' modules.
inline constexpr auto import_NSUIRoundRectView = import_NSUIColorContentView;
inline constexpr auto import_NSUILozengeView = import_NSUIColorContentView;
