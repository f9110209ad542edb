#include "NSUIFloatRange.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

double NSUIFloatRange::clamp(double in_value) const
{
    if (std::isnan(in_value))
        return mFallback;
    return std::fmin(std::fmax(in_value, mMinimum), mMaximum);
}

double NSUIFloatRange::fromText(const QString& in_text) const
{
    bool number = false;
    // QString::toDouble reads the C locale's numbers whatever the user's locale is.
    const double value = in_text.trimmed().toDouble(&number);
    return number ? clamp(value) : mFallback;
}

QString NSUIFloatRange::text(double in_value)
{
    // 'g' with the shortest precision that reads back the same double.
    return QString::number(in_value, 'g', QLocale::FloatingPointShortest);
}

double NSUIFloatRange::pivot() const
{
    return mMinimum < mFallback && mFallback < mMaximum ? mFallback : (mMinimum + mMaximum) / 2;
}

double NSUIFloatRange::valueAtStep(int in_step, int in_steps) const
{
    if (in_steps < 2)
        return mMinimum;
    const int step = std::clamp(in_step, 0, in_steps);
    const int half = in_steps / 2;
    // std::lerp is exact at both ends, so the middle step gives the pivot itself.
    if (step <= half)
        return std::lerp(mMinimum, pivot(), double(step) / half);
    return std::lerp(pivot(), mMaximum, double(step - half) / (in_steps - half));
}

int NSUIFloatRange::stepOfValue(double in_value, int in_steps) const
{
    if (in_steps < 2 || !(mMaximum > mMinimum))
        return 0;
    const double value = clamp(in_value);
    const double middle = pivot();
    const int half = in_steps / 2;
    if (value <= middle)
        return int(std::lround((value - mMinimum) / (middle - mMinimum) * half));
    return half + int(std::lround((value - middle) / (mMaximum - middle) * (in_steps - half)));
}
