#include "CGContext.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <libyuv.h>
#include <new>

#include "CGBitmapContext.h"
#include "CGPrivate.h"

// Arithmetic of every drawing operation, 8 bits per component, alpha premultiplied:
//
// Rectangles: standardised, then each edge e becomes the pixel boundary floor(e + 0.5) (halves
// round up), after clamping to +-2^28 so that infinite and enormous edges still clip and every
// later sum fits an int. A NaN edge draws nothing. The result is clipped to the bitmap; a
// Quartz rectangle [x0, x1) x [y0, y1) covers memory rows [H - y1, H - y0). An image whose
// rectangle reaches so far past the bitmap that libyuv's int clip offset would overflow
// (thousands of rows above it) is not drawn.
//
// Colours: components and alphas are clamped to [0, 1] (NaN as 0). A fill colour (c, a) with
// global alpha g becomes S_a = round(255 a g) and S_c = round(255 c a g). Grey from RGB is
// 0.299 R + 0.587 G + 0.114 B in doubles for colours, (77 R + 150 G + 29 B + 128) >> 8 for
// pixels. Global alpha on an image pixel: round(255 g) = G, then s' = div255(s G) per component.
//
// Source-over: d' = min(255, s + div255(d (255 - s_a))) per component, where
// div255(x) = (x + 128 + ((x + 128) >> 8)) >> 8 is round(x / 255) for 0 <= x <= 255 * 255.
// Opaque layouts (grey, skip first, skip last) blend their colour components as if their
// alpha were 255 and leave the skipped byte alone; clearing zeroes every byte.
//
// Scaling (libyuv): kCGInterpolationNone, or an image made with shouldInterpolate false, takes
// the nearest pixel, source column floor((i + 0.5) * sw / dw) in 16.16 fixed point; every other
// quality is bilinear (libyuv has no box filter for 4-byte pixels, it would fall back to
// bilinear anyway). Bilinear shrinking samples at (i + 0.5) * sw / dw - 0.5, enlarging at
// i * (sw - 1) / (dw - 1), edges clamped. The four bytes of a pixel are scaled as four
// independent channels, which keeps premultiplied A,R,G,B exact. Where libyuv's horizontal
// filter loses 1/128 of every component (see UndoScalerLoss) the loss is undone. A grey image
// is first widened to R,G,B,x with R = G = B = grey. An image drawn at its own size is read in
// place, without the scaler.

