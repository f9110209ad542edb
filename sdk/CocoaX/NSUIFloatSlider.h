// A slider with a float value in a range of its own. The value is kept exactly as set (the
// knob shows the nearest of its steps); text and numbers from outside are held to the range.
#pragma once

#include <QSlider>

#include "NSUIFloatRange.h"

class NSUIFloatSlider : public QSlider
{
    Q_OBJECT
    // The value parameter tables and the preferences read and write.
    Q_PROPERTY(
        double floatValue READ floatValue WRITE setFloatValue NOTIFY floatValueChanged USER true)

public:
    static constexpr int kSteps = 1000;

    explicit NSUIFloatSlider(const NSUIFloatRange& in_range, QWidget* parent = nullptr);
    ~NSUIFloatSlider() override;

    const NSUIFloatRange& range() const { return mRange; }
    double floatValue() const { return mValue; }
    void setFloatValue(double in_value);
    // "0", "1", "0.25"; setting text that is not a number gives the range's fallback.
    QString stringValue() const;
    void setStringValue(const QString& in_text);

signals:
    void floatValueChanged(double value);
    // Only the user's moves: values set from code send nothing here.
    void floatValueEdited(double value);

private:
    void knobMoved(int in_position);

    NSUIFloatRange mRange;
    double mValue;
    bool mPlacingKnob = false;
};

bool import_NSUIFloatSlider();
