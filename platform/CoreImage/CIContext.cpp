#include "CIContext.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "CGBitmapContext.h"
#include "CIColorSteps.h"
#include "ColorMatrixKernel.h"
#include "Diagnostics.h"
#include "Frei0rInstance.h"

namespace {

// Integer pixel rects, y up, as the engine renders them.
struct PixelRect
{
    int64_t x = 0, y = 0, width = 0, height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
};

PixelRect Intersect(const PixelRect& a, const PixelRect& b)
{
    const int64_t x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
    const int64_t x1 = std::min(a.x + a.width, b.x + b.width);
    const int64_t y1 = std::min(a.y + a.height, b.y + b.height);
    return PixelRect{x0, y0, std::max<int64_t>(0, x1 - x0), std::max<int64_t>(0, y1 - y0)};
}

// Whether inner, a part of outer, is all of it.
bool Covers(const PixelRect& inner, const PixelRect& outer)
{
    return inner.width == outer.width && inner.height == outer.height;
}

// The pixels an extent touches: edges rounded outward. Coordinates are held to a range that
// integer pixel arithmetic cannot overflow; nothing drawable lies beyond it.
PixelRect Covering(CGRect rect)
{
    if (CGRectIsNull(rect) || CGRectIsEmpty(rect))
        return PixelRect{};
    constexpr CGFloat kFar = CGFloat(int64_t(1) << 40);
    CGRect r = CGRectStandardize(rect);
    if (!std::isfinite(r.origin.x) || !std::isfinite(r.origin.y) || !std::isfinite(r.size.width) ||
        !std::isfinite(r.size.height))
        return PixelRect{};
    r.origin.x = std::clamp(r.origin.x, -kFar, kFar);
    r.origin.y = std::clamp(r.origin.y, -kFar, kFar);
    r.size.width = std::min(r.size.width, kFar);
    r.size.height = std::min(r.size.height, kFar);
    const int64_t x0 = int64_t(std::floor(r.origin.x)), y0 = int64_t(std::floor(r.origin.y));
    const int64_t x1 = int64_t(std::ceil(r.origin.x + r.size.width));
    const int64_t y1 = int64_t(std::ceil(r.origin.y + r.size.height));
    return PixelRect{x0, y0, x1 - x0, y1 - y0};
}

} // namespace

// Memory for one rect: row 0 is the rect's top row.
struct CIContext::Raster
{
    UInt8* base = nullptr;
    size_t rowBytes = 0;
    PixelRect rect;

    UInt8* row(int64_t y) const { return base + size_t(rect.y + rect.height - 1 - y) * rowBytes; }
    UInt8* pixel(int64_t x, int64_t y) const { return row(y) + size_t(x - rect.x) * 4; }
    Raster sub(const PixelRect& inner) const
    {
        return Raster{pixel(inner.x, inner.y + inner.height - 1), rowBytes, inner};
    }
    void clear() const
    {
        for (int64_t y = rect.y; y < rect.y + rect.height; ++y)
            memset(row(y), 0, size_t(rect.width) * 4);
    }
};

// Buffers for intermediate results, one per depth of the recipe, grown and never shrunk.
class CIContext::Scratch
{
public:
    // No memory (a null base, reported) for intermediate images beyond a gigabyte.
    Raster take(size_t depth, const PixelRect& rect)
    {
        constexpr int64_t kMaxPixels = int64_t(1) << 28;
        if (!DIAG_CHECK(rect.width <= kMaxPixels && rect.height <= kMaxPixels &&
                        rect.width * rect.height <= kMaxPixels))
            return Raster{nullptr, 0, rect};
        if (mBuffers.size() <= depth)
            mBuffers.resize(depth + 1);
        const size_t rowBytes = size_t(rect.width) * 4;
        std::vector<UInt8>& buffer = mBuffers[depth];
        if (buffer.size() < rowBytes * size_t(rect.height))
            buffer.resize(rowBytes * size_t(rect.height));
        return Raster{buffer.data(), rowBytes, rect};
    }

    // The colour programs of the last render, kept while the steps stay the same.
    CIColorStepPass& colorPass() { return mColorPass; }

