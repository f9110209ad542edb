#include "NSUIFloatSlider.h"

NSUIFloatSlider::NSUIFloatSlider(const NSUIFloatRange& in_range, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), mRange(in_range), mValue(in_range.fallback())
{
    setRange(0, kSteps);
    setPageStep(kSteps / 20);
    setFloatValue(mValue);
    connect(this, &QSlider::valueChanged, this, &NSUIFloatSlider::knobMoved);
}

NSUIFloatSlider::~NSUIFloatSlider() = default;

void NSUIFloatSlider::setFloatValue(double in_value)
{
    const double value = mRange.clamp(in_value);
    mPlacingKnob = true;
    setValue(mRange.stepOfValue(value, kSteps));
    mPlacingKnob = false;
    if (value != mValue) {
        mValue = value;
        emit floatValueChanged(mValue);
    }
}

QString NSUIFloatSlider::stringValue() const
{
    return NSUIFloatRange::text(mValue);
}

void NSUIFloatSlider::setStringValue(const QString& in_text)
{
    setFloatValue(mRange.fromText(in_text));
}

void NSUIFloatSlider::knobMoved(int in_position)
{
    if (mPlacingKnob)
        return;
    mValue = mRange.valueAtStep(in_position, kSteps);
    emit floatValueChanged(mValue);
    emit floatValueEdited(mValue);
}

bool import_NSUIFloatSlider()
{
    return true;
}
