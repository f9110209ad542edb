// The parameter forms of a control's value, as a parameter table reads and writes them: a
// number or a text. A control's value is its Qt user property (a slider's value, a switch's
// checked state, a float slider's float value).
#pragma once

#include <QObject>
#include <QVariant>

class NSControlParam
{
public:
    // A number of the control's int value; setIntParam takes the object's int value (null: 0).
    static QVariant intParam(QObject* in_control);
    static void setIntParam(QObject* in_control, const QVariant& in_value);
    // The same with float values.
    static QVariant floatParam(QObject* in_control);
    static void setFloatParam(QObject* in_control, const QVariant& in_value);
    // "true" when the low 8 bits of the int value are set, else "false"; the setter sets 1 for
    // "true" in any case, else 0.
    static QVariant boolParam(QObject* in_control);
    static void setBoolParam(QObject* in_control, const QVariant& in_value);
    // Always ""; the setter does nothing.
    static QVariant writeOnlyParam(QObject* in_control);
    static void setReadOnlyParam(QObject* in_control, const QVariant& in_value);
    // The value as text, and back.
    static QVariant stringValue(QObject* in_control);
    static void setStringValue(QObject* in_control, const QVariant& in_value);

    // What an object counts as as a number: a number as it is, a text by its leading number as
    // a control reads it ("12.5 cm" is 12.5, "abc" is 0), anything else 0. NaN counts as 0;
    // the int form is held to the int range.
    static double doubleValueOf(const QVariant& in_value);
    static int intValueOf(const QVariant& in_value);
};

bool import_NSControlParam();
