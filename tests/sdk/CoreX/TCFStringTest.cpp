#include <climits>
#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>

#include "CoreFoundation.h"
#include "CoreMachDebugLog.h"
#include "CoreUnicode.h"
#include "TCFNumber.h"
#include "TCFString.h"
#include "T_CFTypeID.h"
#include "T_CFTypeRef.h"
#include "T_cstring.h"
#include "T_numeric.h"
#include "TestSupport.h"

using testing::HasSubstr;

namespace {

CFStringRef MakeString(const char* utf8)
{
    return CFStringCreateWithCString(nullptr, utf8, kCFStringEncodingUTF8);
}

template <class N> CFNumberRef MakeNumber(N value)
{
    return CFNumberCreate(nullptr, T_numeric<N>::sNumberType, &value);
}

} // namespace

TEST(TCFString, ConstructionFromTextsReportsBadInput)
{
    TCFString text("caf\xC3\xA9");
    EXPECT_TRUE(text.IsValid());
    EXPECT_EQ(text.GetOwnership(), kCFTypeRefOwned);
    EXPECT_EQ(text.strlen(), 4);

    p3dtest::LogCapture log;
    TCFString null_text(static_cast<const char*>(nullptr));
    EXPECT_FALSE(null_text.IsValid());
    TCFString invalid("bad \xC3\x28 utf8");
    EXPECT_FALSE(invalid.IsValid());
    text = std::string("\xFF");
    EXPECT_FALSE(text.IsValid());
    EXPECT_EQ(text.strlen(), 0);
    const std::string reports = log.text();
    EXPECT_THAT(reports, HasSubstr(" code : in_cstring!=NULL"));
    EXPECT_THAT(reports, HasSubstr("TCFString::SetValue in_cstring:bad \xC3\x28 utf8 "
                                   "inFromThisEncoding:134217984"));
    EXPECT_THAT(reports, HasSubstr(" code : IsValid()"));
}

TEST(TCFString, OwnedReferencesAreReleasedAndOthersOnlyForgotten)
{
    CFStringRef string = MakeString("held");
    CFRetain(string);
    const CFIndex count = CFGetRetainCount(string);
    {
        TCFString owned(string, kCFTypeRefOwned);
        TCFString borrowed(string);
        TCFString moved(std::move(owned));
        EXPECT_EQ(owned.GetValueRef(), nullptr);
        EXPECT_EQ(moved.GetValueRef(), string);
    }
    EXPECT_EQ(CFGetRetainCount(string), count - 1);
    CFRelease(string);
}

TEST(TCFString, ConstructChecksTheType)
{
    CFNumberRef number = MakeNumber(7);
    TCFString text;
    EXPECT_THROW(text.construct(reinterpret_cast<CFStringRef>(number), kCFTypeRefNotOwned),
                 CFTypeRefClass::TypeException);
    EXPECT_FALSE(text.IsValid());
    EXPECT_FALSE(text.construct(nullptr, kCFTypeRefOwned));
    EXPECT_THROW(CFTypeRefClass::ThrowIfNotTypeMatch(nullptr, CFStringGetTypeID()),
                 CFTypeRefClass::TypeException);
    CFTypeRefClass::ThrowIfNotTypeMatch(number, CFNumberGetTypeID());
    CFRelease(number);
}

TEST(TCFString, GetValueIntoStdString)
{
    std::string out = "stale";
    EXPECT_TRUE(TCFString("caf\xC3\xA9").GetValue(out));
    EXPECT_EQ(out, "caf\xC3\xA9");
    EXPECT_TRUE(TCFString("caf\xC3\xA9").GetValue(out, kCFStringEncodingMacRoman));
    EXPECT_EQ(out, "caf\x8E");
    EXPECT_TRUE(TCFString("caf\xC3\xA9").GetValue(out, kCFStringEncodingInvalidId));
    EXPECT_EQ(out, "caf\xC3\xA9");

    // A text the named encoding cannot hold fails rather than coming back in another one.
    EXPECT_FALSE(TCFString("\xE6\x97\xA5").GetValue(out, kCFStringEncodingMacRoman));
    EXPECT_EQ(out, "");

    out = "stale";
    EXPECT_FALSE(TCFString("").GetValue(out));
    EXPECT_EQ(out, "");
    out = "stale";
    EXPECT_FALSE(TCFString().GetConstCharStarValue(out, kCFStringEncodingUTF8));
    EXPECT_EQ(out, "stale");
}

