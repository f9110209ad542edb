// An output whose consumers pick the format: it takes the broadcast's A, R, G, B pixels and
// converts them itself, where they lie (WritePixels) or from a packed frame (Write).
#pragma once

#include "FrameOutput.h"

class SelfConvertingOutput : public FrameOutput
{
public:
    // A packed frame of the size set at Open, whole as it is the caller's own; part of one, or
    // one before Open, is dropped.
    bool Write(const uint8_t* in_frame, size_t in_bytes, std::string& out_error) final
    {
        if (mWidth <= 0 || in_bytes < size_t(mWidth) * size_t(mHeight) * 4)
            return true;
        static const std::function<bool()> kWhole = [] { return true; };
        return WritePixels(in_frame, size_t(mWidth) * 4, kWhole, out_error);
    }
    bool ConvertsItself() const final { return true; }
    bool WritePixels(const uint8_t* in_argb, size_t in_rowBytes,
                     const std::function<bool()>& in_whole, std::string& out_error) override = 0;

protected:
    // The size of the packed frames Write takes, from the settings given to Open.
    void SetFrameSize(int in_width, int in_height)
    {
        mWidth = in_width;
        mHeight = in_height;
    }

private:
    int mWidth = 0;
    int mHeight = 0;
};
