#include "TCFString.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include "CoreMachDebugLog.h"
#include "CoreUnicode.h"

namespace {

// Tried in order when the caller names no usable encoding; only the first available one.
const CFStringEncoding PreferredEncoding[] = {
    kCFStringEncodingUTF8,          kCFStringEncodingUTF8,          kCFStringEncodingMacRoman,
    kCFStringEncodingWindowsLatin1, kCFStringEncodingISOLatin1,     kCFStringEncodingASCII,
    kCFStringEncodingNextStepLatin, kCFStringEncodingNonLossyASCII,
};

// The whole string in one encoding; false when a character does not convert.
bool ConvertString(CFStringRef in_string, CFIndex in_length, CFStringEncoding in_encoding,
                   std::string& out_string)
{
    const CFIndex max_size = ::CFStringGetMaximumSizeForEncoding(in_length, in_encoding);
    if (max_size == kCFNotFound || max_size < 0)
        return false;
    // The maximum counts the characters only; the terminator needs one byte more.
    const CFIndex buffer_size = max_size + 1;
    char* buffer = static_cast<char*>(std::malloc(static_cast<size_t>(buffer_size)));
    if (buffer == nullptr)
        return false;
    const bool fOk = ::CFStringGetCString(in_string, buffer, buffer_size, in_encoding);
    if (fOk)
        out_string.assign(buffer);
    std::free(buffer);
    return fOk;
}

} // namespace

TCFString::TCFString(const char* in_cstring)
{
    SetValue(in_cstring, kCFStringEncodingUTF8);
}

TCFString::TCFString(const std::string& in_string)
{
    SetValue(in_string.c_str(), kCFStringEncodingUTF8);
}

TCFString& TCFString::operator=(const char* in_cstring)
{
    SetValue(in_cstring, kCFStringEncodingUTF8);
    return *this;
}

TCFString& TCFString::operator=(const std::string& in_string)
{
    SetValue(in_string.c_str(), kCFStringEncodingUTF8);
    return *this;
}

bool TCFString::SetValue(const char* in_cstring, CFStringEncoding in_encoding)
{
    destruct();
    // clang-format off
    VERIFY(in_cstring!=NULL);
    // clang-format on
    if (in_cstring == nullptr)
        return false;
    CFStringRef string = ::CFStringCreateWithCString(kCFAllocatorDefault, in_cstring, in_encoding);
    if (string == nullptr) {
        CoreMachDebugLog("TCFString::SetValue in_cstring:%s inFromThisEncoding:%d\n", in_cstring,
                         static_cast<int>(in_encoding));
        return false;
    }
    return construct(string, kCFTypeRefOwned);
}

bool TCFString::SetValue(ConstStr255Param in_pstring, CFStringEncoding in_encoding)
{
    destruct();
    // clang-format off
    VERIFY(in_pstring!=NULL);
    // clang-format on
    if (in_pstring == nullptr)
        return false;
    return construct(::CFStringCreateWithPascalString(kCFAllocatorDefault, in_pstring, in_encoding),
                     kCFTypeRefOwned);
}

bool TCFString::SetValue(const UniChar* in_unistring)
{
    destruct();
    // clang-format off
    VERIFY(in_unistring!=NULL);
    // clang-format on
    if (in_unistring == nullptr)
        return false;
    CFIndex string_length = 0;
    while (in_unistring[string_length] != 0)
        ++string_length;
    construct(::CFStringCreateWithCharacters(kCFAllocatorDefault, in_unistring, string_length),
              kCFTypeRefOwned);
    VERIFY(string_length == strlen());
    return IsValid() && string_length == strlen();
}

bool TCFString::SetValue(const HFSUniStr255& in_name)
{
    destruct();
    // The record holds 255 units; a larger length field must not read past it.
    VERIFY(in_name.length <= 255);
    const CFIndex length = std::min<CFIndex>(in_name.length, 255);
    return construct(::CFStringCreateWithCharacters(kCFAllocatorDefault, in_name.unicode, length),
                     kCFTypeRefOwned);
}

CFIndex TCFString::strlen() const
{
    VERIFY(IsValid());
    if (!IsValid())
        return 0;
    return ::CFStringGetLength(mValueRef);
}

bool TCFString::GetValue(std::string& out_string, CFStringEncoding in_encoding) const
{
    if (GetConstCharStarValue(out_string, in_encoding))
        return true;
    out_string.clear();
    return false;
}

bool TCFString::GetConstCharStarValue(std::string& out_string, CFStringEncoding in_encoding) const
{
    if (!IsValid())
        return false;
    const CFIndex string_length = ::CFStringGetLength(mValueRef);
    if (string_length <= 0)
        return false;

    // A usable encoding is the answer, success or not: a text that does not fit it must not
    // come back in another encoding as if it had.
    if (in_encoding != kCFStringEncodingInvalidId && ::CFStringIsEncodingAvailable(in_encoding))
        return ConvertString(mValueRef, string_length, in_encoding, out_string);

    for (size_t i = 0; i < std::size(PreferredEncoding); ++i) {
        if (!::CFStringIsEncodingAvailable(PreferredEncoding[i]))
            continue;
        const CFIndex max_size =
            ::CFStringGetMaximumSizeForEncoding(string_length, PreferredEncoding[i]);
        if (max_size == kCFNotFound || max_size < 0)
            return false;
        const CFIndex _max_buffer_size = max_size + 1;
        char* buffer_raw_string = nullptr;
        bool fOk = false;
        // clang-format off
        VERIFY(buffer_raw_string = (char*)std::malloc(_max_buffer_size));
        if (buffer_raw_string != nullptr) {
            VERIFY(fOk = ::CFStringGetCString(mValueRef,buffer_raw_string,_max_buffer_size,PreferredEncoding[i]));
            if (fOk)
                out_string.assign(buffer_raw_string);
            std::free(buffer_raw_string);
        }
        // clang-format on
        return fOk;
    }
    return false;
}

