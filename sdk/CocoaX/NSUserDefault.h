// The program's persistent preferences: values by key in the user's settings (QSettings,
// organisation and application "Parallax3D":
// ${XDG_CONFIG_HOME:-~/.config}/Parallax3D/Parallax3D.conf).
//
// A value has a kind, a number or a text, and is used only as the kind asked for: anything else
// stored under the key counts as absent and the default is answered. The settings file keeps
// text only, so the kind is read from the text: a number is text that is a whole decimal number
// and nothing else ("1", "-0.25"); every stored value is a text. A file that cannot be read gives
// the defaults; a save that cannot be written is reported once.
#pragma once

#include <QString>

// A number preference, as the switches store their states.
class NSNumber
{
public:
    explicit NSNumber(double in_value = 0) : mValue(in_value) {}
    static NSNumber numberWithInt(int in_value) { return NSNumber(in_value); }
    double doubleValue() const { return mValue; }
    // Cut to a whole number and held to the int range (NaN: 0): a hand-edited 1e10 is a value,
    // not undefined behaviour.
    int intValue() const;
    bool operator==(const NSNumber& in_other) const { return mValue == in_other.mValue; }

private:
    double mValue;
};

// A text preference, as the sliders store their values.
using NSString = QString;

// The value stored under inValueName if it is of that kind, else inDefault. A null name is
// reported (" code : inValueName") and answers the default.
template <class Kind> Kind NSUserDefaultLoadKind(const char* inValueName, const Kind& inDefault);

// Stores the object under inValueName; a null object ("inObject") or name (" code : inValueName")
// is reported and nothing is stored. False when nothing was stored.
bool NSUserDefaultSaveObject(const NSNumber* inObject, const char* inValueName);
bool NSUserDefaultSaveObject(const NSString* inObject, const char* inValueName);
// The integer form: a number made from inValue.
bool NSUserDefaultSave(int inValue, const char* inValueName);

bool import_NSUserDefault();
