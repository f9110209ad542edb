#include "NSUserDefault.h"

#include <QSettings>
#include <atomic>
#include <climits>
#include <cmath>

#include "CoreMachDebugLog.h"

namespace {

QSettings Settings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Parallax3D", "Parallax3D");
}

// The text stored under the key, or nothing for a key that is absent or holds a list or group.
bool StoredText(const char* in_name, QString& out_text)
{
    const QSettings settings = Settings();
    const QVariant value = settings.value(QString::fromUtf8(in_name));
    if (!value.isValid() || !value.canConvert<QString>() ||
        value.metaType().id() == QMetaType::QStringList)
        return false;
    out_text = value.toString();
    return true;
}

bool Store(const char* in_name, const QString& in_text)
{
    QSettings settings = Settings();
    settings.setValue(QString::fromUtf8(in_name), in_text);
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return true;
    // Once: a settings folder that cannot be written would otherwise report every change.
    static std::atomic<bool> sReported{false};
    if (!sReported.exchange(true))
        CoreMachDebugLog("NSUserDefaultSaveObject: the settings file %s cannot be written; "
                         "preferences are not kept\n",
                         settings.fileName().toUtf8().constData());
    return false;
}

} // namespace

int NSNumber::intValue() const
{
    if (std::isnan(mValue))
        return 0;
    return int(std::fmin(std::fmax(std::trunc(mValue), double(INT_MIN)), double(INT_MAX)));
}

template <>
NSNumber NSUserDefaultLoadKind<NSNumber>(const char* inValueName, const NSNumber& inDefault)
{
    if (!VERIFY_AT("NSUserDefaultLoadKind", inValueName))
        return inDefault;
    QString text;
    if (!StoredText(inValueName, text))
        return inDefault;
    bool number = false;
    const double value = text.trimmed().toDouble(&number);
    return number && std::isfinite(value) ? NSNumber(value) : inDefault;
}

template <>
NSString NSUserDefaultLoadKind<NSString>(const char* inValueName, const NSString& inDefault)
{
    if (!VERIFY_AT("NSUserDefaultLoadKind", inValueName))
        return inDefault;
    QString text;
    return StoredText(inValueName, text) ? text : inDefault;
}

bool NSUserDefaultSaveObject(const NSNumber* inObject, const char* inValueName)
{
    const bool object = VERIFY_TEXT("NSUserDefaultSaveObject", "inObject", inObject);
    const bool name = VERIFY_AT("NSUserDefaultSaveObject", inValueName);
    if (!object || !name)
        return false;
    return Store(inValueName, QString::number(inObject->doubleValue(), 'g', 17));
}

bool NSUserDefaultSaveObject(const NSString* inObject, const char* inValueName)
{
    const bool object = VERIFY_TEXT("NSUserDefaultSaveObject", "inObject", inObject);
    const bool name = VERIFY_AT("NSUserDefaultSaveObject", inValueName);
    if (!object || !name)
        return false;
    return Store(inValueName, *inObject);
}

bool NSUserDefaultSave(int inValue, const char* inValueName)
{
    const NSNumber number = NSNumber::numberWithInt(inValue);
    return NSUserDefaultSaveObject(&number, inValueName);
}

bool import_NSUserDefault()
{
    return import_CoreMachDebugLog();
}
