#include "Frei0rInstance.h"

#include <cstring>
#include <new>

#include <frei0r.h>

#include "Diagnostics.h"
#include "Frei0rFunctions.h"

namespace CoreImage {

namespace {

// 8-bit straight colour from premultiplied, rounded to nearest.
inline UInt8 Unpremultiply(unsigned c, unsigned a)
{
    if (a == 0)
        return 0;
    const unsigned v = (c * 255 + a / 2) / a;
    return UInt8(v > 255 ? 255 : v);
}

inline UInt8 Premultiply(unsigned c, unsigned a)
{
    return UInt8((c * a + 127) / 255);
}

} // namespace

static_assert(__STDCPP_DEFAULT_NEW_ALIGNMENT__ >= 16, "frei0r frames need 16-byte alignment");

std::unique_ptr<Frei0rInstance> Frei0rInstance::Create(std::shared_ptr<Frei0rPlugIn> plugIn,
                                                       size_t width, size_t height)
{
    if (!plugIn || width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
        DIAG_REPORT("Frei0rInstance: no instance of %zu x %zu", width, height);
        return nullptr;
    }
    std::unique_ptr<Frei0rInstance> instance(new Frei0rInstance);
    instance->mWidth = width;
    instance->mHeight = height;
    instance->mFrameWidth = (width + 7) / 8 * 8;
    instance->mFrameHeight = (height + 7) / 8 * 8;
    const size_t frame = instance->mFrameWidth * instance->mFrameHeight;
    instance->mScratch.reset(new (std::nothrow) uint32_t[frame * 2]);
    if (!instance->mScratch) {
        DIAG_REPORT("Frei0rInstance: no memory for %zu x %zu", width, height);
        return nullptr;
    }
    instance->mInstance = plugIn->mFunctions->construct(unsigned(instance->mFrameWidth),
                                                        unsigned(instance->mFrameHeight));
    if (!instance->mInstance) {
        DIAG_REPORT("Frei0rInstance: \"%s\" refused %zu x %zu", plugIn->name().c_str(), width,
                    height);
        return nullptr;
    }
    instance->mPlugIn = std::move(plugIn);
    return instance;
}

Frei0rInstance::~Frei0rInstance()
{
    if (mInstance)
        mPlugIn->mFunctions->destruct(mInstance);
}

bool Frei0rInstance::setValue(int index, Frei0rParameter::Type type, void* value)
{
    const std::vector<Frei0rParameter>& parameters = mPlugIn->parameters();
    if (index < 0 || size_t(index) >= parameters.size() || parameters[size_t(index)].type != type) {
        DIAG_REPORT("Frei0rInstance: \"%s\" has no parameter %d of type %d",
                    mPlugIn->name().c_str(), index, int(type));
        return false;
    }
    mPlugIn->mFunctions->setParamValue(mInstance, value, index);
    return true;
}

bool Frei0rInstance::setBool(int index, bool value)
{
    f0r_param_bool v = value ? 1.0 : 0.0;
    return setValue(index, Frei0rParameter::kBool, &v);
}

bool Frei0rInstance::setDouble(int index, double value)
{
    f0r_param_double v = value;
    return setValue(index, Frei0rParameter::kDouble, &v);
}

bool Frei0rInstance::setColor(int index, float r, float g, float b)
{
    f0r_param_color_t v{r, g, b};
    return setValue(index, Frei0rParameter::kColor, &v);
}

bool Frei0rInstance::setPosition(int index, double x, double y)
{
    f0r_param_position_t v{x, y};
    return setValue(index, Frei0rParameter::kPosition, &v);
}

bool Frei0rInstance::setString(int index, const char* value)
{
    if (!value)
        return false;
    // The plug-in copies the text; the pointer only has to live for the call.
    f0r_param_string v = const_cast<char*>(value);
    return setValue(index, Frei0rParameter::kString, &v);
}

bool Frei0rInstance::update(double time, const UInt8* in, size_t inRowBytes, UInt8* out,
                            size_t outRowBytes)
{
    if (!in || !out || inRowBytes < mWidth * 4 || outRowBytes < mWidth * 4) {
        DIAG_REPORT("Frei0rInstance: \"%s\" given no frame to run on", mPlugIn->name().c_str());
        return false;
    }
    const int model = mPlugIn->colorModel();
    // Offsets of R, G, B, A within the plug-in's pixel; PACKED32 plug-ins only move pixels, so
    // they get ours unchanged.
    const bool packed = model == F0R_COLOR_MODEL_PACKED32;
    const size_t r = model == F0R_COLOR_MODEL_BGRA8888 ? 2 : 0, g = 1,
                 b = model == F0R_COLOR_MODEL_BGRA8888 ? 0 : 2, a = 3;
    UInt8* frameIn = reinterpret_cast<UInt8*>(mScratch.get());
    UInt8* frameOut = reinterpret_cast<UInt8*>(mScratch.get() + mFrameWidth * mFrameHeight);
    const size_t frameRow = mFrameWidth * 4;

    for (size_t y = 0; y < mHeight; ++y) {
        const UInt8* s = in + y * inRowBytes;
        UInt8* d = frameIn + y * frameRow;
        if (packed) {
            std::memcpy(d, s, mWidth * 4);
        } else {
            for (size_t x = 0; x < mWidth; ++x, s += 4, d += 4) {
                const unsigned alpha = s[0];
                d[r] = Unpremultiply(s[1], alpha);
                d[g] = Unpremultiply(s[2], alpha);
                d[b] = Unpremultiply(s[3], alpha);
                d[a] = UInt8(alpha);
            }
        }
        UInt8* row = frameIn + y * frameRow;
        for (size_t x = mWidth; x < mFrameWidth; ++x)
            std::memcpy(row + x * 4, row + (mWidth - 1) * 4, 4);
    }
    for (size_t y = mHeight; y < mFrameHeight; ++y)
        std::memcpy(frameIn + y * frameRow, frameIn + (mHeight - 1) * frameRow, frameRow);

    mPlugIn->mFunctions->update(mInstance, time, reinterpret_cast<const uint32_t*>(frameIn),
                                reinterpret_cast<uint32_t*>(frameOut));

    for (size_t y = 0; y < mHeight; ++y) {
        const UInt8* s = frameOut + y * frameRow;
        UInt8* d = out + y * outRowBytes;
        if (packed) {
            std::memcpy(d, s, mWidth * 4);
        } else {
            for (size_t x = 0; x < mWidth; ++x, s += 4, d += 4) {
                const unsigned alpha = s[a];
                d[0] = UInt8(alpha);
                d[1] = Premultiply(s[r], alpha);
                d[2] = Premultiply(s[g], alpha);
                d[3] = Premultiply(s[b], alpha);
            }
        }
    }
    return true;
}

} // namespace CoreImage

bool import_Frei0rInstance()
{
    return import_Frei0rPlugIn();
}