namespace {

using p3dcg::Layout;

// Grows only, so a warm context allocates nothing of its own (libyuv's bilinear paths still
// take a row buffer of their own for each call).
class Scratch
{
public:
    Scratch() = default;
    ~Scratch() { std::free(mBytes); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    uint8_t* reserve(size_t size)
    {
        if (size > mCapacity) {
            void* bytes = std::realloc(mBytes, size);
            if (!bytes)
                return nullptr;
            mBytes = static_cast<uint8_t*>(bytes);
            mCapacity = size;
        }
        return mBytes;
    }

private:
    uint8_t* mBytes = nullptr;
    size_t mCapacity = 0;
};

inline uint32_t Div255(uint32_t x)
{
    return (x + 128 + ((x + 128) >> 8)) >> 8;
}

inline CGFloat Unit(CGFloat value)
{
    return value > 0 ? (value < 1 ? value : 1) : 0; // NaN fails the first test
}

inline uint8_t Byte(CGFloat unit)
{
    return uint8_t(std::floor(unit * 255 + 0.5));
}

struct Pixel
{
    uint32_t a, r, g, b;
};

template <Layout L> inline Pixel Read(const uint8_t* p)
{
    if constexpr (L == Layout::kARGB)
        return {p[0], p[1], p[2], p[3]};
    else if constexpr (L == Layout::kXRGB)
        return {255, p[1], p[2], p[3]};
    else if constexpr (L == Layout::kRGBX)
        return {255, p[0], p[1], p[2]};
    else
        return {255, p[0], p[0], p[0]};
}

inline uint8_t Over(uint32_t s, uint32_t d, uint32_t inverseAlpha)
{
    return uint8_t(std::min<uint32_t>(255, s + Div255(d * inverseAlpha)));
}

template <Layout L> inline void Write(uint8_t* d, const Pixel& s)
{
    const uint32_t ia = 255 - s.a;
    if constexpr (L == Layout::kARGB) {
        d[0] = Over(s.a, d[0], ia);
        d[1] = Over(s.r, d[1], ia);
        d[2] = Over(s.g, d[2], ia);
        d[3] = Over(s.b, d[3], ia);
    } else if constexpr (L == Layout::kXRGB) {
        d[1] = Over(s.r, d[1], ia);
        d[2] = Over(s.g, d[2], ia);
        d[3] = Over(s.b, d[3], ia);
    } else if constexpr (L == Layout::kRGBX) {
        d[0] = Over(s.r, d[0], ia);
        d[1] = Over(s.g, d[1], ia);
        d[2] = Over(s.b, d[2], ia);
    } else {
        d[0] = Over((77 * s.r + 150 * s.g + 29 * s.b + 128) >> 8, d[0], ia);
    }
}

// libyuv's horizontal bilinear filter weighs neighbours by (127 - f) and f over 128, so on
// the paths that use it every component comes out scaled by 127/128, truncated: opaque turns
// to alpha 253. Which path a geometry takes is libyuv's business, so the loss is measured:
// one pixel of the same geometry scaled from a white source (stride 0, every row the same).
// When it comes back below 255 the scaled block gets min(255, (v * 258 + 128) >> 8), within
// one step of v * 128 / 127, which gives every constant back within one step and 255 exactly.
void UndoScalerLoss(uint8_t* bytes, size_t count)
{
    // (v * 258 + 128) >> 8 is v + ((v + 64) >> 7); the add saturates. Byte lanes throughout,
    // so the compiler vectorises it wide.
    for (size_t i = 0; i < count; ++i) {
        const uint8_t v = bytes[i];
        const uint8_t add = uint8_t((v >> 6 != 0) + (v >> 6 == 3));
        const uint8_t r = uint8_t(v + add);
        bytes[i] = r < v ? 255 : r;
    }
}

// One clipped block: source pixels (already at the destination size) over destination pixels.
struct Block
{
    const uint8_t* src;
    size_t srcStride;
    uint8_t* dst;
    size_t dstStride;
    int width;
    int height;
    uint32_t globalAlpha; // 0..255
    uint8_t* lossy;       // src again, when it is our scratch and the scaler's loss is to undo
};

// Whether every pixel of the row has alpha 255: one AND over whole pixels, which vectorises.
bool RowIsOpaque(const uint8_t* s, int width)
{
    uint32_t all = 0xFFFFFFFF;
    for (int col = 0; col < width; ++col) {
        uint32_t pixel;
        std::memcpy(&pixel, s + size_t(col) * 4, 4);
        all &= pixel;
    }
    // Alpha is the pixel's first byte in memory.
    return (std::endian::native == std::endian::little ? all & 0xFF : all >> 24) == 0xFF;
}

template <Layout S, Layout D> void Composite(const Block& block)
{
    constexpr size_t srcStep = p3dcg::BytesPerPixel(S);
    constexpr size_t dstStep = p3dcg::BytesPerPixel(D);
    const uint32_t g = block.globalAlpha;
    for (int row = 0; row < block.height; ++row) {
        const uint8_t* s = block.src + size_t(row) * block.srcStride;
        uint8_t* d = block.dst + size_t(row) * block.dstStride;
        if (block.lossy)
            UndoScalerLoss(block.lossy + size_t(row) * block.srcStride,
                           size_t(block.width) * srcStep);
        if constexpr (S == Layout::kARGB && D == Layout::kARGB) {
            // Every camera frame: an opaque row at full global alpha is a plain copy.
            if (g == 255 && RowIsOpaque(s, block.width)) {
                std::memcpy(d, s, size_t(block.width) * 4);
                continue;
            }
        }
        for (int col = 0; col < block.width; ++col, s += srcStep, d += dstStep) {
            Pixel p = Read<S>(s);
            if (g != 255)
                p = {Div255(p.a * g), Div255(p.r * g), Div255(p.g * g), Div255(p.b * g)};
            Write<D>(d, p);
        }
    }
}

template <Layout S> void CompositeInto(Layout dst, const Block& block)
{
    switch (dst) {
    case Layout::kARGB:
        return Composite<S, Layout::kARGB>(block);
    case Layout::kXRGB:
        return Composite<S, Layout::kXRGB>(block);
    case Layout::kRGBX:
        return Composite<S, Layout::kRGBX>(block);
    case Layout::kGray:
        return Composite<S, Layout::kGray>(block);
    }
}

void CompositeBlock(Layout src, Layout dst, const Block& block)
{
    switch (src) {
    case Layout::kARGB:
        return CompositeInto<Layout::kARGB>(dst, block);
    case Layout::kXRGB:
        return CompositeInto<Layout::kXRGB>(dst, block);
    case Layout::kRGBX:
        return CompositeInto<Layout::kRGBX>(dst, block);
    case Layout::kGray:
        return CompositeInto<Layout::kGray>(dst, block);
    }
}

const uint8_t* WhiteRow()
{
    static const struct Row
    {
        Row() { std::memset(bytes, 255, sizeof bytes); }
        // Slack past the widest row: the filter may touch the pixel after the last.
        uint8_t bytes[p3dcg::kMaxDimension * 4 + 64];
    } row;
    return row.bytes;
}

} // namespace

struct CGContext final : p3dcf::Object
{
    CGContext() : Object(p3dcf::kContextTypeID, false) {}
    ~CGContext() override { CFRelease(space); }
    std::u16string describeContents() const override
    {
        char text[96];
        std::snprintf(text, sizeof text, "%zu x %zu, %zu bytes per row", width, height,
                      bytesPerRow);
        return p3dcf::WidenASCII(text);
    }

