#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "CFNumber.h"
#include "CFString.h"

namespace {

struct Releaser
{
    void operator()(const void* object) const { CFRelease(object); }
};
using Number = std::unique_ptr<const __CFNumber, Releaser>;

template <typename T> Number Make(CFNumberType type, T value)
{
    return Number(CFNumberCreate(nullptr, type, &value));
}

std::string Description(CFTypeRef object)
{
    std::unique_ptr<const __CFString, Releaser> d(CFCopyDescription(object));
    char buffer[256] = {};
    CFStringGetCString(d.get(), buffer, sizeof buffer, kCFStringEncodingUTF8);
    return buffer;
}

} // namespace

TEST(CFNumber, CreationReadsTheNativeTypeOfEachCode)
{
    struct Case
    {
        Number number;
        CFNumberType type;
        CFIndex size;
        double value;
    };
    const Case cases[] = {
        {Make<int8_t>(kCFNumberSInt8Type, -5), kCFNumberSInt8Type, 1, -5},
        {Make<signed char>(kCFNumberCharType, -6), kCFNumberSInt8Type, 1, -6},
        {Make<int16_t>(kCFNumberSInt16Type, -300), kCFNumberSInt16Type, 2, -300},
        {Make<short>(kCFNumberShortType, 301), kCFNumberSInt16Type, 2, 301},
        {Make<int32_t>(kCFNumberSInt32Type, -70000), kCFNumberSInt32Type, 4, -70000},
        {Make<int>(kCFNumberIntType, 70001), kCFNumberSInt32Type, 4, 70001},
        {Make<long>(kCFNumberLongType, 1L << 40), kCFNumberSInt64Type, 8, 1099511627776.0},
        {Make<long long>(kCFNumberLongLongType, -(1LL << 41)), kCFNumberSInt64Type, 8,
         -2199023255552.0},
        {Make<CFIndex>(kCFNumberCFIndexType, 7), kCFNumberSInt64Type, 8, 7},
        {Make<long>(kCFNumberNSIntegerType, 8), kCFNumberSInt64Type, 8, 8},
        {Make<float>(kCFNumberFloat32Type, 1.5f), kCFNumberFloat32Type, 4, 1.5},
        {Make<float>(kCFNumberFloatType, -0.25f), kCFNumberFloat32Type, 4, -0.25},
        {Make<double>(kCFNumberFloat64Type, 0.1), kCFNumberFloat64Type, 8, 0.1},
        {Make<double>(kCFNumberDoubleType, 2.5), kCFNumberFloat64Type, 8, 2.5},
        {Make<double>(kCFNumberCGFloatType, -3.75), kCFNumberFloat64Type, 8, -3.75},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(c.number);
        EXPECT_EQ(CFGetTypeID(c.number.get()), CFNumberGetTypeID());
        EXPECT_EQ(CFNumberGetType(c.number.get()), c.type);
        EXPECT_EQ(CFNumberGetByteSize(c.number.get()), c.size);
        EXPECT_EQ(bool(CFNumberIsFloatType(c.number.get())),
                  c.type == kCFNumberFloat32Type || c.type == kCFNumberFloat64Type);
        double value = 0;
        EXPECT_TRUE(CFNumberGetValue(c.number.get(), kCFNumberDoubleType, &value));
        EXPECT_EQ(value, c.value);
    }
    const int value = 1;
    EXPECT_FALSE(CFNumberCreate(nullptr, kCFNumberIntType, nullptr));
    EXPECT_FALSE(CFNumberCreate(nullptr, 0, &value));
    EXPECT_FALSE(CFNumberCreate(nullptr, kCFNumberMaxType + 1, &value));
    EXPECT_FALSE(CFNumberCreate(nullptr, -1, &value));
}