bool TCFString::GetValue(StringPtr out_pstring) const
{
    // clang-format off
    VERIFY(out_pstring!=NULL);
    // clang-format on
    if (out_pstring == nullptr)
        return false;
    out_pstring[0] = 0;
    VERIFY(IsValid());
    if (!IsValid())
        return false;
    const CFIndex length = ::CFStringGetLength(mValueRef);
    CFIndex used = 0;
    const CFIndex converted =
        ::CFStringGetBytes(mValueRef, CFRangeMake(0, length), kCFStringEncodingMacRoman, 0, false,
                           out_pstring + 1, 255, &used);
    // Stopping short of 255 bytes means a character Mac OS Roman cannot hold, not the cut.
    if (converted < length && used < 255)
        return false;
    out_pstring[0] = static_cast<unsigned char>(used);
    return true;
}

bool TCFString::GetValue(HFSUniStr255& out_name) const
{
    out_name.length = 0;
    VERIFY(IsValid());
    if (!IsValid())
        return false;
    const CFIndex length = std::min<CFIndex>(::CFStringGetLength(mValueRef), 255);
    ::CFStringGetCharacters(mValueRef, CFRangeMake(0, length), out_name.unicode);
    out_name.length = static_cast<UInt16>(length);
    return true;
}

bool TCFString::GetValue(T_cstring<unsigned short>& out_unistring) const
{
    VERIFY(IsValid());
    if (!IsValid())
        return false;
    const CFIndex length = ::CFStringGetLength(mValueRef);
    // At least one unit, so that the empty string also gets a buffer of its own.
    if (!out_unistring.set_length(static_cast<size_t>(std::max<CFIndex>(length, 1))))
        return false;
    ::CFStringGetCharacters(mValueRef, CFRangeMake(0, length), out_unistring.get());
    out_unistring.get()[length] = 0;
    return true;
}

bool TCFString::GetValue(UniChar*& out_unistring, CFIndex& out_length) const
{
    out_unistring = nullptr;
    out_length = 0;
    T_cstring<unsigned short> buffer;
    if (!GetValue(buffer))
        return false;
    out_length = ::CFStringGetLength(mValueRef);
    out_unistring = buffer.release();
    return true;
}

bool TCFString::GetValue(std::wstring& out_string) const
{
    out_string.clear();
    VERIFY(IsValid());
    if (!IsValid())
        return false;
    const CFIndex length = ::CFStringGetLength(mValueRef);
    std::vector<UniChar> units(static_cast<size_t>(length));
    ::CFStringGetCharacters(mValueRef, CFRangeMake(0, length), units.data());
    out_string = CoreUnicode::string_t(units.data(), units.size()).wide();
    return true;
}

bool TCFString::ToUnicode(ConstStr255Param in_pstring, HFSUniStr255& out_name,
                          CFStringEncoding in_encoding)
{
    out_name.length = 0;
    // clang-format off
    VERIFY(in_pstring!=NULL);
    // clang-format on
    if (in_pstring == nullptr)
        return false;
    TCFString string;
    return string.SetValue(in_pstring, in_encoding) && string.GetValue(out_name);
}

bool TCFString::ToUnicode(const char* in_cstring, HFSUniStr255& out_name,
                          CFStringEncoding in_encoding)
{
    out_name.length = 0;
    // clang-format off
    VERIFY(in_cstring!=NULL);
    // clang-format on
    if (in_cstring == nullptr)
        return false;
    TCFString string;
    return string.SetValue(in_cstring, in_encoding) && string.GetValue(out_name);
}

bool TCFString::FromUnicode(const HFSUniStr255& in_name, std::string& out_string,
                            CFStringEncoding in_encoding)
{
    out_string.clear();
    TCFString string;
    return string.SetValue(in_name) && string.GetValue(out_string, in_encoding);
}

bool TCFString::FromUnicode(const std::wstring& in_string, std::string& out_string,
                            CFStringEncoding in_encoding)
{
    out_string.clear();
    const CoreUnicode::string_t units(in_string.data(), in_string.size());
    TCFString string;
    return string.SetValue(units.utf16()) && string.GetValue(out_string, in_encoding);
}

int TCFString::strcmp(CFStringRef in_string) const
{
    VERIFY(IsValid());
    // clang-format off
    VERIFY(in_string!=NULL);
    // clang-format on
    if (!IsValid() || in_string == nullptr)
        return -1;
    const CFComparisonResult result = ::CFStringCompare(mValueRef, in_string, 0);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

int TCFString::strcmp(const char* in_cstring) const
{
    VERIFY(IsValid());
    // clang-format off
    VERIFY(in_cstring!=NULL);
    // clang-format on
    if (!IsValid() || in_cstring == nullptr)
        return -1;
    TCFString other;
    if (!other.SetValue(in_cstring, kCFStringEncodingUTF8))
        return -1;
    return strcmp(other.GetValueRef());
}

bool import_T_cstring()
{
    return import_CoreMachDebugLog();
}

bool import_TCFString()
{
    return import_T_CFTypeRef() && import_T_cstring() && import_CoreUnicode() &&
           import_CoreMachDebugLog();
}
