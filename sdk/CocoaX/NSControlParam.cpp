#include "NSControlParam.h"

#include <QMetaProperty>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>

#include "CoreMachDebugLog.h"

namespace {

QMetaProperty UserProperty(QObject* in_control)
{
    return in_control ? in_control->metaObject()->userProperty() : QMetaProperty();
}

QVariant ReadValue(QObject* in_control, const char* in_function)
{
    const QMetaProperty property = UserProperty(in_control);
    if (!VERIFY_TEXT(in_function, "inControl", property.isValid()))
        return QVariant();
    return property.read(in_control);
}

void WriteValue(QObject* in_control, const QVariant& in_value, const char* in_function)
{
    const QMetaProperty property = UserProperty(in_control);
    if (VERIFY_TEXT(in_function, "inControl", property.isValid()))
        property.write(in_control, in_value);
}

// The leading number of a text, as a control's floatValue reads it; C locale always.
double LeadingNumber(const QString& in_text)
{
    const QByteArray bytes = in_text.toUtf8();
    const char* first = bytes.constData();
    const char* last = first + bytes.size();
    while (first != last && (*first == ' ' || *first == '\t' || *first == '\n'))
        ++first;
    if (first != last && *first == '+')
        ++first;
    double value = 0;
    const std::from_chars_result result = std::from_chars(first, last, value);
    if (result.ec == std::errc::result_out_of_range)
        return *first == '-' ? -DBL_MAX : DBL_MAX;
    return result.ec == std::errc() ? value : 0;
}

} // namespace

double NSControlParam::doubleValueOf(const QVariant& in_value)
{
    double value = 0;
    if (in_value.metaType().id() == QMetaType::QString)
        value = LeadingNumber(in_value.toString());
    else if (in_value.canConvert<double>())
        value = in_value.toDouble();
    if (std::isnan(value))
        return 0;
    return std::fmin(std::fmax(value, -DBL_MAX), DBL_MAX);
}

int NSControlParam::intValueOf(const QVariant& in_value)
{
    const double value = std::trunc(doubleValueOf(in_value));
    return int(std::fmin(std::fmax(value, double(INT_MIN)), double(INT_MAX)));
}

QVariant NSControlParam::intParam(QObject* in_control)
{
    return intValueOf(ReadValue(in_control, "-[NSControl intParam]"));
}

void NSControlParam::setIntParam(QObject* in_control, const QVariant& in_value)
{
    WriteValue(in_control, intValueOf(in_value), "-[NSControl setIntParam:]");
}

QVariant NSControlParam::floatParam(QObject* in_control)
{
    const double value = doubleValueOf(ReadValue(in_control, "-[NSControl floatParam]"));
    return float(std::fmin(std::fmax(value, -double(FLT_MAX)), double(FLT_MAX)));
}

void NSControlParam::setFloatParam(QObject* in_control, const QVariant& in_value)
{
    const double value = doubleValueOf(in_value);
    WriteValue(in_control, float(std::fmin(std::fmax(value, -double(FLT_MAX)), double(FLT_MAX))),
               "-[NSControl setFloatParam:]");
}

QVariant NSControlParam::boolParam(QObject* in_control)
{
    const int value = intValueOf(ReadValue(in_control, "-[NSControl boolParam]"));
    return QString((value & 0xFF) ? "true" : "false");
}

void NSControlParam::setBoolParam(QObject* in_control, const QVariant& in_value)
{
    const bool on = in_value.metaType().id() == QMetaType::QString &&
                    in_value.toString().compare("true", Qt::CaseInsensitive) == 0;
    WriteValue(in_control, on ? 1 : 0, "-[NSControl setBoolParam:]");
}

QVariant NSControlParam::writeOnlyParam(QObject*)
{
    return QString("");
}

void NSControlParam::setReadOnlyParam(QObject*, const QVariant&) {}

QVariant NSControlParam::stringValue(QObject* in_control)
{
    const QVariant value = ReadValue(in_control, "-[NSControl stringValue]");
    return value.isValid() ? QVariant(value.toString()) : QVariant();
}

void NSControlParam::setStringValue(QObject* in_control, const QVariant& in_value)
{
    WriteValue(in_control, in_value.toString(), "-[NSControl setStringValue:]");
}

bool import_NSControlParam()
{
    return import_CoreMachDebugLog();
}
