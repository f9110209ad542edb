// Controls by parameter name. A table binds each name to a control and to the functions that
// read and write the control's value as an object (a number or a text, NSControlParam), so
// that settings can be gathered into a dictionary and given back, pass by pass.
#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

// Reads the control's value as an object; writes it from one.
using ParamGetter = QVariant (*)(QObject* control);
using ParamSetter = void (*)(QObject* control, const QVariant& value);

enum ParamAccess { kParamReadOnly = 1, kParamWriteOnly = 2, kParamReadWrite = 3 };

// One entry of a table; a table ends with an entry whose name is null.
struct tagParamMapItem
{
    int paramAccess;              // ParamAccess
    int paramPass;                // 0..4: the pass in which a dictionary sets it
    const char* paramName;        // UTF-8, compared without regard to case
    QObject* paramControl;        // borrowed; null until bound
    ParamGetter selGetValue;      // may be null
    ParamSetter selSetValue;      // may be null
    const char* paramMapperClass; // a converter's class name, kept for callers; may be null
};

class ParamMapping
{
public:
    static constexpr int kPassCount = 5;

    // The table is the caller's and must outlive the mapping; it is not copied.
    explicit ParamMapping(tagParamMapItem* in_items = nullptr);
    void SetItems(tagParamMapItem* in_items);
    int Count() const { return mCount; }

    // The entry every failed look-up answers; compare addresses with IsBadParam.
    static tagParamMapItem sBadParamItem;
    static bool IsBadParam(const tagParamMapItem& in_item) { return &in_item == &sBadParamItem; }

    // Index held to 0..Count(), Count() being the terminating entry.
    tagParamMapItem& ParamFromIndex(int in_index);
    tagParamMapItem& ParamFromName(const QString& in_paramName);
    const tagParamMapItem& ConstParamFromName(const QString& in_paramName) const;
    const tagParamMapItem& ConstParamFromControl(const QObject* in_paramControl) const;
    QString FindParamName(const QObject* in_paramControl) const;
    QObject* FindParamControl(const QString& in_paramName) const;
    // False, and nothing bound, for a null control or a name not in the table.
    bool SetParamControl(const QString& in_paramName, QObject* in_paramControl);

    // Null for a write-only entry, or one without name, control or getter.
    QVariant FindParamItemValue(const tagParamMapItem& mapItem) const;
    QVariant GetParamValue(const QString& in_paramName) const;
    void AddParamsToDictionary(QVariantMap* io_dictionary) const;
    void AddParamsWithPrefixToDictionary(QVariantMap* io_dictionary,
                                         const QString& in_prefix) const;
    // Pass 0 first, then 1 … 4; within a pass in the dictionary's key order.
    void SetControlValuesFromDictionary(const QVariantMap* in_dictionary);

    // "param.one", "param.two", "param.three", built at start-up.
    static ParamMapping& SampleMapping();

private:
    int IndexFromName(const QString& in_paramName) const;

    tagParamMapItem* mItem = nullptr;
    int mCount = 0;
};

bool import_NSUIParamMapping();