TEST(TCFString, PascalConversions)
{
    Str255 pascal;
    EXPECT_TRUE(TCFString("caf\xC3\xA9").GetValue(pascal));
    EXPECT_EQ(pascal[0], 4);
    EXPECT_EQ(pascal[4], 0x8E);

    EXPECT_TRUE(TCFString(std::string(300, 'x')).GetValue(pascal));
    EXPECT_EQ(pascal[0], 255);
    EXPECT_FALSE(TCFString("a\xE6\x97\xA5").GetValue(pascal));
    EXPECT_EQ(pascal[0], 0);

    TCFString text;
    const unsigned char roman[] = {3, 'c', 'a', 0x8E};
    EXPECT_TRUE(text.SetValue(roman));
    std::string out;
    EXPECT_TRUE(text.GetValue(out));
    EXPECT_EQ(out, "ca\xC3\xA9");

    p3dtest::LogCapture log;
    EXPECT_FALSE(text.SetValue(static_cast<ConstStr255Param>(nullptr)));
    EXPECT_FALSE(text.GetValue(static_cast<StringPtr>(nullptr)));
    const std::string reports = log.text();
    EXPECT_THAT(reports, HasSubstr(" code : in_pstring!=NULL"));
    EXPECT_THAT(reports, HasSubstr(" code : out_pstring!=NULL"));
}

TEST(TCFString, UnicodeNames)
{
    HFSUniStr255 name;
    EXPECT_TRUE(TCFString::ToUnicode("caf\xC3\xA9", name));
    ASSERT_EQ(name.length, 4);
    EXPECT_EQ(name.unicode[3], 0xE9);
    const unsigned char roman[] = {2, 'a', 0x8E};
    EXPECT_TRUE(TCFString::ToUnicode(roman, name));
    EXPECT_EQ(name.unicode[1], 0xE9);

    std::string out;
    EXPECT_TRUE(TCFString::FromUnicode(name, out));
    EXPECT_EQ(out, "a\xC3\xA9");
    EXPECT_TRUE(TCFString::FromUnicode(name, out, kCFStringEncodingISOLatin1));
    EXPECT_EQ(out, "a\xE9");

    EXPECT_TRUE(TCFString(std::string(300, 'u')).GetValue(name));
    EXPECT_EQ(name.length, 255);

    // A length field past the record's 255 units is cut to them.
    p3dtest::LogCapture log;
    name.length = 0xFFFF;
    TCFString text;
    EXPECT_TRUE(text.SetValue(name));
    EXPECT_EQ(text.strlen(), 255);
    EXPECT_FALSE(TCFString::ToUnicode(static_cast<const char*>(nullptr), name));
    EXPECT_EQ(name.length, 0);
    const std::string reports = log.text();
    EXPECT_THAT(reports, HasSubstr(" code : in_name.length <= 255"));
    EXPECT_THAT(reports, HasSubstr(" code : in_cstring!=NULL"));
}

