// Owning holder of an immutable CFString with conversions to and from NUL-terminated, Pascal,
// UTF-16 and wide texts. Bad input is reported and answered with false, -1 or 0, never thrown.
#pragma once

#include <string>

#include "CFString.h"
#include "MacTypes.h"
#include "T_CFTypeRef.h"
#include "T_cstring.h"

class TCFString : public T_CFTypeRef<CFStringRef>
{
public:
    TCFString() = default;
    // Stores both as given; checks nothing.
    explicit TCFString(CFStringRef in_ref, CFTypeRef_Ownership in_ownership = kCFTypeRefNotOwned)
        : T_CFTypeRef<CFStringRef>(in_ref, in_ownership)
    {
    }
    // From UTF-8; a null text is reported and leaves the object empty.
    TCFString(const char* in_cstring);
    TCFString(const std::string& in_string);
    TCFString& operator=(const char* in_cstring);
    TCFString& operator=(const std::string& in_string);

    // Each replaces the value with a new owned string; on failure the object is left empty.
    bool SetValue(const char* in_cstring, CFStringEncoding in_encoding = kCFStringEncodingUTF8);
    bool SetValue(ConstStr255Param in_pstring,
                  CFStringEncoding in_encoding = kCFStringEncodingMacRoman);
    // UTF-16 units up to the first 0.
    bool SetValue(const UniChar* in_unistring);
    bool SetValue(const HFSUniStr255& in_name);

    // Length in UTF-16 units; 0 and a report when not valid.
    CFIndex strlen() const;

    // False (the text cleared) when not valid, empty, or not convertible.
    bool GetValue(std::string& out_string,
                  CFStringEncoding in_encoding = kCFStringEncodingUTF8) const;
    // False with the text untouched when not valid, empty, or not convertible.
    bool GetConstCharStarValue(std::string& out_string, CFStringEncoding in_encoding) const;
    // Mac OS Roman, cut to 255 characters; the empty text on failure.
    bool GetValue(StringPtr out_pstring) const;
    // The first 255 units at most.
    bool GetValue(HFSUniStr255& out_name) const;
    // A new terminated UTF-16 buffer of strlen() + 1 units.
    bool GetValue(T_cstring<unsigned short>& out_unistring) const;
    // Likewise; the caller releases *out_unistring with free().
    bool GetValue(UniChar*& out_unistring, CFIndex& out_length) const;
    bool GetValue(std::wstring& out_string) const;

    static bool ToUnicode(ConstStr255Param in_pstring, HFSUniStr255& out_name,
                          CFStringEncoding in_encoding = kCFStringEncodingMacRoman);
    static bool ToUnicode(const char* in_cstring, HFSUniStr255& out_name,
                          CFStringEncoding in_encoding = kCFStringEncodingUTF8);
    static bool FromUnicode(const HFSUniStr255& in_name, std::string& out_string,
                            CFStringEncoding in_encoding = kCFStringEncodingUTF8);
    static bool FromUnicode(const std::wstring& in_string, std::string& out_string,
                            CFStringEncoding in_encoding = kCFStringEncodingUTF8);

    // -1, 0 or 1; -1 and a report when this string is not valid or the argument is null.
    int strcmp(CFStringRef in_string) const;
    int strcmp(const char* in_cstring) const;
};

bool import_TCFString();
