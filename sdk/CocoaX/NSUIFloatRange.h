// The values a float control may hold: a closed range with the value a control falls back to.
// Text and numbers from outside (stored preferences, parameters) come through here, so a control
// never holds a value outside its range, and never NaN.
#pragma once

#include <QString>

class NSUIFloatRange
{
public:
    constexpr NSUIFloatRange(double in_minimum, double in_maximum, double in_fallback)
        : mMinimum(in_minimum), mMaximum(in_maximum), mFallback(in_fallback)
    {
    }

    constexpr double minimum() const { return mMinimum; }
    constexpr double maximum() const { return mMaximum; }
    constexpr double fallback() const { return mFallback; }

    // Held to the range; NaN gives the fallback.
    double clamp(double in_value) const;
    // The number the whole text (surrounding spaces aside) spells, held to the range; text that
    // is not a number, or NaN, gives the fallback.
    double fromText(const QString& in_text) const;
    // The shortest text that gives the value back ("0", "1", "0.25").
    static QString text(double in_value);

    // Slider positions 0..in_steps over the range, and back. The middle position is the
    // fallback exactly, even off the range's middle (contrast 0.25 … 2 at rest on 1): the lower
    // half of the steps spans minimum … fallback, the upper half fallback … maximum. Fewer than
    // two steps give the minimum and step 0.
    double valueAtStep(int in_step, int in_steps) const;
    int stepOfValue(double in_value, int in_steps) const;

private:
    // Where the two halves meet: the fallback when it lies inside the range, else its middle.
    double pivot() const;

    double mMinimum;
    double mMaximum;
    double mFallback;
};