    uint8_t* data = nullptr;
    size_t width = 0;
    size_t height = 0;
    size_t bytesPerRow = 0;
    CGBitmapInfo bitmapInfo = 0;
    Layout layout = Layout::kARGB;
    CGColorSpaceRef space = nullptr; // one reference

    CGFloat fill[4] = {0, 0, 0, 1}; // r, g, b, a
    CGFloat alpha = 1;
    CGInterpolationQuality quality = kCGInterpolationDefault;

    Scratch scaled;  // the visible part of a scaled image
    Scratch widened; // a grey image as R,G,B,x

    // The last geometry whose scaler loss was measured, and whether it loses.
    struct Probe
    {
        int srcWidth = 0, srcHeight = 0, dstWidth = 0, dstHeight = 0, clipX = 0, clipY = 0;
        bool smooth = false;
        bool operator==(const Probe&) const = default;
    } probe;
    bool probeLoses = false;
};

namespace {

CGContext* ContextOf(CGContextRef context)
{
    return const_cast<CGContext*>(p3dcf::Cast<CGContext>(context, p3dcf::kContextTypeID));
}

// A rectangle in memory pixels: columns [left, right), rows [top, bottom), row 0 at the top.
struct PixelRect
{
    long left, top, right, bottom;
    long width() const { return right - left; }
    long height() const { return bottom - top; }
    bool empty() const { return left >= right || top >= bottom; }
};

bool Edge(CGFloat e, long* pixel)
{
    constexpr CGFloat kLimit = CGFloat(1 << 28);
    if (std::isnan(e))
        return false;
    *pixel = long(std::floor(std::clamp(e, -kLimit, kLimit) + 0.5));
    return true;
}

// The whole rectangle in memory pixels, before clipping; false when it covers nothing.
// rect in device pixels (row 0 at the top), whole and clipped to the context; false when
// nothing of it lies inside.
bool DeviceRects(const CGContext& c, CGRect rect, PixelRect* out_whole, PixelRect* out_clipped)
{
    if (CGRectIsNull(rect))
        return false;
    rect = CGRectStandardize(rect);
    long x0, x1, y0, y1;
    if (!Edge(rect.origin.x, &x0) || !Edge(rect.origin.x + rect.size.width, &x1) ||
        !Edge(rect.origin.y, &y0) || !Edge(rect.origin.y + rect.size.height, &y1))
        return false;
    const long h = long(c.height);
    *out_whole = PixelRect{x0, h - y1, x1, h - y0};
    *out_clipped = PixelRect{std::max(out_whole->left, 0L), std::max(out_whole->top, 0L),
                             std::min(out_whole->right, long(c.width)),
                             std::min(out_whole->bottom, long(c.height))};
    return !out_whole->empty() && !out_clipped->empty();
}

uint8_t* PixelAt(const CGContext& c, long x, long y)
{
    return c.data + size_t(y) * c.bytesPerRow + size_t(x) * p3dcg::BytesPerPixel(c.layout);
}

} // namespace

CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, CGColorSpaceRef space,
                                   CGBitmapInfo bitmapInfo)
{
    p3dcg::Layout layout;
    const size_t components = CGColorSpaceGetNumberOfComponents(space);
    const size_t bitsPerPixel = components == 1 ? 8 : 32;
    if (!data || width == 0 || height == 0 || width > p3dcg::kMaxDimension ||
        height > p3dcg::kMaxDimension ||
        !p3dcg::LayoutFor(space, bitsPerComponent, bitsPerPixel, bitmapInfo, &layout))
        return nullptr;
    const size_t rowLength = width * p3dcg::BytesPerPixel(layout);
    if (bytesPerRow == 0)
        bytesPerRow = rowLength;
    // The bound keeps bytesPerRow * height within size_t and the offsets within long.
    if (bytesPerRow < rowLength || bytesPerRow > (size_t(1) << 40) / height)
        return nullptr;
    CGContext* context = new (std::nothrow) CGContext;
    if (!context)
        return nullptr;
    context->data = static_cast<uint8_t*>(data);
    context->width = width;
    context->height = height;
    context->bytesPerRow = bytesPerRow;
    context->bitmapInfo = bitmapInfo;
    context->layout = layout;
    context->space = CGColorSpaceRetain(space);
    return context;
}

