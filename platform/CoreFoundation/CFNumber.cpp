#include "CFNumber.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "CFRuntime.h"

namespace {

// The storage type every number type code stands for on this LP64 platform.
CFNumberType CanonicalType(CFNumberType type)
{
    switch (type) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType:
        return kCFNumberSInt8Type;
    case kCFNumberSInt16Type:
    case kCFNumberShortType:
        return kCFNumberSInt16Type;
    case kCFNumberSInt32Type:
    case kCFNumberIntType:
        return kCFNumberSInt32Type;
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType:
        return kCFNumberSInt64Type;
    case kCFNumberFloat32Type:
    case kCFNumberFloatType:
        return kCFNumberFloat32Type;
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
    case kCFNumberCGFloatType:
        return kCFNumberFloat64Type;
    default:
        return 0;
    }
}

const char* TypeName(CFNumberType canonical)
{
    switch (canonical) {
    case kCFNumberSInt8Type:
        return "kCFNumberSInt8Type";
    case kCFNumberSInt16Type:
        return "kCFNumberSInt16Type";
    case kCFNumberSInt32Type:
        return "kCFNumberSInt32Type";
    case kCFNumberSInt64Type:
        return "kCFNumberSInt64Type";
    case kCFNumberFloat32Type:
        return "kCFNumberFloat32Type";
    default:
        return "kCFNumberFloat64Type";
    }
}

// 2^63 as a double: the first value past the SInt64 range.
constexpr double kTwoTo63 = 9223372036854775808.0;

// Whether d is exactly the integer v.
bool SameValue(double d, SInt64 v)
{
    return d >= -kTwoTo63 && d < kTwoTo63 && SInt64(d) == v;
}

CFComparisonResult Order(bool less, bool greater)
{
    return less ? kCFCompareLessThan : greater ? kCFCompareGreaterThan : kCFCompareEqualTo;
}

// Compares an integer with a double without rounding either.
CFComparisonResult CompareIntDouble(SInt64 v, double d)
{
    if (std::isnan(d))
        return kCFCompareGreaterThan; // NaN sorts first
    if (d >= kTwoTo63)
        return kCFCompareLessThan;
    if (d < -kTwoTo63)
        return kCFCompareGreaterThan;
    const double whole = std::trunc(d);
    const SInt64 w = SInt64(whole);
    if (v != w)
        return Order(v<w, v> w);
    return Order(d > whole, d < whole);
}

} // namespace

struct __CFNumber final : p3dcf::Object
{
    __CFNumber(CFNumberType canonical, SInt64 i, double d)
        : Object(p3dcf::kNumberTypeID, false), type(canonical), integer(i), real(d)
    {
    }

    bool isFloat() const { return type == kCFNumberFloat32Type || type == kCFNumberFloat64Type; }

    CFComparisonResult compare(const __CFNumber& other) const
    {
        if (!isFloat() && !other.isFloat())
            return Order(integer<other.integer, integer> other.integer);
        if (!isFloat())
            return CompareIntDouble(integer, other.real);
        if (!other.isFloat()) {
            const CFComparisonResult r = CompareIntDouble(other.integer, real);
            return -r;
        }
        const bool xNaN = std::isnan(real), yNaN = std::isnan(other.real);
        if (xNaN || yNaN)
            return Order(!yNaN, !xNaN);
        return Order(real<other.real, real> other.real);
    }

    bool equals(const Object& other) const override
    {
        return compare(static_cast<const __CFNumber&>(other)) == kCFCompareEqualTo;
    }

    CFHashCode hash() const override
    {
        // Equal numbers hash alike: integral doubles hash as their integer.
        if (!isFloat())
            return CFHashCode(integer);
        if (std::trunc(real) == real && real >= -kTwoTo63 && real < kTwoTo63)
            return CFHashCode(SInt64(real));
        if (std::isnan(real))
            return 0x7FF8;
        UInt64 bits;
        std::memcpy(&bits, &real, sizeof bits);
        return CFHashCode(bits);
    }

    std::u16string describeContents() const override
    {
        char text[96];
        if (isFloat())
            std::snprintf(text, sizeof text, "value = %+.17g, type = %s", real, TypeName(type));
        else
            std::snprintf(text, sizeof text, "value = %+lld, type = %s", (long long)integer,
                          TypeName(type));
        return p3dcf::WidenASCII(text);
    }

    const CFNumberType type;
    const SInt64 integer;
    const double real;
};

struct __CFBoolean final : p3dcf::Object
{
    constexpr explicit __CFBoolean(bool v) : Object(p3dcf::kBooleanTypeID, true), value(v) {}

    CFHashCode hash() const override { return value ? 1 : 0; }
    std::u16string describeContents() const override
    {
        return value ? u"value = true" : u"value = false";
    }

    const bool value;
};

