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

double NSUIFloatRange::valueAtStep(int in_step, int in_steps) const
{
    if (in_steps <= 0)
        return mMinimum;
    const double fraction = double(std::min(std::max(in_step, 0), in_steps)) / in_steps;
    return mMinimum + (mMaximum - mMinimum) * fraction;
}

int NSUIFloatRange::stepOfValue(double in_value, int in_steps) const
{
    if (in_steps <= 0 || !(mMaximum > mMinimum))
        return 0;
    const double fraction = (clamp(in_value) - mMinimum) / (mMaximum - mMinimum);
    return int(std::lround(fraction * in_steps));
}
