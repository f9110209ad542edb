// Holder of one Core Foundation reference with an explicit ownership flag, and the type checks
// and conversions shared by all holders.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "CFBase.h"
#include "T_CFTypeID.h"

enum CFTypeRef_Ownership {
    kCFTypeRefNotOwned = 0,
    kCFTypeRefOwned = 1,
};

class CFTypeRefClass
{
public:
    class TypeException : public std::exception
    {
    public:
        const char* what() const noexcept override;
    };

    // Throws TypeException for a null reference or one of another type.
    static void ThrowIfNotTypeMatch(CFTypeRef in_ref, CFTypeID in_type_id);

    // Numbers: false for a null reference, a reference that is not a number, or a value that
    // does not fit the out type.
    static bool ConvertTo(CFTypeRef in_ref, double& out_value);
    static bool ConvertTo(CFTypeRef in_ref, float& out_value);
    static bool ConvertTo(CFTypeRef in_ref, unsigned long& out_value);
    static bool ConvertTo(CFTypeRef in_ref, long& out_value);
    static bool ConvertTo(CFTypeRef in_ref, unsigned int& out_value);
    static bool ConvertTo(CFTypeRef in_ref, int& out_value);
    static bool ConvertTo(CFTypeRef in_ref, unsigned short& out_value);
    static bool ConvertTo(CFTypeRef in_ref, short& out_value);
    // A string as UTF-8; any other object as its description. The text is cleared on failure.
    static bool ConvertTo(CFTypeRef in_ref, std::string& out_value);

    // UTF-8 descriptions; "" when there is none.
    static std::string GetDescription(CFTypeRef in_ref);
    static std::string GetTypeDescription(CFTypeID in_type_id);
};

template <class T> class T_CFTypeRef
{
public:
    T_CFTypeRef() : mValueRef(nullptr), mOwnership(kCFTypeRefNotOwned) {}
    // Takes over the caller's reference when owned; checks nothing.
    explicit T_CFTypeRef(T in_ref, CFTypeRef_Ownership in_ownership = kCFTypeRefNotOwned)
        : mValueRef(in_ref), mOwnership(in_ownership)
    {
    }
    ~T_CFTypeRef() { destruct(); }

    // Two holders owning one reference would release it twice.
    T_CFTypeRef(const T_CFTypeRef&) = delete;
    T_CFTypeRef& operator=(const T_CFTypeRef&) = delete;
    T_CFTypeRef(T_CFTypeRef&& other) noexcept
        : mValueRef(std::exchange(other.mValueRef, nullptr)),
          mOwnership(std::exchange(other.mOwnership, kCFTypeRefNotOwned))
    {
    }
    T_CFTypeRef& operator=(T_CFTypeRef&& other) noexcept
    {
        if (this != &other) {
            destruct();
            mValueRef = std::exchange(other.mValueRef, nullptr);
            mOwnership = std::exchange(other.mOwnership, kCFTypeRefNotOwned);
        }
        return *this;
    }

    // Replaces the value; a non-null reference of another type throws
    // CFTypeRefClass::TypeException (an owned one is still released with the holder).
    bool construct(T in_ref, CFTypeRef_Ownership in_ownership)
    {
        destruct();
        mValueRef = in_ref;
        mOwnership = in_ownership;
        if (in_ref != nullptr)
            CFTypeRefClass::ThrowIfNotTypeMatch(in_ref, T_CFTypeID<T>::Get());
        return IsValid();
    }

    void destruct()
    {
        if (mValueRef != nullptr && mOwnership == kCFTypeRefOwned)
            ::CFRelease(mValueRef);
        mValueRef = nullptr;
        mOwnership = kCFTypeRefNotOwned;
    }

    bool IsValid() const
    {
        return mValueRef != nullptr && ::CFGetTypeID(mValueRef) == T_CFTypeID<T>::Get();
    }

    T GetValueRef() const { return mValueRef; }
    operator T() const { return mValueRef; }
    CFTypeRef_Ownership GetOwnership() const { return mOwnership; }

protected:
    T mValueRef;
    CFTypeRef_Ownership mOwnership;
};

bool import_CFTypeRefClass();
bool import_T_CFTypeRef();
