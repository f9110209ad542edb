#include "ParamMapping.h"

#include <algorithm>

#include "CoreMachDebugLog.h"
#include "NSColorWell.h"
#include "NSControlParam.h"

tagParamMapItem ParamMapping::sBadParamItem = {kParamReadWrite, 2,       nullptr, nullptr,
                                               nullptr,         nullptr, nullptr};

namespace {

tagParamMapItem sSampleItems[] = {
    {kParamReadWrite, 2, "param.one", nullptr, NSControlParam::stringValue,
     NSControlParam::setStringValue, nullptr},
    {kParamReadWrite, 2, "param.two", nullptr, NSControlParam::stringValue,
     NSControlParam::setStringValue, nullptr},
    {kParamReadWrite, 2, "param.three", nullptr, NSControlParam::stringValue,
     NSControlParam::setStringValue, "StringParamMapper"},
    {0, 0, nullptr, nullptr, nullptr, nullptr, nullptr},
};

ParamMapping sSampleMapping(sSampleItems);

} // namespace

ParamMapping::ParamMapping(tagParamMapItem* in_items)
{
    SetItems(in_items);
}

void ParamMapping::SetItems(tagParamMapItem* in_items)
{
    mItem = in_items;
    mCount = 0;
    while (mItem && mItem[mCount].paramName)
        ++mCount;
}

tagParamMapItem& ParamMapping::ParamFromIndex(int in_index)
{
    // Without a table there is not even a terminating entry to answer.
    if (!mItem)
        return sBadParamItem;
    return mItem[std::min(std::max(in_index, 0), mCount)];
}

int ParamMapping::IndexFromName(const QString& in_paramName) const
{
    for (int i = 0; i < mCount; ++i)
        if (in_paramName.compare(QString::fromUtf8(mItem[i].paramName), Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

tagParamMapItem& ParamMapping::ParamFromName(const QString& in_paramName)
{
    if (!VERIFY_TEXT("ParamMapping::ParamFromName", "inParamName", !in_paramName.isNull()))
        return sBadParamItem;
    const int index = IndexFromName(in_paramName);
    return index < 0 ? sBadParamItem : mItem[index];
}

const tagParamMapItem& ParamMapping::ConstParamFromName(const QString& in_paramName) const
{
    if (!VERIFY_TEXT("ParamMapping::ConstParamFromName", "inParamName", !in_paramName.isNull()))
        return sBadParamItem;
    const int index = IndexFromName(in_paramName);
    return index < 0 ? sBadParamItem : mItem[index];
}

const tagParamMapItem& ParamMapping::ConstParamFromControl(const QObject* in_paramControl) const
{
    if (!VERIFY_TEXT("ParamMapping::ConstParamFromControl", "inParamControl", in_paramControl))
        return sBadParamItem;
    for (int i = 0; i < mCount; ++i)
        if (mItem[i].paramControl == in_paramControl)
            return mItem[i];
    return sBadParamItem;
}

QString ParamMapping::FindParamName(const QObject* in_paramControl) const
{
    const tagParamMapItem& item = ConstParamFromControl(in_paramControl);
    if (!VERIFY_TEXT("ParamMapping::FindParamName", "&item != &sBadParamItem", !IsBadParam(item)))
        return QString();
    return QString::fromUtf8(item.paramName);
}

QObject* ParamMapping::FindParamControl(const QString& in_paramName) const
{
    const tagParamMapItem& item = ConstParamFromName(in_paramName);
    if (!VERIFY_TEXT("ParamMapping::FindParamControl", "&item != &sBadParamItem",
                     !IsBadParam(item)))
        return nullptr;
    return item.paramControl;
}

bool ParamMapping::SetParamControl(const QString& in_paramName, QObject* in_paramControl)
{
    if (!VERIFY_TEXT("ParamMapping::SetParamControl", "inParamControl", in_paramControl))
        return false;
    tagParamMapItem& item = ParamFromName(in_paramName);
    // The not-found entry is shared by every mapping: it is never bound.
    if (!VERIFY_TEXT("ParamMapping::SetParamControl", "&item != &sBadParamItem", !IsBadParam(item)))
        return false;
    item.paramControl = in_paramControl;
    return true;
}

QVariant ParamMapping::FindParamItemValue(const tagParamMapItem& mapItem) const
{
    if (mapItem.paramAccess == kParamWriteOnly)
        return QVariant();
    const char* function = "ParamMapping::FindParamItemValue";
    if (!VERIFY_TEXT(function, "mapItem.paramName", mapItem.paramName) ||
        !VERIFY_TEXT(function, "mapItem.paramControl", mapItem.paramControl) ||
        !VERIFY_TEXT(function, "mapItem.selGetValue", mapItem.selGetValue))
        return QVariant();
    return mapItem.selGetValue(mapItem.paramControl);
}

QVariant ParamMapping::GetParamValue(const QString& in_paramName) const
{
    return FindParamItemValue(ConstParamFromName(in_paramName));
}

void ParamMapping::AddParamsToDictionary(QVariantMap* io_dictionary) const
{
    if (!io_dictionary)
        return;
    for (int i = 0; i < mCount; ++i) {
        const QVariant value = FindParamItemValue(mItem[i]);
        if (value.isValid())
            io_dictionary->insert(QString::fromUtf8(mItem[i].paramName), value);
    }
}

void ParamMapping::AddParamsWithPrefixToDictionary(QVariantMap* io_dictionary,
                                                   const QString& in_prefix) const
{
    if (!io_dictionary || in_prefix.isNull())
        return;
    for (int i = 0; i < mCount; ++i) {
        const tagParamMapItem& item = mItem[i];
        if (item.paramAccess == kParamWriteOnly || !item.paramControl)
            continue;
        const QString name = QString::fromUtf8(item.paramName);
        if (!name.startsWith(in_prefix, Qt::CaseInsensitive))
            continue;
        const QVariant value = FindParamItemValue(item);
        if (value.isValid())
            io_dictionary->insert(name, value);
    }
}

void ParamMapping::SetControlValuesFromDictionary(const QVariantMap* in_dictionary)
{
    if (!in_dictionary)
        return;
    if (!VERIFY_TEXT("ParamMapping::SetControlValuesFromDictionary", "[dictionary count]>0",
                     !in_dictionary->isEmpty()))
        return;
    for (int pass = 0; pass < kPassCount; ++pass)
        for (auto entry = in_dictionary->cbegin(); entry != in_dictionary->cend(); ++entry) {
            const int index = IndexFromName(entry.key());
            if (index < 0)
                continue;
            const tagParamMapItem& item = mItem[index];
            if (item.paramAccess == kParamReadOnly || item.paramPass != pass ||
                !item.paramControl || !item.selSetValue)
                continue;
            VERIFY_TEXT("ParamMapping::SetControlValuesFromDictionary", "paramValue",
                        entry.value().isValid());
            item.selSetValue(item.paramControl, entry.value());
        }
}

ParamMapping& ParamMapping::SampleMapping()
{
    return sSampleMapping;
}

bool import_NSUIParamMapping()
{
    return import_NSColorWell() && import_NSControlParam();
}
