#include "T_CFTypeRef.h"

#include <cstdlib>

#include "CoreMachDebugLog.h"
#include "TCFNumber.h"
#include "T_CFTypeID.h"
#include "T_numeric.h"

// The identifiers are asked for once, by the static initialisers of this file.
#define P3D_DEFINE_CF_TYPE_ID(REF, GET_TYPE_ID)                                                    \
    template <> CFTypeID T_CFTypeID<REF>::Lookup()                                                 \
    {                                                                                              \
        return ::GET_TYPE_ID();                                                                    \
    }                                                                                              \
    template <> const CFTypeID T_CFTypeID<REF>::sTypeID = T_CFTypeID<REF>::Lookup();

P3D_DEFINE_CF_TYPE_ID(CFStringRef, CFStringGetTypeID)
P3D_DEFINE_CF_TYPE_ID(CFNumberRef, CFNumberGetTypeID)
P3D_DEFINE_CF_TYPE_ID(CFBooleanRef, CFBooleanGetTypeID)
P3D_DEFINE_CF_TYPE_ID(CFArrayRef, CFArrayGetTypeID)
P3D_DEFINE_CF_TYPE_ID(CFMutableArrayRef, CFArrayGetTypeID)
P3D_DEFINE_CF_TYPE_ID(CFDictionaryRef, CFDictionaryGetTypeID)
P3D_DEFINE_CF_TYPE_ID(CFDataRef, CFDataGetTypeID)
P3D_DEFINE_CF_TYPE_ID(CFSetRef, CFSetGetTypeID)
P3D_DEFINE_CF_TYPE_ID(CFMutableSetRef, CFSetGetTypeID)
P3D_DEFINE_CF_TYPE_ID(CFBagRef, CFBagGetTypeID)
P3D_DEFINE_CF_TYPE_ID(CFMutableBagRef, CFBagGetTypeID)
P3D_DEFINE_CF_TYPE_ID(CFBundleRef, CFBundleGetTypeID)
P3D_DEFINE_CF_TYPE_ID(CFURLRef, CFURLGetTypeID)

#undef P3D_DEFINE_CF_TYPE_ID

namespace {

// An owned string (from a Copy function) as UTF-8; false and "" when there is none.
bool TakeUTF8(CFStringRef in_owned_string, std::string& out_string)
{
    out_string.clear();
    if (in_owned_string == nullptr)
        return false;
    bool fOk = false;
    const CFIndex length = ::CFStringGetLength(in_owned_string);
    const CFIndex max_size = ::CFStringGetMaximumSizeForEncoding(length, kCFStringEncodingUTF8);
    if (max_size != kCFNotFound && max_size >= 0) {
        const CFIndex buffer_size = max_size + 1;
        char* buffer = static_cast<char*>(std::malloc(static_cast<size_t>(buffer_size)));
        if (buffer != nullptr) {
            fOk = ::CFStringGetCString(in_owned_string, buffer, buffer_size, kCFStringEncodingUTF8);
            if (fOk)
                out_string.assign(buffer);
            std::free(buffer);
        }
    }
    ::CFRelease(in_owned_string);
    return fOk;
}

template <class N> bool ConvertNumber(CFTypeRef in_ref, N& out_value)
{
    // Not owned and not checked: a reference of another type just answers false.
    const TCFNumber number(static_cast<CFNumberRef>(in_ref), kCFTypeRefNotOwned);
    return number.GetValue(out_value);
}

} // namespace

const char* CFTypeRefClass::TypeException::what() const noexcept
{
    return "CFTypeRefClass::TypeException";
}

void CFTypeRefClass::ThrowIfNotTypeMatch(CFTypeRef in_ref, CFTypeID in_type_id)
{
    if (in_ref == nullptr || ::CFGetTypeID(in_ref) != in_type_id)
        throw TypeException();
}

bool CFTypeRefClass::ConvertTo(CFTypeRef in_ref, double& out_value)
{
    return ConvertNumber(in_ref, out_value);
}

bool CFTypeRefClass::ConvertTo(CFTypeRef in_ref, float& out_value)
{
    return ConvertNumber(in_ref, out_value);
}

bool CFTypeRefClass::ConvertTo(CFTypeRef in_ref, unsigned long& out_value)
{
    return ConvertNumber(in_ref, out_value);
}

bool CFTypeRefClass::ConvertTo(CFTypeRef in_ref, long& out_value)
{
    return ConvertNumber(in_ref, out_value);
}

bool CFTypeRefClass::ConvertTo(CFTypeRef in_ref, unsigned int& out_value)
{
    return ConvertNumber(in_ref, out_value);
}

bool CFTypeRefClass::ConvertTo(CFTypeRef in_ref, int& out_value)
{
    return ConvertNumber(in_ref, out_value);
}

bool CFTypeRefClass::ConvertTo(CFTypeRef in_ref, unsigned short& out_value)
{
    return ConvertNumber(in_ref, out_value);
}

bool CFTypeRefClass::ConvertTo(CFTypeRef in_ref, short& out_value)
{
    return ConvertNumber(in_ref, out_value);
}

bool CFTypeRefClass::ConvertTo(CFTypeRef in_ref, std::string& out_value)
{
    out_value.clear();
    if (in_ref == nullptr)
        return false;
    if (::CFGetTypeID(in_ref) == T_CFTypeID<CFStringRef>::Get()) {
        // The copy is a new reference of our own, released by TakeUTF8.
        return TakeUTF8(::CFStringCreateCopy(kCFAllocatorDefault, static_cast<CFStringRef>(in_ref)),
                        out_value);
    }
    return TakeUTF8(::CFCopyDescription(in_ref), out_value);
}

std::string CFTypeRefClass::GetDescription(CFTypeRef in_ref)
{
    std::string description;
    TakeUTF8(::CFCopyDescription(in_ref), description);
    return description;
}

std::string CFTypeRefClass::GetTypeDescription(CFTypeID in_type_id)
{
    std::string description;
    TakeUTF8(::CFCopyTypeIDDescription(in_type_id), description);
    return description;
}

const char* T_numeric_base::name_of(CFNumberType in_code)
{
    switch (in_code) {
    case kCFNumberSInt8Type:
        return "kCFNumberSInt8Type";
    case kCFNumberSInt16Type:
        return "kCFNumberSInt16Type";
    case kCFNumberSInt32Type:
        return "kCFNumberSInt32Type";
    case kCFNumberSInt64Type:
        return "kCFNumberSInt64Type";
    case kCFNumberCharType:
        return "kCFNumberCharType";
    case kCFNumberShortType:
        return "kCFNumberShortType";
    case kCFNumberIntType:
        return "kCFNumberIntType";
    case kCFNumberLongType:
        return "kCFNumberLongType";
    case kCFNumberLongLongType:
        return "kCFNumberLongLongType";
    case kCFNumberFloatType:
        return "kCFNumberFloatType";
    case kCFNumberDoubleType:
        return "kCFNumberDoubleType";
    case kCFNumberCFIndexType:
        return "kCFNumberCFIndexType";
    default:
        return "Unknown";
    }
}

bool import_T_CFTypeID()
{
    return true;
}

bool import_T_numeric()
{
    return true;
}

bool import_CFTypeRefClass()
{
    return import_T_CFTypeID() && import_T_numeric();
}

bool import_T_CFTypeRef()
{
    return import_CFTypeRefClass();
}

bool import_TCFNumber()
{
    return import_T_CFTypeRef() && import_T_numeric();
}
