// The CFNumber type code used for each native number type.
#pragma once

#include <type_traits>

#include "CFNumber.h"

class T_numeric_base
{
public:
    // "kCFNumberSInt32Type" for 3, ..., "Unknown" for codes without a name.
    static const char* name_of(CFNumberType in_code);
};

namespace T_numeric_detail {

template <class> inline constexpr bool kAlwaysFalse = false;

template <class N> constexpr CFNumberType NumberTypeOf()
{
    if constexpr (std::is_same_v<N, char>)
        return kCFNumberSInt8Type;
    else if constexpr (std::is_same_v<N, unsigned char>)
        return kCFNumberCharType;
    else if constexpr (std::is_same_v<N, short>)
        return kCFNumberSInt16Type;
    else if constexpr (std::is_same_v<N, unsigned short>)
        return kCFNumberShortType;
    else if constexpr (std::is_same_v<N, int>)
        return kCFNumberSInt32Type;
    else if constexpr (std::is_same_v<N, unsigned int>)
        return kCFNumberIntType;
    else if constexpr (std::is_same_v<N, long>)
        // By width: a 32-bit code would leave half of a 64-bit long unwritten.
        return sizeof(long) == 8 ? kCFNumberSInt64Type : kCFNumberSInt32Type;
    else if constexpr (std::is_same_v<N, unsigned long>)
        return kCFNumberLongType;
    else if constexpr (std::is_same_v<N, long long>)
        return kCFNumberSInt64Type;
    else if constexpr (std::is_same_v<N, unsigned long long>)
        return kCFNumberLongLongType;
    else if constexpr (std::is_same_v<N, float>)
        return kCFNumberFloatType;
    else if constexpr (std::is_same_v<N, double>)
        return kCFNumberDoubleType;
    else
        static_assert(kAlwaysFalse<N>, "no CFNumber type code for this type");
}

} // namespace T_numeric_detail

template <class N> class T_numeric : public T_numeric_base
{
public:
    static constexpr CFNumberType sNumberType = T_numeric_detail::NumberTypeOf<N>();
};

bool import_T_numeric();