    // A plug-in instance for frames of this size, made once and kept.
    CoreImage::Frei0rInstance*
    plugInInstance(const std::shared_ptr<CoreImage::Frei0rPlugIn>& plugIn, size_t width,
                   size_t height)
    {
        for (PlugInSlot& slot : mPlugIns)
            if (slot.plugIn == plugIn.get() && slot.width == width && slot.height == height)
                return slot.instance.get();
        auto instance = CoreImage::Frei0rInstance::Create(plugIn, width, height);
        if (!instance)
            return nullptr;
        mPlugIns.push_back(PlugInSlot{plugIn.get(), width, height, std::move(instance)});
        return mPlugIns.back().instance.get();
    }

private:
    struct PlugInSlot
    {
        CoreImage::Frei0rPlugIn* plugIn;
        size_t width, height;
        std::unique_ptr<CoreImage::Frei0rInstance> instance;
    };

    std::vector<std::vector<UInt8>> mBuffers;
    CIColorStepPass mColorPass;
    std::vector<PlugInSlot> mPlugIns;
};

namespace {

using Raster = CIContext::Raster;
using Scratch = CIContext::Scratch;

constexpr size_t kMaxColorSteps = CIColorStepPass::kMaxSteps;
constexpr size_t kMaxDepth = 64;

void Render(const CIImage* image, const Raster& out, Scratch& scratch, size_t depth);

void RenderSource(const CIImage* image, const Raster& out)
{
    const PixelRect extent = Covering(image->extent());
    const PixelRect inside = Intersect(out.rect, extent);
    // Only what the copy leaves is cleared: a frame inside its source is written once.
    if (!Covers(inside, out.rect))
        out.clear();
    if (inside.empty())
        return;
    const size_t rowBytes = size_t(inside.width) * 4;
    if (out.rowBytes == rowBytes && image->sourceRowBytes() == rowBytes) {
        // Rows without padding on both sides: one block.
        const int64_t top = inside.y + inside.height - 1;
        memcpy(out.pixel(inside.x, top),
               image->sourceBase() + size_t(extent.height - 1 - (top - extent.y)) * rowBytes,
               rowBytes * size_t(inside.height));
        return;
    }
    for (int64_t y = inside.y; y < inside.y + inside.height; ++y) {
        const UInt8* from = image->sourceBase() +
                            size_t(extent.height - 1 - (y - extent.y)) * image->sourceRowBytes() +
                            size_t(inside.x - extent.x) * 4;
        memcpy(out.pixel(inside.x, y), from, size_t(inside.width) * 4);
    }
}

// A pixel source's own memory for a rect inside it: read in place instead of copied.
bool Borrow(const CIImage* image, const PixelRect& rect, Raster* raster)
{
    // Crops only narrow what is read: the source under them is borrowed when it has every pixel
    // asked for, the very pixels drawing the crop would copy.
    PixelRect wanted = rect;
    bool cropped = false;
    while (image && image->kind() == CIImage::Kind::kCrop) {
        wanted = Intersect(wanted, Covering(image->extent()));
        image = image->input(0);
        cropped = true;
    }
    if (!image || image->kind() != CIImage::Kind::kSource)
        return false;
    const PixelRect extent = Covering(image->extent());
    const PixelRect inside = Intersect(wanted, extent);
    if (cropped && !Covers(inside, rect))
        return false;
    const Raster whole{const_cast<UInt8*>(image->sourceBase()), image->sourceRowBytes(), extent};
    *raster = whole.sub(inside);
    return true;
}

// A transform that moves whole pixels only: a translation by integers with each axis kept or
// mirrored. Such pixels are copied, never filtered.
bool IsPixelExact(const CGAffineTransform& t)
{
    return t.b == 0 && t.c == 0 && (t.a == 1 || t.a == -1) && (t.d == 1 || t.d == -1) &&
           t.tx == std::floor(t.tx) && t.ty == std::floor(t.ty);
}

// The consecutive colour steps from image down, in the order they apply, and what they work on.
const CIImage* ColorRun(const CIImage* image, CIColorStep (&steps)[kMaxColorSteps], size_t* count)
{
    *count = 0;
    const CIImage* input = image;
    while (input->kind() == CIImage::Kind::kColor && *count < kMaxColorSteps) {
        steps[(*count)++] = input->colorStep();
        input = input->input(0);
    }
    std::reverse(steps, steps + *count);
    return input;
}

// A transform that moves whole pixels: every output row is one input row, read forward or
// mirrored. Colour steps over pixel memory run on the way, in the same pass.
void RenderPixelExact(const CIImage* image, const Raster& out, const PixelRect& wanted,
                      Scratch& scratch, size_t depth)
{
    const CGAffineTransform& t = image->transform();
    // x' = a x + tx with a = +-1 sends pixel x to a (x - tx) - (a < 0).
    const int64_t ax = int64_t(t.a), ay = int64_t(t.d);
    const int64_t tx = int64_t(t.tx), ty = int64_t(t.ty);
    const auto back = [](int64_t a, int64_t shift, int64_t v) {
        return a * (v - shift) - (a < 0 ? 1 : 0);
    };
    // The source pixels of the wanted rect.
    const int64_t x0 = back(ax, tx, wanted.x), x1 = back(ax, tx, wanted.x + wanted.width - 1);
    const int64_t y0 = back(ay, ty, wanted.y), y1 = back(ay, ty, wanted.y + wanted.height - 1);
    const PixelRect source{std::min(x0, x1), std::min(y0, y1), wanted.width, wanted.height};

    CIColorStep steps[kMaxColorSteps];
    size_t count = 0;
    const CIImage* input = ColorRun(image->input(0), steps, &count);
    const PixelRect available = Intersect(source, Covering(input->extent()));
    if (available.empty())
        return out.clear();
    Raster in;
    bool colored = false;
    if (count && Borrow(input, available, &in)) {
        colored = scratch.colorPass().set(steps, count);
        if (!colored)
            return out.clear();
    } else {
        // The steps' result, rendered or borrowed, then moved.
        const PixelRect reachable = Intersect(source, Covering(image->input(0)->extent()));
        if (reachable.empty())
            return out.clear();
        if (!Borrow(image->input(0), reachable, &in)) {
            in = scratch.take(depth, reachable);
            if (!in.base)
                return out.clear();
            Render(image->input(0), in, scratch, depth + 1);
        }
    }
    // What the input does not reach is transparent.
    if (!Covers(in.rect, out.rect))
        out.clear();
    // The output columns the input reaches, and where its run starts.
    const int64_t first = ax > 0 ? in.rect.x + tx : tx - (in.rect.x + in.rect.width);
    const int64_t width = in.rect.width;
    for (int64_t sy = in.rect.y; sy < in.rect.y + in.rect.height; ++sy) {
        // y = ay (sy + (ay < 0)) + ty inverts back().
        const int64_t y = ay * (sy + (ay < 0 ? 1 : 0)) + ty;
        UInt8* to = out.pixel(first, y);
        const UInt8* from = in.pixel(in.rect.x, sy);
        if (colored)
            scratch.colorPass().applyRow(from, to, size_t(width), ax < 0);
        else
            CIColorStepPass::CopyRow(from, to, size_t(width), ax < 0);
    }
}

void RenderTransform(const CIImage* image, const Raster& out, Scratch& scratch, size_t depth)
{
    const CGAffineTransform& t = image->transform();
    const PixelRect wanted = Intersect(out.rect, Covering(image->extent()));
    if (wanted.empty())
        return out.clear();
    if (IsPixelExact(t))
        return RenderPixelExact(image, out, wanted, scratch, depth);
    const CGAffineTransform inverse = CGAffineTransformInvert(t);
    out.clear();
    // The input pixels the wanted rect can reach, with one pixel more for the filter.
    const CGRect back =
        CGRectApplyAffineTransform(CGRectMake(CGFloat(wanted.x), CGFloat(wanted.y),
                                              CGFloat(wanted.width), CGFloat(wanted.height)),
                                   inverse);
    PixelRect source = Covering(back);
    source = PixelRect{source.x - 1, source.y - 1, source.width + 2, source.height + 2};
    source = Intersect(source, Covering(image->input(0)->extent()));
    if (source.empty())
        return;
    Raster in;
    if (!Borrow(image->input(0), source, &in)) {
        in = scratch.take(depth, source);
        if (!in.base)
            return;
        Render(image->input(0), in, scratch, depth + 1);
    }
    for (int64_t y = wanted.y; y < wanted.y + wanted.height; ++y) {
        UInt8* row = out.pixel(wanted.x, y);
        for (int64_t x = wanted.x; x < wanted.x + wanted.width; ++x, row += 4) {
            // Pixel centres map to pixel centres; bilinear between the four nearest centres,
            // and outside the input is transparent.
            const CGPoint p = CGPointApplyAffineTransform(
                CGPointMake(CGFloat(x) + 0.5, CGFloat(y) + 0.5), inverse);
            const double fx = p.x - 0.5, fy = p.y - 0.5;
            const int64_t x0 = int64_t(std::floor(fx)), y0 = int64_t(std::floor(fy));
            const double wx = fx - double(x0), wy = fy - double(y0);
            double sum[4] = {0, 0, 0, 0};
            for (int corner = 0; corner < 4; ++corner) {
                const int64_t sx = x0 + (corner & 1), sy = y0 + (corner >> 1);
                if (sx < source.x || sx >= source.x + source.width || sy < source.y ||
                    sy >= source.y + source.height)
                    continue;
                const double w = ((corner & 1) ? wx : 1 - wx) * ((corner >> 1) ? wy : 1 - wy);
                const UInt8* s = in.pixel(sx, sy);
                for (int c = 0; c < 4; ++c)
                    sum[c] += w * s[c];
            }
            for (int c = 0; c < 4; ++c)
                row[c] = UInt8(std::clamp(std::lround(sum[c]), 0L, 255L));
        }
    }
}

void RenderColor(const CIImage* image, const Raster& out, Scratch& scratch, size_t depth)
{
    // Consecutive colour steps run together, in recipe order, in one pass over the pixels.
    CIColorStep steps[kMaxColorSteps];
    size_t count = 0;
    const CIImage* input = ColorRun(image, steps, &count);
    CIColorStepPass& pass = scratch.colorPass();
    // Over pixel memory that fills the rect, the pass reads that memory: no copy first.
    Raster in;
    if (Borrow(input, out.rect, &in) && Covers(in.rect, out.rect)) {
        if (!pass.set(steps, count))
            return out.clear();
        for (int64_t y = out.rect.y; y < out.rect.y + out.rect.height; ++y)
            pass.applyRow(in.row(y), out.row(y), size_t(out.rect.width), false);
        return;
    }
    Render(input, out, scratch, depth);
    if (!pass.set(steps, count))
        return;
    for (int64_t y = out.rect.y; y < out.rect.y + out.rect.height; ++y)
        pass.applyRow(out.row(y), size_t(out.rect.width));
}

void RenderKernel(const CIImage* image, const Raster& out, Scratch& scratch, size_t depth)
{
    CoreImage::KernelImage eyes[2];
    for (int index = 0; index < 2; ++index) {
        const CIImage* input = image->input(index);
        if (!input)
            continue;
        const PixelRect rect = Intersect(out.rect, Covering(input->extent()));
        if (rect.empty())
            continue;
        Raster in;
        if (!Borrow(input, rect, &in)) {
            in = scratch.take(depth + size_t(index), rect);
            if (!in.base)
                continue;
            Render(input, in, scratch, depth + 2);
        }
        eyes[index] =
            CoreImage::KernelImage{in.base, in.rowBytes, {rect.x, rect.y, rect.width, rect.height}};
    }
    const CoreImage::KernelImageOut target{
        out.base, out.rowBytes, {out.rect.x, out.rect.y, out.rect.width, out.rect.height}};
    if (!image->kernel()->apply(eyes[0], eyes[1], image->kernelArgument(), target))
        out.clear();
}

// Plug-ins filter whole frames: the input's whole extent goes through the plug-in, and the part
// asked for is copied out.
void RenderPlugIn(const CIImage* image, const Raster& out, Scratch& scratch, size_t depth)
{
    out.clear();
    const PixelRect extent = Covering(image->extent());
    const PixelRect wanted = Intersect(out.rect, extent);
    if (wanted.empty())
        return;
    // The instance first: it refuses frames a plug-in cannot take before any memory is spent.
    CoreImage::Frei0rInstance* instance =
        scratch.plugInInstance(image->plugIn(), size_t(extent.width), size_t(extent.height));
    if (!instance)
        return;
    const Raster in = scratch.take(depth, extent);
    const Raster filtered = scratch.take(depth + 1, extent);
    if (!in.base || !filtered.base)
        return;
    Render(image->input(0), in, scratch, depth + 2);
    for (const CIPlugInValue& value : image->plugInValues()) {
        switch (value.type) {
        case CoreImage::Frei0rParameter::kBool:
            instance->setBool(value.index, value.values[0] != 0);
            break;
        case CoreImage::Frei0rParameter::kDouble:
            instance->setDouble(value.index, value.values[0]);
            break;
        case CoreImage::Frei0rParameter::kColor:
            instance->setColor(value.index, float(value.values[0]), float(value.values[1]),
                               float(value.values[2]));
            break;
        case CoreImage::Frei0rParameter::kPosition:
            instance->setPosition(value.index, value.values[0], value.values[1]);
            break;
        }
    }
    if (!instance->update(0.0, in.base, in.rowBytes, filtered.base, filtered.rowBytes))
        return;
    for (int64_t y = wanted.y; y < wanted.y + wanted.height; ++y)
        memcpy(out.pixel(wanted.x, y), filtered.pixel(wanted.x, y), size_t(wanted.width) * 4);
}

void Render(const CIImage* image, const Raster& out, Scratch& scratch, size_t depth)
{
    if (out.rect.empty())
        return;
    if (!image || depth > kMaxDepth) {
        out.clear();
        return;
    }
    switch (image->kind()) {
    case CIImage::Kind::kSource:
        RenderSource(image, out);
        return;
    case CIImage::Kind::kCrop: {
        const PixelRect inside = Intersect(out.rect, Covering(image->extent()));
        // The input fills every pixel of the rect it is given.
        if (!Covers(inside, out.rect))
            out.clear();
        if (!inside.empty())
            Render(image->input(0), out.sub(inside), scratch, depth);
        return;
    }
    case CIImage::Kind::kTransform:
        RenderTransform(image, out, scratch, depth);
        return;
    case CIImage::Kind::kColor:
        RenderColor(image, out, scratch, depth);
        return;
    case CIImage::Kind::kKernel:
        RenderKernel(image, out, scratch, depth);
        return;
    case CIImage::Kind::kPlugIn:
        RenderPlugIn(image, out, scratch, depth);
        return;
    }
}

} // namespace

