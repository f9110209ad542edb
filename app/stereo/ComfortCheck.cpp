#include "ComfortCheck.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

uint64_t Total(const std::vector<uint32_t>& bins)
{
    uint64_t total = 0;
    for (uint32_t count : bins)
        total += count;
    return total;
}

} // namespace

double ComfortCheck::DisparityPercentile(const std::vector<uint32_t>& bins, double percent)
{
    const uint64_t total = Total(bins);
    if (total == 0)
        return -1;
    const double rank = std::clamp(percent, 0.0, 100.0) / 100.0 * double(total);
    uint64_t below = 0;
    for (size_t bin = 0; bin < bins.size(); ++bin) {
        if (bins[bin] == 0)
            continue;
        if (double(below + bins[bin]) >= rank)
            return (double(bin) + std::max(rank - double(below), 0.0) / bins[bin]) /
                   DepthHistogram::kBinsPerPixel;
        below += bins[bin];
    }
    return double(bins.size()) / DepthHistogram::kBinsPerPixel;
}

bool ComfortCheck::EdgeViolated(const std::vector<uint32_t>& band, double separation)
{
    // Parallax separation - d below -kViolationPixels: d above separation + kViolationPixels,
    // counted by each bin's lower edge.
    const double nearest = separation + kViolationPixels;
    uint64_t total = 0, inFront = 0;
    for (size_t bin = 0; bin < band.size(); ++bin) {
        total += band[bin];
        if (double(bin) / DepthHistogram::kBinsPerPixel > nearest)
            inFront += band[bin];
    }
    return total > 0 && double(inFront) > kViolationShare * double(total);
}

const ComfortCheck::Reading& ComfortCheck::Clear()
{
    Reading& r = mReading;
    r.measured = r.exceeded = r.leftEdgeViolation = r.rightEdgeViolation = false;
    r.nearParallax = r.farParallax = r.budgetPixels = r.convergenceTarget = 0;
    r.status.assign("Depth: measuring…");
    r.warning.clear();
    return r;
}

const ComfortCheck::Reading& ComfortCheck::Check(const DepthHistogram& histogram, const View& view)
{
    Clear();
    Reading& r = mReading;
    const uint64_t seen = histogram.known + histogram.unknown;
    if (seen == 0 || double(histogram.known) < kMinKnownShare * double(seen)) {
        r.status.assign("Depth: too little detail to measure");
        return r;
    }
    const double percent =
        std::isfinite(view.budgetPercent)
            ? std::clamp(view.budgetPercent, kMinBudgetPercent, kMaxBudgetPercent)
            : kDefaultBudgetPercent;
    const double separation =
        double(view.rightOffsetX) - double(view.leftOffsetX) + double(view.convergenceShift);
    // Parallax falls as disparity grows: the nearest parallax is the far end of disparity.
    const double nearest = DisparityPercentile(histogram.all, 100.0 - kNearPercentile);
    const double farthest = DisparityPercentile(histogram.all, 100.0 - kFarPercentile);
    if (nearest < 0 || farthest < 0) {
        r.status.assign("Depth: too little detail to measure");
        return r;
    }
    r.measured = true;
    r.nearParallax = separation - nearest;
    r.farParallax = separation - farthest;
    r.budgetPixels = percent / 100.0 * std::max(view.width, 0);
    r.convergenceTarget = double(view.convergenceShift) - r.nearParallax;
    r.exceeded = r.nearParallax < -r.budgetPixels || r.farParallax > r.budgetPixels;
    r.leftEdgeViolation = EdgeViolated(histogram.leftEdge, separation);
    r.rightEdgeViolation = EdgeViolated(histogram.rightEdge, separation);

    char words[200];
    // Whole pixels: the words change only when the picture's depth does, not with each map's noise.
    snprintf(words, sizeof words, "Parallax %ld to %ld px, budget ±%ld px",
             std::lround(r.nearParallax), std::lround(r.farParallax), std::lround(r.budgetPixels));
    r.status.assign(words);
    const char* const edges = r.leftEdgeViolation && r.rightEdgeViolation ? "both edges"
                              : r.leftEdgeViolation                       ? "the left edge"
                                                                          : "the right edge";
    if (r.exceeded && r.windowViolation())
        snprintf(words, sizeof words, "Too much depth; window violation at %s", edges);
    else if (r.exceeded)
        snprintf(words, sizeof words, "Too much depth for comfort");
    else if (r.windowViolation())
        snprintf(words, sizeof words, "Window violation at %s", edges);
    else
        words[0] = '\0';
    r.warning.assign(words);
    return r;
}