TEST(TCFString, UTF16AndWideTexts)
{
    const UniChar units[] = {'h', 0xE9, 0xD83D, 0xDE00, 0};
    TCFString text;
    EXPECT_TRUE(text.SetValue(units));
    EXPECT_EQ(text.strlen(), 4);

    T_cstring<unsigned short> copy;
    ASSERT_TRUE(text.GetValue(copy));
    EXPECT_EQ(copy.get()[2], 0xD83D);
    EXPECT_EQ(copy.get()[4], 0);

    UniChar* raw = nullptr;
    CFIndex length = 0;
    ASSERT_TRUE(text.GetValue(raw, length));
    EXPECT_EQ(length, 4);
    EXPECT_EQ(raw[3], 0xDE00);
    EXPECT_EQ(raw[4], 0);
    std::free(raw);

    // A character beyond 16 bits is one wide unit and a surrogate pair in UTF-16.
    std::wstring wide;
    EXPECT_TRUE(text.GetValue(wide));
    EXPECT_EQ(wide, std::wstring(L"h\u00E9\U0001F600"));
    std::string utf8;
    EXPECT_TRUE(TCFString::FromUnicode(wide, utf8));
    EXPECT_EQ(utf8, "h\xC3\xA9\xF0\x9F\x98\x80");

    EXPECT_TRUE(TCFString("").GetValue(raw, length));
    EXPECT_EQ(length, 0);
    EXPECT_EQ(raw[0], 0);
    std::free(raw);

    p3dtest::LogCapture log;
    EXPECT_FALSE(TCFString().GetValue(raw, length));
    EXPECT_EQ(raw, nullptr);
    EXPECT_FALSE(TCFString().GetValue(wide));
    EXPECT_TRUE(wide.empty());
    EXPECT_FALSE(text.SetValue(static_cast<const UniChar*>(nullptr)));
    EXPECT_THAT(log.text(), HasSubstr(" code : in_unistring!=NULL"));
}

TEST(TCFString, Strcmp)
{
    TCFString text("bbb");
    EXPECT_EQ(text.strcmp("bbb"), 0);
    EXPECT_EQ(text.strcmp("aaa"), 1);
    EXPECT_EQ(text.strcmp("ccc"), -1);
    CFStringRef other = MakeString("bbc");
    EXPECT_EQ(text.strcmp(other), -1);

    p3dtest::LogCapture log;
    EXPECT_EQ(TCFString().strcmp("bbb"), -1);
    EXPECT_EQ(TCFString().strcmp(other), -1);
    EXPECT_EQ(text.strcmp(static_cast<const char*>(nullptr)), -1);
    EXPECT_EQ(text.strcmp(static_cast<CFStringRef>(nullptr)), -1);
    const std::string reports = log.text();
    EXPECT_THAT(reports, HasSubstr(" code : IsValid()"));
    EXPECT_THAT(reports, HasSubstr(" code : in_string!=NULL"));
    CFRelease(other);
}

TEST(CFTypeSupport, CachedIdentifiersAndNumberCodes)
{
    EXPECT_EQ(T_CFTypeID<CFStringRef>::sTypeID, CFStringGetTypeID());
    EXPECT_EQ(T_CFTypeID<CFMutableArrayRef>::sTypeID, CFArrayGetTypeID());
    EXPECT_EQ(T_CFTypeID<CFBundleRef>::sTypeID, CFBundleGetTypeID());
    EXPECT_EQ(T_CFTypeID<CFURLRef>::sTypeID, CFURLGetTypeID());

    // long follows its width; the others keep their table codes.
    EXPECT_EQ(T_numeric<long>::sNumberType, kCFNumberSInt64Type);
    EXPECT_EQ(T_numeric<unsigned long>::sNumberType, kCFNumberLongType);
    EXPECT_EQ(T_numeric<char>::sNumberType, kCFNumberSInt8Type);
    EXPECT_EQ(T_numeric<unsigned char>::sNumberType, kCFNumberCharType);

    EXPECT_STREQ(T_numeric_base::name_of(4), "kCFNumberSInt64Type");
    EXPECT_STREQ(T_numeric_base::name_of(14), "kCFNumberCFIndexType");
    EXPECT_STREQ(T_numeric_base::name_of(5), "Unknown");
    EXPECT_STREQ(T_numeric_base::name_of(-3), "Unknown");
}