CIContext::CIContext() : Object(p3dcf::kCIContextTypeID, false), mScratch(new Scratch) {}

CIContext::~CIContext()
{
    if (mCGContext)
        CGContextRelease(mCGContext);
}

CFTypeID CIContext::TypeID()
{
    return p3dcf::kCIContextTypeID;
}

std::u16string CIContext::describeContents() const
{
    return p3dcf::WidenASCII(std::to_string(mWidth) + " x " + std::to_string(mHeight));
}

CFPtr<CIContext> CIContext::contextWithARGBMemory(void* base, size_t rowBytes, size_t width,
                                                  size_t height)
{
    if (!DIAG_CHECK(base && width > 0 && height > 0 && rowBytes / 4 >= width &&
                    width <= (1u << 24) && height <= (1u << 24)))
        return nullptr;
    auto context = CFPtr<CIContext>::Adopt(new CIContext);
    context->mBase = static_cast<UInt8*>(base);
    context->mRowBytes = rowBytes;
    context->mWidth = width;
    context->mHeight = height;
    return context;
}

CFPtr<CIContext> CIContext::contextWithCGContext(CGContextRef cgContext)
{
    if (!DIAG_CHECK(cgContext) ||
        !DIAG_CHECK(CGBitmapContextGetBitsPerPixel(cgContext) == 32 &&
                    CGBitmapContextGetBitmapInfo(cgContext) == kCGImageAlphaPremultipliedFirst))
        return nullptr;
    auto context = contextWithARGBMemory(
        CGBitmapContextGetData(cgContext), CGBitmapContextGetBytesPerRow(cgContext),
        CGBitmapContextGetWidth(cgContext), CGBitmapContextGetHeight(cgContext));
    if (context)
        context->mCGContext = CGContextRetain(cgContext);
    return context;
}