void* CGBitmapContextGetData(CGContextRef context)
{
    const CGContext* c = ContextOf(context);
    return c ? c->data : nullptr;
}

size_t CGBitmapContextGetWidth(CGContextRef context)
{
    const CGContext* c = ContextOf(context);
    return c ? c->width : 0;
}

size_t CGBitmapContextGetHeight(CGContextRef context)
{
    const CGContext* c = ContextOf(context);
    return c ? c->height : 0;
}

size_t CGBitmapContextGetBytesPerRow(CGContextRef context)
{
    const CGContext* c = ContextOf(context);
    return c ? c->bytesPerRow : 0;
}

size_t CGBitmapContextGetBitsPerPixel(CGContextRef context)
{
    const CGContext* c = ContextOf(context);
    return c ? 8 * p3dcg::BytesPerPixel(c->layout) : 0;
}

CGBitmapInfo CGBitmapContextGetBitmapInfo(CGContextRef context)
{
    const CGContext* c = ContextOf(context);
    return c ? c->bitmapInfo : 0;
}

CGColorSpaceRef CGBitmapContextGetColorSpace(CGContextRef context)
{
    const CGContext* c = ContextOf(context);
    return c ? c->space : nullptr;
}

CGContextRef CGContextRetain(CGContextRef context)
{
    CFRetain(context);
    return context;
}

void CGContextRelease(CGContextRef context)
{
    CFRelease(context);
}

CFTypeID CGContextGetTypeID(void)
{
    return p3dcf::kContextTypeID;
}

