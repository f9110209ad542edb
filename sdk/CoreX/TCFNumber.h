// Holder of a CFNumber, read and written in the native number types.
#pragma once

#include "CFNumber.h"
#include "T_CFTypeRef.h"
#include "T_numeric.h"

class TCFNumber : public T_CFTypeRef<CFNumberRef>
{
public:
    TCFNumber() = default;
    explicit TCFNumber(CFNumberRef in_ref, CFTypeRef_Ownership in_ownership = kCFTypeRefNotOwned)
        : T_CFTypeRef<CFNumberRef>(in_ref, in_ownership)
    {
    }

    // Replaces the value with a new owned number of the type's code.
    template <class N> bool SetValue(N in_value)
    {
        return construct(
            ::CFNumberCreate(kCFAllocatorDefault, T_numeric<N>::sNumberType, &in_value),
            kCFTypeRefOwned);
    }

    // False when empty, not a number, or the value does not fit N.
    template <class N> bool GetValue(N& out_value) const
    {
        if (!IsValid())
            return false;
        return ::CFNumberGetValue(mValueRef, T_numeric<N>::sNumberType, &out_value) != 0;
    }
};

bool import_TCFNumber();
