// One instance of a frei0r filter plug-in, for frames of one size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Frei0rPlugIn.h"
#include "MacTypes.h"

namespace CoreImage {

// One instance of a filter for frames of one size. Frames are A,R,G,B premultiplied with any
// row padding; the instance converts them to the plug-in's layout in scratch frames it owns,
// so running a frame allocates nothing.
class Frei0rInstance
{
public:
    // Sides within 1..kMaxSide; null with a report otherwise or when the plug-in refuses.
    static std::unique_ptr<Frei0rInstance> Create(std::shared_ptr<Frei0rPlugIn> plugIn,
                                                  size_t width, size_t height);
    static constexpr size_t kMaxSide = 16384;

    ~Frei0rInstance();
    Frei0rInstance(const Frei0rInstance&) = delete;
    Frei0rInstance& operator=(const Frei0rInstance&) = delete;

    const Frei0rPlugIn& plugIn() const { return *mPlugIn; }
    size_t width() const { return mWidth; }
    size_t height() const { return mHeight; }

    // False (with a report) for an index out of range or of another type.
    bool setBool(int index, bool value);
    bool setDouble(int index, double value);
    bool setColor(int index, float r, float g, float b);
    bool setPosition(int index, double x, double y);
    bool setString(int index, const char* value);

    // in and out may be the same memory. False for a null pointer or rows shorter than the
    // width.
    bool update(double time, const UInt8* in, size_t inRowBytes, UInt8* out, size_t outRowBytes);

private:
    Frei0rInstance() = default;
    bool setValue(int index, Frei0rParameter::Type type, void* value);

    std::shared_ptr<Frei0rPlugIn> mPlugIn;
    void* mInstance = nullptr;
    size_t mWidth = 0;
    size_t mHeight = 0;
    // frei0r frames have sides in multiples of 8 and no padding; the extra pixels repeat the
    // last column and row so that neighbourhood filters see no false edge.
    size_t mFrameWidth = 0;
    size_t mFrameHeight = 0;
    std::unique_ptr<uint32_t[]> mScratch; // input frame, then output frame
};

} // namespace CoreImage

bool import_Frei0rInstance();