void CGContextSetRGBFillColor(CGContextRef context, CGFloat red, CGFloat green, CGFloat blue,
                              CGFloat alpha)
{
    if (CGContext* c = ContextOf(context)) {
        c->fill[0] = Unit(red);
        c->fill[1] = Unit(green);
        c->fill[2] = Unit(blue);
        c->fill[3] = Unit(alpha);
    }
}

void CGContextSetGrayFillColor(CGContextRef context, CGFloat gray, CGFloat alpha)
{
    CGContextSetRGBFillColor(context, gray, gray, gray, alpha);
}

void CGContextSetAlpha(CGContextRef context, CGFloat alpha)
{
    if (CGContext* c = ContextOf(context))
        c->alpha = Unit(alpha);
}

void CGContextSetInterpolationQuality(CGContextRef context, CGInterpolationQuality quality)
{
    CGContext* c = ContextOf(context);
    if (c && quality >= kCGInterpolationDefault && quality <= kCGInterpolationMedium)
        c->quality = quality;
}

CGInterpolationQuality CGContextGetInterpolationQuality(CGContextRef context)
{
    const CGContext* c = ContextOf(context);
    return c ? c->quality : kCGInterpolationDefault;
}

void CGContextFillRect(CGContextRef context, CGRect rect)
{
    CGContext* c = ContextOf(context);
    PixelRect whole, r;
    if (!c || !DeviceRects(*c, rect, &whole, &r))
        return;
    const CGFloat a = c->fill[3] * c->alpha;
    const CGFloat grey = 0.299 * c->fill[0] + 0.587 * c->fill[1] + 0.114 * c->fill[2];
    const Pixel s = {Byte(a), Byte(c->fill[0] * a), Byte(c->fill[1] * a), Byte(c->fill[2] * a)};
    const uint8_t sGrey = Byte(grey * a);
    if (s.a == 0 && (s.r | s.g | s.b) == 0)
        return;
    for (long y = r.top; y < r.bottom; ++y) {
        uint8_t* d = PixelAt(*c, r.left, y);
        for (long x = r.left; x < r.right; ++x) {
            switch (c->layout) {
            case Layout::kARGB:
                Write<Layout::kARGB>(d, s);
                d += 4;
                break;
            case Layout::kXRGB:
                Write<Layout::kXRGB>(d, s);
                d += 4;
                break;
            case Layout::kRGBX:
                Write<Layout::kRGBX>(d, s);
                d += 4;
                break;
            case Layout::kGray:
                // The grey of the colour itself, not of its rounded components.
                *d = Over(sGrey, *d, 255 - s.a);
                d += 1;
                break;
            }
        }
    }
}

void CGContextClearRect(CGContextRef context, CGRect rect)
{
    CGContext* c = ContextOf(context);
    PixelRect whole, r;
    if (!c || !DeviceRects(*c, rect, &whole, &r))
        return;
    const size_t length = size_t(r.width()) * p3dcg::BytesPerPixel(c->layout);
    for (long y = r.top; y < r.bottom; ++y)
        std::memset(PixelAt(*c, r.left, y), 0, length);
}