bool CIContext::drawImage(const CIImage* image, CGPoint atPoint, CGRect fromRect)
{
    if (!DIAG_CHECK(image) || !std::isfinite(atPoint.x) || !std::isfinite(atPoint.y))
        return false;
    // A place this far away shows nothing of the image in any destination.
    constexpr CGFloat kFar = CGFloat(int64_t(1) << 40);
    if (std::fabs(atPoint.x) > kFar || std::fabs(atPoint.y) > kFar)
        return true;
    // Whole pixels: the source rect and its place are rounded to the pixel grid.
    const PixelRect from = Covering(fromRect);
    const int64_t dx = int64_t(std::lround(atPoint.x)) - from.x;
    const int64_t dy = int64_t(std::lround(atPoint.y)) - from.y;
    const PixelRect destination{0, 0, int64_t(mWidth), int64_t(mHeight)};
    const PixelRect target =
        Intersect(destination, PixelRect{from.x + dx, from.y + dy, from.width, from.height});
    if (target.empty())
        return true;
    // Render in the image's coordinates straight into the destination memory.
    const Raster whole{mBase, mRowBytes, destination};
    Raster out = whole.sub(target);
    out.rect.x -= dx;
    out.rect.y -= dy;
    Render(image, out, *mScratch, 0);
    return true;
}

bool CIContext::render(const CIImage* image, void* base, size_t rowBytes, CGRect bounds)
{
    const PixelRect rect = Covering(bounds);
    if (!DIAG_CHECK(image && base) || rect.empty() ||
        !DIAG_CHECK(rowBytes / 4 >= size_t(rect.width)))
        return false;
    Render(image, Raster{static_cast<UInt8*>(base), rowBytes, rect}, *mScratch, 0);
    return true;
}

bool import_CIContext()
{
    return import_CIImage();
}