TEST(CFTypeSupport, NumbersRoundTrip)
{
    TCFNumber number;
    const long big = 0x123456789AL;
    ASSERT_TRUE(number.SetValue(big));
    long out_long = 0;
    EXPECT_TRUE(number.GetValue(out_long));
    EXPECT_EQ(out_long, big);
    EXPECT_TRUE(number.SetValue(LONG_MIN));
    EXPECT_TRUE(number.GetValue(out_long));
    EXPECT_EQ(out_long, LONG_MIN);

    // Values that do not fit answer false.
    int out_int = 0;
    ASSERT_TRUE(number.SetValue(big));
    EXPECT_FALSE(number.GetValue(out_int));
    out_long = 0;
    EXPECT_TRUE(CFTypeRefClass::ConvertTo(number.GetValueRef(), out_long));
    EXPECT_EQ(out_long, big);
    EXPECT_FALSE(TCFNumber().GetValue(out_int));

    CFNumberRef pi = MakeNumber(3.25);
    double out_double = 0;
    float out_float = 0;
    EXPECT_TRUE(CFTypeRefClass::ConvertTo(pi, out_double));
    EXPECT_EQ(out_double, 3.25);
    EXPECT_TRUE(CFTypeRefClass::ConvertTo(pi, out_float));
    EXPECT_EQ(out_float, 3.25f);

    CFNumberRef seven = MakeNumber(short(7));
    unsigned short out_ushort = 0;
    EXPECT_TRUE(CFTypeRefClass::ConvertTo(seven, out_ushort));
    EXPECT_EQ(out_ushort, 7);

    // Not a number: false, never a type exception.
    CFStringRef string = MakeString("7");
    EXPECT_FALSE(CFTypeRefClass::ConvertTo(string, out_int));
    EXPECT_FALSE(CFTypeRefClass::ConvertTo(nullptr, out_int));

    CFRelease(pi);
    CFRelease(seven);
    CFRelease(string);
}

TEST(CFTypeSupport, StringsAndDescriptions)
{
    CFStringRef string = MakeString("\xE2\x82\xAC");
    CFNumberRef number = MakeNumber(42);
    std::string out = "stale";
    EXPECT_TRUE(CFTypeRefClass::ConvertTo(string, out));
    EXPECT_EQ(out, "\xE2\x82\xAC");
    EXPECT_TRUE(CFTypeRefClass::ConvertTo(number, out));
    EXPECT_THAT(out, HasSubstr("42"));
    EXPECT_EQ(out, CFTypeRefClass::GetDescription(number));
    EXPECT_FALSE(CFTypeRefClass::ConvertTo(nullptr, out));
    EXPECT_EQ(out, "");

    EXPECT_EQ(CFTypeRefClass::GetTypeDescription(CFStringGetTypeID()), "CFString");
    EXPECT_EQ(CFTypeRefClass::GetDescription(nullptr), "");
    CFRelease(string);
    CFRelease(number);
}

TEST(CFTypeSupport, CstringBufferAndWideConversion)
{
    T_cstring<unsigned short> buffer;
    EXPECT_FALSE(buffer.set_length(0));
    ASSERT_TRUE(buffer.set_length(3));
    EXPECT_EQ(buffer.get()[0], 0);
    unsigned short* kept = buffer.get();
    EXPECT_TRUE(buffer.set_length(0));
    EXPECT_EQ(buffer.get(), kept);

    // Lone surrogates pass unchanged; a wide value that is no character becomes U+FFFD.
    const UniChar lone[] = {0xDC00, 'a', 0xD800};
    CoreUnicode::string_t text(lone, 3);
    EXPECT_EQ(text.wide(), (std::wstring{wchar_t(0xDC00), L'a', wchar_t(0xD800)}));
    const wchar_t wide[] = {L'x', wchar_t(0x110000), wchar_t(-1)};
    text.assign(wide, 3);
    ASSERT_EQ(text.utf16_length(), 3u);
    EXPECT_EQ(text.utf16()[1], 0xFFFD);
    EXPECT_EQ(text.utf16()[2], 0xFFFD);
    EXPECT_EQ(text.utf16()[3], 0);
}
