#include "namespace_CoreGraphics_RoundRectPath.h"

#include "CoreGraphicsPaintContext.h"
#include "CoreMachDebugLog.h"

namespace CoreGraphics {

RoundRectPath::RoundRectPath(CGRect rect, CGFloat ovalWidth, CGFloat ovalHeight)
    : mRect(rect), mOvalWidth(ovalWidth), mOvalHeight(ovalHeight)
{
    if (!IsSquare()) {
        mFW = rect.size.width / ovalWidth;
        mFH = rect.size.height / ovalHeight;
    }
    VERIFY_AT("RoundRectPath", mPath = CreatePath());
}

RoundRectPath::~RoundRectPath()
{
    CGPathRelease(mPath);
}

CGPathRef RoundRectPath::CreatePath() const
{
    CGMutablePathRef mutablePath = CGPathCreateMutable();
    if (!VERIFY(mutablePath))
        return nullptr;
    if (!IsSquare()) {
        CGPathMoveToPoint(mutablePath, nullptr, mFW, mFH / 2);
        CGPathAddArcToPoint(mutablePath, nullptr, mFW, mFH, mFW / 2, mFH, 1);
        CGPathAddArcToPoint(mutablePath, nullptr, 0, mFH, 0, mFH / 2, 1);
        CGPathAddArcToPoint(mutablePath, nullptr, 0, 0, mFW / 2, 0, 1);
        CGPathAddArcToPoint(mutablePath, nullptr, mFW, 0, mFW, mFH / 2, 1);
        CGPathCloseSubpath(mutablePath);
    } else {
        // Drawn unscaled (a zero scale would make it vanish), at the same place as a rounded
        // shape: its unit space starts at mRect's origin.
        CGPathAddRect(mutablePath, nullptr, CGRectMake(0, 0, mRect.size.width, mRect.size.height));
    }
    CGPathRef result = nullptr;
    VERIFY_TEXT("CreatePath", "result=::CGPathCreateCopy(mutablePath)",
                result = ::CGPathCreateCopy(mutablePath));
    CGPathRelease(mutablePath);
    return result;
}

void RoundRectPath::Draw(PaintContext& context, CGPoint point, CGFloat lineWidth) const
{
    if (!VERIFY(mPath))
        return;
    context.SaveGState();
    context.TranslateCTM(mRect.origin.x + point.x, mRect.origin.y + point.y);
    if (!IsSquare())
        context.ScaleCTM(mOvalWidth, mOvalHeight);
    context.AddPath(mPath);
    if (lineWidth <= 0) {
        context.FillPath();
    } else {
        context.SetLineWidth(lineWidth);
        context.FillStrokePath();
    }
    context.RestoreGState();
}

void CGContextDrawRoundRect(PaintContext& context, CGRect rect, CGFloat lineWidth, CGFloat radius)
{
    RoundRectPath path(CGRectMake(0, 0, rect.size.width, rect.size.height), radius, radius);
    path.Draw(context, rect.origin, lineWidth);
}

} // namespace CoreGraphics

bool import_namespace_CoreGraphics_RoundRectPath()
{
    return true;
}
