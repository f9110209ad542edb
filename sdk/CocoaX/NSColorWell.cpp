#include "NSColorWell.h"

#include <QByteArray>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "CoreMachDebugLog.h"

bool NSColorWell::sColorParamsLocked = false;

namespace {

// A component as the well keeps it: 0..1, NaN as 0.
float Component(double in_value)
{
    return std::isnan(in_value) ? 0.0f : float(std::fmin(std::fmax(in_value, 0.0), 1.0));
}

// Reads "<prefix>(%f,%f,…)" as sscanf would, but in the C locale whatever the user's locale:
// the numbers found, in order, up to the first that does not match. Answers how many were read.
int ScanComponents(const QString& in_text, const char* in_prefix, double* out_values, int in_max)
{
    const QByteArray bytes = in_text.toUtf8();
    const char* p = bytes.constData();
    const char* end = p + bytes.size();
    const size_t prefixLength = strlen(in_prefix);
    if (size_t(end - p) < prefixLength || memcmp(p, in_prefix, prefixLength) != 0)
        return 0;
    p += prefixLength;
    int count = 0;
    while (count < in_max) {
        if (count > 0) {
            if (p == end || *p != ',')
                break;
            ++p;
        }
        while (p != end && (*p == ' ' || *p == '\t' || *p == '\n'))
            ++p;
        if (p != end && *p == '+')
            ++p;
        double value = 0;
        const std::from_chars_result result = std::from_chars(p, end, value);
        if (result.ec == std::errc::result_out_of_range)
            value = (p != end && *p == '-') ? -HUGE_VAL : HUGE_VAL;
        else if (result.ec != std::errc())
            break;
        out_values[count++] = value;
        p = result.ptr;
    }
    return count;
}

// "<prefix>(c,c,…)" with three decimals per component, rounded as printf's "%1.3f" rounds, but
// in the C locale whatever the user's: the stored text must read back for every user, within
// half a thousandth of each component.
QString Format(const char* in_prefix, std::initializer_list<float> in_components)
{
    std::string text = in_prefix;
    char digits[64];
    for (float component : in_components) {
        if (text.back() != '(')
            text += ',';
        const std::to_chars_result result = std::to_chars(
            digits, digits + sizeof digits, double(component), std::chars_format::fixed, 3);
        text.append(digits, result.ptr);
    }
    text += ')';
    return QString::fromStdString(text);
}

QString TextOf(const QVariant& in_value)
{
    return in_value.isValid() ? in_value.toString() : QString();
}

} // namespace

NSColorWell::NSColorWell(QObject* parent) : QObject(parent) {}

NSColorWell::~NSColorWell() = default;

void NSColorWell::store(NSColor4D in_color)
{
    const NSColor4D color = {Component(in_color.red), Component(in_color.green),
                             Component(in_color.blue),
                             std::isnan(in_color.alpha) ? 1.0f : Component(in_color.alpha)};
    const bool changed = !mHasRGB || color.red != mColor.red || color.green != mColor.green ||
                         color.blue != mColor.blue || color.alpha != mColor.alpha;
    mColor = color;
    mHasRGB = true;
    if (changed)
        emit colorChanged();
}

void NSColorWell::setColorWithoutRGB()
{
    mHasRGB = false;
    emit colorChanged();
}

void NSColorWell::setColorParamsLocked(bool in_locked)
{
    sColorParamsLocked = in_locked;
}

bool NSColorWell::colorParamsLocked()
{
    return sColorParamsLocked;
}

QString NSColorWell::color3DParam() const
{
    const NSColor3D c = getColor3DOpaque();
    return Format("rgb(", {c.red, c.green, c.blue});
}

void NSColorWell::setColor3DParam(const QString& in_text)
{
    double values[3] = {0, 0, 0};
    ScanComponents(in_text, "rgb(", values, 3);
    if (!sColorParamsLocked)
        setColor3DOpaque({Component(values[0]), Component(values[1]), Component(values[2])});
}

QString NSColorWell::color4DParam() const
{
    const NSColor4D c = getColor4D();
    return Format("rgba(", {c.red, c.green, c.blue, c.alpha});
}

void NSColorWell::setColor4DParam(const QString& in_text)
{
    double values[4] = {0, 0, 0, 1};
    ScanComponents(in_text, "rgba(", values, 4);
    const float alpha = std::isnan(values[3]) ? 1.0f : Component(values[3]);
    if (sColorParamsLocked)
        setColorAlpha(alpha);
    else
        setColor4D({Component(values[0]), Component(values[1]), Component(values[2]), alpha});
}

bool NSColorWell::parseColor3DParam(const QString& in_text, NSColor3D* out_color)
{
    double values[3] = {0, 0, 0};
    const QString text = in_text.trimmed();
    if (ScanComponents(text, "rgb(", values, 3) != 3 || !text.endsWith(')'))
        return false;
    for (double value : values)
        if (std::isnan(value))
            return false;
    if (out_color)
        *out_color = {Component(values[0]), Component(values[1]), Component(values[2])};
    return true;
}

QVariant NSColorWell::color3DParam(QObject* in_control)
{
    const auto* well = qobject_cast<NSColorWell*>(in_control);
    if (!VERIFY_TEXT("-[NSColorWell color3DParam]", "inControl", well))
        return QVariant();
    return well->color3DParam();
}

void NSColorWell::setColor3DParam(QObject* in_control, const QVariant& in_value)
{
    auto* well = qobject_cast<NSColorWell*>(in_control);
    if (VERIFY_TEXT("-[NSColorWell setColor3DParam:]", "inControl", well))
        well->setColor3DParam(TextOf(in_value));
}

QVariant NSColorWell::color4DParam(QObject* in_control)
{
    const auto* well = qobject_cast<NSColorWell*>(in_control);
    if (!VERIFY_TEXT("-[NSColorWell color4DParam]", "inControl", well))
        return QVariant();
    return well->color4DParam();
}

void NSColorWell::setColor4DParam(QObject* in_control, const QVariant& in_value)
{
    auto* well = qobject_cast<NSColorWell*>(in_control);
    if (VERIFY_TEXT("-[NSColorWell setColor4DParam:]", "inControl", well))
        well->setColor4DParam(TextOf(in_value));
}

bool import_NSColorWell()
{
    return import_CoreMachDebugLog();
}