void CGContextDrawImage(CGContextRef context, CGRect rect, CGImageRef image)
{
    CGContext* c = ContextOf(context);
    const CGImage* img = p3dcf::Cast<CGImage>(image, p3dcf::kImageTypeID);
    PixelRect whole, r;
    if (!c || !img || c->alpha <= 0 || !DeviceRects(*c, rect, &whole, &r))
        return;

    const uint8_t* src = img->base();
    size_t srcStride = img->bytesPerRow;
    Layout srcLayout = img->layout;
    const int srcWidth = int(img->width);
    const int srcHeight = int(img->height);
    if (srcLayout == Layout::kGray) {
        const size_t stride = size_t(srcWidth) * 4;
        uint8_t* wide = c->widened.reserve(stride * size_t(srcHeight));
        // libyuv's ARGB is B,G,R,A in memory: grey,grey,grey,255 reads as R,G,B,x.
        if (!wide ||
            libyuv::J400ToARGB(src, int(srcStride), wide, int(stride), srcWidth, srcHeight) != 0)
            return;
        src = wide;
        srcStride = stride;
        srcLayout = Layout::kRGBX;
    }

    Block block;
    block.dst = PixelAt(*c, r.left, r.top);
    block.dstStride = c->bytesPerRow;
    block.width = int(r.width());
    block.height = int(r.height());
    block.globalAlpha = Byte(c->alpha);
    block.lossy = nullptr;
    const int clipX = int(r.left - whole.left);
    const int clipY = int(r.top - whole.top);

    // An image over this very bitmap must not read pixels this draw has already written.
    const uintptr_t imageStart = reinterpret_cast<uintptr_t>(img->base());
    const uintptr_t imageEnd = imageStart + (img->height - 1) * img->bytesPerRow +
                               img->width * p3dcg::BytesPerPixel(img->layout);
    const uintptr_t bitmapStart = reinterpret_cast<uintptr_t>(c->data);
    const uintptr_t bitmapEnd = bitmapStart + c->height * c->bytesPerRow;
    const bool overlaps = imageStart < bitmapEnd && bitmapStart < imageEnd;
    if (whole.width() == srcWidth && whole.height() == srcHeight && !overlaps) {
        // Same size: no resampling, read the source where it lies.
        block.src = src + size_t(clipY) * srcStride + size_t(clipX) * 4;
        block.srcStride = srcStride;
    } else {
        const size_t stride = size_t(block.width) * 4;
        // libyuv offsets its destination by clipY * stride + clipX * 4 in int arithmetic; a
        // rectangle reaching that far beyond the bitmap (thousands of rows above it) is not
        // drawn rather than overflowed.
        if (uint64_t(clipY) * stride + uint64_t(clipX) * 4 > uint64_t(INT32_MAX))
            return;
        uint8_t* scaled = c->scaled.reserve(stride * size_t(block.height));
        if (!scaled)
            return;
        // libyuv places the clipped part at dst + clipY * stride + clipX * 4, so hand it the
        // address that lands that part at the start of our buffer (integer arithmetic: the
        // shifted address itself lies outside the buffer and is never dereferenced).
        uint8_t* origin = reinterpret_cast<uint8_t*>(
            reinterpret_cast<uintptr_t>(scaled) - uintptr_t(clipY) * stride - uintptr_t(clipX) * 4);
        const bool smooth = img->shouldInterpolate && c->quality != kCGInterpolationNone;
        const libyuv::FilterMode filter = smooth ? libyuv::kFilterBilinear : libyuv::kFilterNone;
        if (libyuv::ARGBScaleClip(src, int(srcStride), srcWidth, srcHeight, origin, int(stride),
                                  int(whole.width()), int(whole.height()), clipX, clipY,
                                  block.width, block.height, filter) != 0)
            return;
        block.src = scaled;
        block.srcStride = stride;
        const CGContext::Probe probe = {
            srcWidth, srcHeight, int(whole.width()), int(whole.height()), clipX, clipY, smooth};
        if (smooth && !(probe == c->probe)) {
            uint8_t pixel[4] = {};
            uint8_t* probeOrigin = reinterpret_cast<uint8_t*>(
                reinterpret_cast<uintptr_t>(pixel) - uintptr_t(clipY) * 4 - uintptr_t(clipX) * 4);
            c->probeLoses = libyuv::ARGBScaleClip(WhiteRow(), 0, srcWidth, srcHeight, probeOrigin,
                                                  4, int(whole.width()), int(whole.height()), clipX,
                                                  clipY, 1, 1, filter) == 0 &&
                            pixel[0] < 255;
            c->probe = probe;
        }
        if (smooth && c->probeLoses)
            block.lossy = scaled;
    }
    CompositeBlock(srcLayout, c->layout, block);
}