TEST(CFNumber, IntegerConversionsClampAndReportLoss)
{
    Number big = Make<int>(kCFNumberIntType, 300);
    int8_t i8 = 0;
    EXPECT_FALSE(CFNumberGetValue(big.get(), kCFNumberSInt8Type, &i8));
    EXPECT_EQ(i8, 127);
    short s = 0;
    EXPECT_TRUE(CFNumberGetValue(big.get(), kCFNumberShortType, &s));
    EXPECT_EQ(s, 300);

    Number negative = Make<long>(kCFNumberLongType, -(1L << 40));
    int32_t i32 = 0;
    EXPECT_FALSE(CFNumberGetValue(negative.get(), kCFNumberSInt32Type, &i32));
    EXPECT_EQ(i32, std::numeric_limits<int32_t>::min());
    signed char c = 0;
    EXPECT_FALSE(CFNumberGetValue(negative.get(), kCFNumberCharType, &c));
    EXPECT_EQ(c, -128);

    Number max = Make<int64_t>(kCFNumberSInt64Type, INT64_MAX);
    long l = 0;
    EXPECT_TRUE(CFNumberGetValue(max.get(), kCFNumberLongType, &l));
    EXPECT_EQ(l, INT64_MAX);
    // 2^63 - 1 has no double: the nearest one is 2^63.
    double d = 0;
    EXPECT_FALSE(CFNumberGetValue(max.get(), kCFNumberFloat64Type, &d));
    EXPECT_EQ(d, 9223372036854775808.0);
    float f = 0;
    Number odd = Make<int>(kCFNumberIntType, 16777217); // 2^24 + 1
    EXPECT_FALSE(CFNumberGetValue(odd.get(), kCFNumberFloatType, &f));
    EXPECT_EQ(f, 16777216.0f);
    Number exact = Make<long long>(kCFNumberLongLongType, 1LL << 53);
    EXPECT_TRUE(CFNumberGetValue(exact.get(), kCFNumberDoubleType, &d));
}

TEST(CFNumber, FloatConversionsTruncateClampAndReportLoss)
{
    struct Case
    {
        double value;
        int32_t stored;
        bool exact;
    };
    for (const Case& c :
         {Case{2.5, 2, false}, Case{-2.5, -2, false}, Case{3.0, 3, true}, Case{-0.0, 0, true},
          Case{1e10, INT32_MAX, false}, Case{-1e10, INT32_MIN, false}, Case{NAN, 0, false},
          Case{INFINITY, INT32_MAX, false}, Case{2147483647.5, INT32_MAX, false},
          Case{-2147483648.0, INT32_MIN, true}}) {
        Number n = Make<double>(kCFNumberDoubleType, c.value);
        int32_t out = 99;
        EXPECT_EQ(bool(CFNumberGetValue(n.get(), kCFNumberSInt32Type, &out)), c.exact) << c.value;
        EXPECT_EQ(out, c.stored) << c.value;
    }
    int64_t i64 = 0;
    Number twoTo63 = Make<double>(kCFNumberDoubleType, 9223372036854775808.0);
    EXPECT_FALSE(CFNumberGetValue(twoTo63.get(), kCFNumberSInt64Type, &i64));
    EXPECT_EQ(i64, INT64_MAX);
    Number minus = Make<double>(kCFNumberDoubleType, -9223372036854775808.0);
    EXPECT_TRUE(CFNumberGetValue(minus.get(), kCFNumberSInt64Type, &i64));
    EXPECT_EQ(i64, INT64_MIN);

    float f = 0;
    EXPECT_FALSE(
        CFNumberGetValue(Make<double>(kCFNumberDoubleType, 0.1).get(), kCFNumberFloatType, &f));
    EXPECT_EQ(f, 0.1f);
    EXPECT_TRUE(
        CFNumberGetValue(Make<double>(kCFNumberDoubleType, 0.5).get(), kCFNumberFloat32Type, &f));
    EXPECT_FALSE(
        CFNumberGetValue(Make<double>(kCFNumberDoubleType, -1e40).get(), kCFNumberFloatType, &f));
    EXPECT_EQ(f, -FLT_MAX);
    EXPECT_TRUE(CFNumberGetValue(Make<double>(kCFNumberDoubleType, INFINITY).get(),
                                 kCFNumberFloatType, &f));
    EXPECT_TRUE(std::isinf(f));
    double d = 0;
    EXPECT_TRUE(
        CFNumberGetValue(Make<float>(kCFNumberFloatType, 0.1f).get(), kCFNumberDoubleType, &d));
    EXPECT_EQ(d, double(0.1f));
}

