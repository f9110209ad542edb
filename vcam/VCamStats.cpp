#include "VCamStats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

void VCamStats::frameWritten(uint64_t in_writeNs, uint64_t in_captureNs)
{
    ++mWritten;
    // A capture time later than the write is no age: another clock, or none.
    if (in_captureNs == 0 || in_captureNs > in_writeNs)
        return;
    mAges[mAged % kAgesKept] = {in_writeNs, double(in_writeNs - in_captureNs) / 1e6};
    ++mAged;
}

double VCamStats::percentile(size_t in_count, double in_fraction) const
{
    for (size_t i = 0; i < in_count; ++i)
        mSorted[i] = mAges[(mAged - 1 - i) % kAgesKept].ms;
    const size_t at = size_t(std::max(std::ceil(in_fraction * double(in_count)), 1.0)) - 1;
    std::nth_element(mSorted.begin(), mSorted.begin() + ptrdiff_t(at),
                     mSorted.begin() + ptrdiff_t(in_count));
    return mSorted[at];
}

std::string VCamStats::json(uint64_t in_nowNs) const
{
    // The ages written within the window, newest first.
    size_t count = 0;
    while (count < std::min<uint64_t>(mAged, kAgesKept) &&
           mAges[(mAged - 1 - count) % kAgesKept].writeNs + kWindowNs >= in_nowNs)
        ++count;
    char text[256];
    if (count > 0)
        snprintf(text, sizeof(text),
                 "{\"frames_written\": %llu, \"frames_aged\": %llu, \"age_ms\": {\"median\": "
                 "%.3f, \"p99\": %.3f, \"samples\": %zu}}\n",
                 (unsigned long long)mWritten, (unsigned long long)mAged, percentile(count, 0.5),
                 percentile(count, 0.99), count);
    else
        snprintf(text, sizeof(text),
                 "{\"frames_written\": %llu, \"frames_aged\": %llu, \"age_ms\": null}\n",
                 (unsigned long long)mWritten, (unsigned long long)mAged);
    return text;
}

bool VCamStats::writeFile(const std::string& in_path, uint64_t in_nowNs) const
{
    const std::string text = json(in_nowNs);
    const std::string temporary = in_path + ".part";
    FILE* file = fopen(temporary.c_str(), "we");
    if (file == nullptr)
        return false;
    const bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
    if (fclose(file) != 0 || !written || rename(temporary.c_str(), in_path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}