namespace {

constinit const __CFBoolean sTrue(true);
constinit const __CFBoolean sFalse(false);

template <typename T> T Read(const void* valuePtr)
{
    T value;
    std::memcpy(&value, valuePtr, sizeof value);
    return value;
}

template <typename T> void Write(void* valuePtr, T value)
{
    std::memcpy(valuePtr, &value, sizeof value);
}

// The number as the integer type T: clamped when out of range, truncated toward zero when
// it has a fraction; false when either happened.
template <typename T> bool GetInteger(const __CFNumber& n, void* valuePtr)
{
    constexpr SInt64 lo = std::numeric_limits<T>::min();
    constexpr SInt64 hi = std::numeric_limits<T>::max();
    if (!n.isFloat()) {
        const SInt64 v = n.integer;
        Write<T>(valuePtr, T(v < lo ? lo : v > hi ? hi : v));
        return v >= lo && v <= hi;
    }
    const double d = n.real;
    if (std::isnan(d)) {
        Write<T>(valuePtr, T(0));
        return false;
    }
    // -2^(bits-1) is lo exactly; 2^(bits-1) is the first value past hi.
    const double limit = std::ldexp(1.0, std::numeric_limits<T>::digits);
    if (d < -limit || d >= limit) {
        Write<T>(valuePtr, T(d < 0 ? lo : hi));
        return false;
    }
    const double whole = std::trunc(d);
    Write<T>(valuePtr, T(SInt64(whole)));
    return whole == d;
}

bool GetFloat32(const __CFNumber& n, void* valuePtr)
{
    if (!n.isFloat()) {
        const float f = float(n.integer);
        Write<float>(valuePtr, f);
        return SameValue(double(f), n.integer);
    }
    const double d = n.real;
    if (std::isnan(d) || std::isinf(d)) {
        Write<float>(valuePtr, float(d));
        return true;
    }
    if (std::fabs(d) > double(FLT_MAX)) {
        Write<float>(valuePtr, d < 0 ? -FLT_MAX : FLT_MAX);
        return false;
    }
    const float f = float(d);
    Write<float>(valuePtr, f);
    return double(f) == d;
}

bool GetFloat64(const __CFNumber& n, void* valuePtr)
{
    if (!n.isFloat()) {
        const double d = double(n.integer);
        Write<double>(valuePtr, d);
        return SameValue(d, n.integer);
    }
    Write<double>(valuePtr, n.real);
    return true;
}

} // namespace

using namespace p3dcf;

const CFBooleanRef kCFBooleanTrue = &sTrue;
const CFBooleanRef kCFBooleanFalse = &sFalse;

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* valuePtr)
{
    if (!valuePtr)
        return nullptr;
    const CFNumberType canonical = CanonicalType(type);
    switch (type) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType:
        return new __CFNumber(canonical, Read<SInt8>(valuePtr), 0);
    case kCFNumberSInt16Type:
    case kCFNumberShortType:
        return new __CFNumber(canonical, Read<SInt16>(valuePtr), 0);
    case kCFNumberSInt32Type:
    case kCFNumberIntType:
        return new __CFNumber(canonical, Read<SInt32>(valuePtr), 0);
    case kCFNumberSInt64Type:
    case kCFNumberLongLongType:
        return new __CFNumber(canonical, Read<SInt64>(valuePtr), 0);
    case kCFNumberLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType:
        return new __CFNumber(canonical, Read<long>(valuePtr), 0);
    case kCFNumberFloat32Type:
    case kCFNumberFloatType:
        return new __CFNumber(canonical, 0, Read<float>(valuePtr));
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
    case kCFNumberCGFloatType:
        return new __CFNumber(canonical, 0, Read<double>(valuePtr));
    default:
        return nullptr;
    }
}

CFNumberType CFNumberGetType(CFNumberRef number)
{
    const __CFNumber* n = Cast<__CFNumber>(number, kNumberTypeID);
    return n ? n->type : 0;
}

CFIndex CFNumberGetByteSize(CFNumberRef number)
{
    switch (CFNumberGetType(number)) {
    case kCFNumberSInt8Type:
        return 1;
    case kCFNumberSInt16Type:
        return 2;
    case kCFNumberSInt32Type:
    case kCFNumberFloat32Type:
        return 4;
    case kCFNumberSInt64Type:
    case kCFNumberFloat64Type:
        return 8;
    default:
        return 0;
    }
}

Boolean CFNumberIsFloatType(CFNumberRef number)
{
    const __CFNumber* n = Cast<__CFNumber>(number, kNumberTypeID);
    return n && n->isFloat();
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* valuePtr)
{
    const __CFNumber* n = Cast<__CFNumber>(number, kNumberTypeID);
    if (!n || !valuePtr)
        return false;
    switch (type) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType:
        return GetInteger<SInt8>(*n, valuePtr);
    case kCFNumberSInt16Type:
    case kCFNumberShortType:
        return GetInteger<SInt16>(*n, valuePtr);
    case kCFNumberSInt32Type:
    case kCFNumberIntType:
        return GetInteger<SInt32>(*n, valuePtr);
    case kCFNumberSInt64Type:
    case kCFNumberLongLongType:
        return GetInteger<SInt64>(*n, valuePtr);
    case kCFNumberLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType:
        return GetInteger<long>(*n, valuePtr);
    case kCFNumberFloat32Type:
    case kCFNumberFloatType:
        return GetFloat32(*n, valuePtr);
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
    case kCFNumberCGFloatType:
        return GetFloat64(*n, valuePtr);
    default:
        return false;
    }
}

CFComparisonResult CFNumberCompare(CFNumberRef a, CFNumberRef b, void*)
{
    const __CFNumber* x = Cast<__CFNumber>(a, kNumberTypeID);
    const __CFNumber* y = Cast<__CFNumber>(b, kNumberTypeID);
    if (!x || !y)
        return Order(!x && y, x && !y); // null sorts first
    return x->compare(*y);
}

Boolean CFBooleanGetValue(CFBooleanRef boolean)
{
    const __CFBoolean* b = Cast<__CFBoolean>(boolean, kBooleanTypeID);
    return b && b->value;
}