TEST(CFNumber, BadArgumentsStoreNothing)
{
    Number n = Make<int>(kCFNumberIntType, 5);
    int64_t out = 77;
    EXPECT_FALSE(CFNumberGetValue(n.get(), 0, &out));
    EXPECT_FALSE(CFNumberGetValue(n.get(), 17, &out));
    EXPECT_EQ(out, 77);
    EXPECT_FALSE(CFNumberGetValue(nullptr, kCFNumberSInt64Type, &out));
    EXPECT_FALSE(CFNumberGetValue(n.get(), kCFNumberSInt64Type, nullptr));
    EXPECT_FALSE(
        CFNumberGetValue(reinterpret_cast<CFNumberRef>(CFSTR("5")), kCFNumberSInt64Type, &out));
    EXPECT_EQ(out, 77);
    EXPECT_EQ(CFNumberGetType(nullptr), 0);
    EXPECT_EQ(CFNumberGetByteSize(nullptr), 0);
    EXPECT_FALSE(CFNumberIsFloatType(nullptr));
}

TEST(CFNumber, CompareEqualAndHashAcrossRepresentations)
{
    Number three = Make<int>(kCFNumberIntType, 3);
    Number threeD = Make<double>(kCFNumberDoubleType, 3.0);
    Number threeHalf = Make<double>(kCFNumberDoubleType, 3.5);
    Number max = Make<int64_t>(kCFNumberSInt64Type, INT64_MAX);
    Number twoTo63 = Make<double>(kCFNumberDoubleType, 9223372036854775808.0);
    Number nan = Make<double>(kCFNumberDoubleType, NAN);

    EXPECT_EQ(CFNumberCompare(three.get(), threeD.get(), nullptr), kCFCompareEqualTo);
    EXPECT_TRUE(CFEqual(three.get(), threeD.get()));
    EXPECT_EQ(CFHash(three.get()), CFHash(threeD.get()));
    EXPECT_EQ(CFNumberCompare(three.get(), threeHalf.get(), nullptr), kCFCompareLessThan);
    EXPECT_EQ(CFNumberCompare(threeHalf.get(), three.get(), nullptr), kCFCompareGreaterThan);
    // Converting INT64_MAX to double would make these equal.
    EXPECT_EQ(CFNumberCompare(max.get(), twoTo63.get(), nullptr), kCFCompareLessThan);
    EXPECT_FALSE(CFEqual(max.get(), twoTo63.get()));
    EXPECT_EQ(CFNumberCompare(nan.get(), three.get(), nullptr), kCFCompareLessThan);
    EXPECT_EQ(CFNumberCompare(three.get(), nan.get(), nullptr), kCFCompareGreaterThan);
    EXPECT_EQ(CFNumberCompare(nan.get(), nan.get(), nullptr), kCFCompareEqualTo);
    EXPECT_EQ(CFNumberCompare(nullptr, three.get(), nullptr), kCFCompareLessThan);
    EXPECT_FALSE(CFEqual(three.get(), kCFBooleanTrue));
}

TEST(CFNumber, DescriptionsAndRetainCounts)
{
    Number n = Make<long>(kCFNumberLongType, 42);
    const std::string text = Description(n.get());
    EXPECT_EQ(text.rfind("<CFNumber 0x", 0), 0u) << text;
    EXPECT_NE(text.find(">{value = +42, type = kCFNumberSInt64Type}"), std::string::npos) << text;
    EXPECT_NE(Description(Make<double>(kCFNumberDoubleType, -2.5).get())
                  .find("{value = -2.5, type = kCFNumberFloat64Type}"),
              std::string::npos);

    EXPECT_EQ(CFGetRetainCount(n.get()), 1);
    CFRetain(n.get());
    EXPECT_EQ(CFGetRetainCount(n.get()), 2);
    CFRelease(n.get());
    EXPECT_EQ(CFGetRetainCount(n.get()), 1);
}

TEST(CFBoolean, ImmortalSingletons)
{
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
    EXPECT_FALSE(CFBooleanGetValue(kCFBooleanFalse));
    EXPECT_FALSE(CFBooleanGetValue(nullptr));
    EXPECT_FALSE(CFBooleanGetValue(reinterpret_cast<CFBooleanRef>(CFSTR("true"))));
    EXPECT_EQ(CFGetTypeID(kCFBooleanTrue), CFBooleanGetTypeID());
    EXPECT_FALSE(CFEqual(kCFBooleanTrue, kCFBooleanFalse));

    const CFIndex count = CFGetRetainCount(kCFBooleanTrue);
    for (int i = 0; i < 3; ++i)
        CFRelease(kCFBooleanTrue);
    EXPECT_EQ(CFGetRetainCount(kCFBooleanTrue), count);
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
    EXPECT_NE(Description(kCFBooleanFalse).find("{value = false}"), std::string::npos);
}
