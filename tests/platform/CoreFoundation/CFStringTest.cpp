#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CFNumber.h"
#include "CFString.h"

namespace {

struct Releaser
{
    void operator()(const void* object) const { CFRelease(object); }
};
using Owned = std::unique_ptr<const void, Releaser>;

CFStringRef S(const Owned& owned)
{
    return static_cast<CFStringRef>(owned.get());
}

Owned FromBytes(const std::string& bytes, CFStringEncoding encoding)
{
    return Owned(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                                         CFIndex(bytes.size()), encoding, false));
}

Owned FromUnits(const std::u16string& units)
{
    return Owned(CFStringCreateWithCharacters(
        nullptr, reinterpret_cast<const UniChar*>(units.data()), CFIndex(units.size())));
}

std::u16string Units(CFStringRef string)
{
    std::u16string units(size_t(CFStringGetLength(string)), u'\0');
    CFStringGetCharacters(string, CFRangeMake(0, CFIndex(units.size())),
                          reinterpret_cast<UniChar*>(units.data()));
    return units;
}

// The whole string in the encoding through GetCString, or "<fail>".
std::string CString(CFStringRef string, CFStringEncoding encoding)
{
    std::vector<char> buffer(size_t(CFStringGetLength(string)) * 6 + 1);
    if (!CFStringGetCString(string, buffer.data(), CFIndex(buffer.size()), encoding))
        return "<fail>";
    return buffer.data();
}

std::string AllBytes()
{
    std::string bytes;
    for (int b = 1; b < 256; ++b)
        bytes += char(b);
    return bytes;
}

} // namespace

TEST(CFStringEncodings, MacRomanEveryByteRoundTripsAndKnownPointsHold)
{
    Owned s = FromBytes(AllBytes(), kCFStringEncodingMacRoman);
    ASSERT_TRUE(s);
    EXPECT_EQ(CString(S(s), kCFStringEncodingMacRoman), AllBytes());
    const std::u16string units = Units(S(s));
    EXPECT_EQ(units[0x41 - 1], u'A');
    EXPECT_EQ(units[0x80 - 1], u'\u00C4');
    EXPECT_EQ(units[0xA5 - 1], u'\u2022');
    EXPECT_EQ(units[0xDB - 1], u'\u20AC');
    EXPECT_EQ(units[0xF0 - 1], u'\uF8FF');
    EXPECT_EQ(units[0xFF - 1], u'\u02C7');
    // Characters outside the table fail the whole conversion.
    EXPECT_EQ(CString(S(FromUnits(u"a\u0100")), kCFStringEncodingMacRoman), "<fail>");
    EXPECT_EQ(CString(S(FromUnits(u"\u00A4")), kCFStringEncodingMacRoman), "<fail>");
}

TEST(CFStringEncodings, WindowsLatin1KeepsUndefinedBytesAsC1Controls)
{
    Owned s = FromBytes(AllBytes(), kCFStringEncodingWindowsLatin1);
    ASSERT_TRUE(s);
    EXPECT_EQ(CString(S(s), kCFStringEncodingWindowsLatin1), AllBytes());
    const std::u16string units = Units(S(s));
    EXPECT_EQ(units[0x80 - 1], u'\u20AC');
    EXPECT_EQ(units[0x8A - 1], u'\u0160');
    EXPECT_EQ(units[0x9F - 1], u'\u0178');
    for (char16_t undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(units[undefined - 1], undefined);
    EXPECT_EQ(units[0xE9 - 1], u'\u00E9');
    // U+0080 has no byte: 0x80 is the euro sign.
    EXPECT_EQ(CString(S(FromUnits(u"\u0080")), kCFStringEncodingWindowsLatin1), "<fail>");
    EXPECT_EQ(CString(S(FromUnits(u"\u2122")), kCFStringEncodingWindowsLatin1), "\x99");
}

TEST(CFStringEncodings, ISOLatin1AndASCII)
{
    Owned latin = FromBytes(AllBytes(), kCFStringEncodingISOLatin1);
    ASSERT_TRUE(latin);
    const std::u16string units = Units(S(latin));
    for (size_t i = 0; i < units.size(); ++i)
        ASSERT_EQ(units[i], char16_t(i + 1));
    EXPECT_EQ(CString(S(latin), kCFStringEncodingISOLatin1), AllBytes());
    EXPECT_EQ(CString(S(FromUnits(u"\u0100")), kCFStringEncodingISOLatin1), "<fail>");

    EXPECT_TRUE(FromBytes(AllBytes().substr(0, 127), kCFStringEncodingASCII));
    EXPECT_FALSE(FromBytes("abc\x80", kCFStringEncodingASCII));
    EXPECT_EQ(CString(S(FromUnits(u"caf\u00E9")), kCFStringEncodingASCII), "<fail>");
}

TEST(CFStringEncodings, NextStepLatinTable)
{
    std::string mapped = AllBytes().substr(0, 0xFD); // 0xFE and 0xFF have no character
    Owned s = FromBytes(mapped, kCFStringEncodingNextStepLatin);
    ASSERT_TRUE(s);
    EXPECT_EQ(CString(S(s), kCFStringEncodingNextStepLatin), mapped);
    const std::u16string units = Units(S(s));
    EXPECT_EQ(units[0x80 - 1], u'\u00A0');
    EXPECT_EQ(units[0xA4 - 1], u'\u2044');
    EXPECT_EQ(units[0xC1 - 1], u'\u02CB');
    EXPECT_EQ(units[0xE8 - 1], u'\u0141');
    EXPECT_EQ(units[0xFD - 1], u'\u00FF');
    EXPECT_FALSE(FromBytes("\xFE", kCFStringEncodingNextStepLatin));
    EXPECT_FALSE(FromBytes("a\xFF", kCFStringEncodingNextStepLatin));
    EXPECT_EQ(CString(S(FromUnits(u"\u20AC")), kCFStringEncodingNextStepLatin), "<fail>");
}

TEST(CFStringEncodings, UTF8IsStrict)
{
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"; // a é € 😀
    Owned s = FromBytes(text, kCFStringEncodingUTF8);
    ASSERT_TRUE(s);
    EXPECT_EQ(Units(S(s)), u"a\u00E9\u20AC\U0001F600");
    EXPECT_EQ(CFStringGetLength(S(s)), 5); // the emoji is a surrogate pair
    EXPECT_EQ(CString(S(s), kCFStringEncodingUTF8), text);

    for (const char* bad : {"\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xF0\x80\x80\x80",
                            "\xED\xA0\x80", "\xED\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",
                            "\xE2\x82", "\x80", "a\xC3", "\xC3\x28", "\xFF"})
        EXPECT_FALSE(FromBytes(bad, kCFStringEncodingUTF8)) << testing::PrintToString(bad);

    // A lone surrogate has no UTF-8 form.
    EXPECT_EQ(CString(S(FromUnits(u"a\xD800")), kCFStringEncodingUTF8), "<fail>");
    EXPECT_EQ(CString(S(FromUnits(u"\xDC00z")), kCFStringEncodingUTF8), "<fail>");
}

TEST(CFStringEncodings, NonLossyASCIIEscapesAndRejectsOtherEscapes)
{
    Owned s = FromUnits(u"a\\b \u00E9\u20AC\xD83D");
    const std::string escaped = "a\\\\b \\351\\u20ac\\ud83d";
    EXPECT_EQ(CString(S(s), kCFStringEncodingNonLossyASCII), escaped);
    Owned back = FromBytes(escaped, kCFStringEncodingNonLossyASCII);
    ASSERT_TRUE(back);
    EXPECT_TRUE(CFEqual(S(s), S(back)));

    for (const char* bad :
         {"\\", "a\\x", "\\u20AC", "\\u00e9", "\\101", "\\35", "\\u12", "\xC3\xA9"})
        EXPECT_FALSE(FromBytes(bad, kCFStringEncodingNonLossyASCII)) << bad;
}

TEST(CFStringEncodings, AvailabilityAndMaximumSizes)
{
    for (CFStringEncoding e :
         {kCFStringEncodingUTF8, kCFStringEncodingMacRoman, kCFStringEncodingWindowsLatin1,
          kCFStringEncodingISOLatin1, kCFStringEncodingASCII, kCFStringEncodingNextStepLatin,
          kCFStringEncodingNonLossyASCII})
        EXPECT_TRUE(CFStringIsEncodingAvailable(e)) << e;
    EXPECT_FALSE(CFStringIsEncodingAvailable(kCFStringEncodingUTF16));
    EXPECT_FALSE(CFStringIsEncodingAvailable(kCFStringEncodingInvalidId));
    EXPECT_EQ(CFStringGetSystemEncoding(), kCFStringEncodingUTF8);

    EXPECT_EQ(CFStringGetMaximumSizeForEncoding(10, kCFStringEncodingUTF8), 30);
    EXPECT_EQ(CFStringGetMaximumSizeForEncoding(10, kCFStringEncodingMacRoman), 10);
    EXPECT_EQ(CFStringGetMaximumSizeForEncoding(10, kCFStringEncodingNonLossyASCII), 60);
    EXPECT_EQ(CFStringGetMaximumSizeForEncoding(0, kCFStringEncodingUTF8), 0);
    EXPECT_EQ(CFStringGetMaximumSizeForEncoding(-1, kCFStringEncodingUTF8), kCFNotFound);
    EXPECT_EQ(CFStringGetMaximumSizeForEncoding(LONG_MAX / 2, kCFStringEncodingUTF8), kCFNotFound);
    EXPECT_EQ(CFStringGetMaximumSizeForEncoding(10, 0x1234), kCFNotFound);
}

TEST(CFString, GetCStringNeedsRoomForTheTerminator)
{
    Owned s(CFStringCreateWithCString(nullptr, "h\xC3\xA9llo", kCFStringEncodingUTF8));
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_TRUE(CFStringGetCString(S(s), buffer, 7, kCFStringEncodingUTF8)); // 6 bytes + NUL
    EXPECT_STREQ(buffer, "h\xC3\xA9llo");
    EXPECT_EQ(buffer[7], 'x');
    EXPECT_FALSE(CFStringGetCString(S(s), buffer, 6, kCFStringEncodingUTF8));
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_TRUE(CFStringGetCString(S(s), buffer, 6, kCFStringEncodingMacRoman));
    EXPECT_STREQ(buffer, "h\x8Ello");

    EXPECT_FALSE(CFStringGetCString(S(s), buffer, 0, kCFStringEncodingUTF8));
    EXPECT_FALSE(CFStringGetCString(S(s), nullptr, 8, kCFStringEncodingUTF8));
    EXPECT_FALSE(CFStringGetCString(nullptr, buffer, 8, kCFStringEncodingUTF8));
    EXPECT_FALSE(CFStringGetCString(S(s), buffer, 8, kCFStringEncodingUTF16));
    Owned number(CFNumberCreate(nullptr, kCFNumberIntType, "\0\0\0\0"));
    EXPECT_FALSE(CFStringGetCString(static_cast<CFStringRef>(number.get()), buffer, 8,
                                    kCFStringEncodingUTF8));
}

TEST(CFString, PascalStrings)
{
    const unsigned char pascal[] = "\x04"
                                   "caf\x8E";
    Owned s(CFStringCreateWithPascalString(nullptr, pascal, kCFStringEncodingMacRoman));
    EXPECT_EQ(Units(S(s)), u"caf\u00E9");
    unsigned char out[6] = {};
    EXPECT_TRUE(CFStringGetPascalString(S(s), out, 5, kCFStringEncodingMacRoman));
    EXPECT_EQ(0, std::memcmp(out, pascal, 5));
    EXPECT_FALSE(CFStringGetPascalString(S(s), out, 4, kCFStringEncodingMacRoman));
    EXPECT_FALSE(CFStringCreateWithPascalString(nullptr, nullptr, kCFStringEncodingMacRoman));

    Owned longer = FromUnits(std::u16string(256, u'a'));
    unsigned char big[300];
    EXPECT_FALSE(CFStringGetPascalString(S(longer), big, sizeof big, kCFStringEncodingMacRoman));
}

TEST(CFString, GetBytesWithAndWithoutLossByte)
{
    Owned s = FromUnits(u"ab\u0100c\U0001F600d");
    UInt8 buffer[16];
    CFIndex used = -1;
    const CFIndex length = CFStringGetLength(S(s));

    // Without a loss byte the conversion stops before the first character Latin 1 lacks.
    EXPECT_EQ(CFStringGetBytes(S(s), CFRangeMake(0, length), kCFStringEncodingISOLatin1, 0, false,
                               buffer, sizeof buffer, &used),
              2);
    EXPECT_EQ(used, 2);
    // With one, each such character becomes one loss byte, the surrogate pair included.
    EXPECT_EQ(CFStringGetBytes(S(s), CFRangeMake(0, length), kCFStringEncodingISOLatin1, '?', false,
                               buffer, sizeof buffer, &used),
              length);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size_t(used)), "ab?c?d");

    // A full buffer stops before a character that does not fit whole.
    EXPECT_EQ(CFStringGetBytes(S(s), CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false,
                               buffer, 5, &used),
              4);
    EXPECT_EQ(used, 5); // a b Ā(2) c; the emoji needs 4 more
    // No buffer: only measures.
    EXPECT_EQ(CFStringGetBytes(S(s), CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false,
                               nullptr, 0, &used),
              length);
    EXPECT_EQ(used, 10);
    // A range ending inside the surrogate pair leaves a lone surrogate.
    EXPECT_EQ(CFStringGetBytes(S(s), CFRangeMake(4, 1), kCFStringEncodingUTF8, 0, false, buffer,
                               sizeof buffer, &used),
              0);

    for (CFRange bad : {CFRangeMake(-1, 2), CFRangeMake(0, -1), CFRangeMake(5, 3),
                        CFRangeMake(LONG_MAX, 1), CFRangeMake(1, LONG_MAX)}) {
        used = -1;
        EXPECT_EQ(CFStringGetBytes(S(s), bad, kCFStringEncodingUTF8, '?', false, buffer,
                                   sizeof buffer, &used),
                  0);
        EXPECT_EQ(used, 0);
    }
    EXPECT_EQ(CFStringGetBytes(S(s), CFRangeMake(0, 1), kCFStringEncodingUTF8, 0, false, buffer, -4,
                               &used),
              0);
}

TEST(CFString, UTF16ThroughTheByteCalls)
{
    Owned s = FromUnits(u"h\u00E9");
    UInt8 buffer[8];
    CFIndex used = 0;
    EXPECT_EQ(CFStringGetBytes(S(s), CFRangeMake(0, 2), kCFStringEncodingUTF16, 0, true, buffer,
                               sizeof buffer, &used),
              2);
    ASSERT_EQ(used, 6); // mark + 2 units
    Owned back(CFStringCreateWithBytes(nullptr, buffer, used, kCFStringEncodingUTF16, true));
    EXPECT_TRUE(CFEqual(S(s), S(back)));
    const UInt8 swapped[] = {0xFE, 0xFF, 0x00, 0x68};
    Owned big(CFStringCreateWithBytes(nullptr, swapped, 4, kCFStringEncodingUTF16, true));
    EXPECT_EQ(Units(S(big)), u"h");
    EXPECT_FALSE(CFStringCreateWithBytes(nullptr, swapped, 3, kCFStringEncodingUTF16, false));
}

TEST(CFString, CreationFromBadArguments)
{
    EXPECT_FALSE(CFStringCreateWithCString(nullptr, nullptr, kCFStringEncodingUTF8));
    EXPECT_FALSE(CFStringCreateWithCString(nullptr, "abc", 0x1234));
    EXPECT_FALSE(CFStringCreateWithCharacters(nullptr, nullptr, 3));
    const UniChar one = 'x';
    EXPECT_FALSE(CFStringCreateWithCharacters(nullptr, &one, -1));
    EXPECT_FALSE(CFStringCreateWithBytes(nullptr, nullptr, 2, kCFStringEncodingUTF8, false));
    EXPECT_FALSE(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>("a"), -1,
                                         kCFStringEncodingUTF8, false));
    Owned empty(CFStringCreateWithBytes(nullptr, nullptr, 0, kCFStringEncodingUTF8, false));
    ASSERT_TRUE(empty);
    EXPECT_EQ(CFStringGetLength(S(empty)), 0);
    EXPECT_FALSE(CFStringCreateCopy(nullptr, nullptr));
    EXPECT_EQ(CFStringGetLength(nullptr), 0);
    EXPECT_EQ(CFStringGetCharacterAtIndex(S(empty), 0), 0);
    EXPECT_EQ(CFStringGetCharacterAtIndex(CFSTR("ab"), -1), 0);
    EXPECT_EQ(CFStringGetCharacterAtIndex(CFSTR("ab"), 1), u'b');
}

TEST(CFString, CompareInCodePointOrder)
{
    EXPECT_EQ(CFStringCompare(CFSTR("abc"), CFSTR("abd"), 0), kCFCompareLessThan);
    EXPECT_EQ(CFStringCompare(CFSTR("abc"), CFSTR("ab"), 0), kCFCompareGreaterThan);
    EXPECT_EQ(CFStringCompare(CFSTR("abc"), CFSTR("abc"), 0), kCFCompareEqualTo);
    EXPECT_EQ(CFStringCompare(CFSTR("B"), CFSTR("a"), 0), kCFCompareLessThan);
    // U+1F600 is stored as D83D DE00, which is below U+E000 as units but not as code points.
    EXPECT_EQ(CFStringCompare(S(FromUnits(u"\U0001F600")), S(FromUnits(u"\uE000")), 0),
              kCFCompareGreaterThan);

    EXPECT_EQ(CFStringCompare(CFSTR("B"), CFSTR("a"), kCFCompareCaseInsensitive),
              kCFCompareGreaterThan);
    EXPECT_EQ(CFStringCompare(CFSTR("\xC3\x89t\xC3\xA9"), CFSTR("\xC3\xA9T\xC3\x89"),
                              kCFCompareCaseInsensitive),
              kCFCompareEqualTo);
    EXPECT_NE(CFStringCompare(CFSTR("\xC3\x97"), CFSTR("\xC3\xB7"), kCFCompareCaseInsensitive),
              kCFCompareEqualTo); // × and ÷ are not a case pair
    EXPECT_EQ(CFStringCompare(nullptr, CFSTR(""), 0), kCFCompareLessThan);
    EXPECT_EQ(CFStringCompare(nullptr, nullptr, 0), kCFCompareEqualTo);
}

TEST(CFString, ConstantStringsAreInternedAndImmortal)
{
    CFStringRef a = CFSTR("constant text");
    EXPECT_EQ(a, CFSTR("constant text"));
    EXPECT_NE(a, CFSTR("other text"));
    const CFIndex count = CFGetRetainCount(a);
    CFRelease(a);
    CFRelease(a);
    CFRetain(a);
    EXPECT_EQ(CFGetRetainCount(a), count);
    EXPECT_EQ(CFStringGetLength(a), 13);

    std::vector<CFStringRef> seen(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = CFSTR("interned from threads"); });
    for (std::thread& t : threads)
        t.join();
    for (CFStringRef s : seen)
        EXPECT_EQ(s, seen[0]);
}

TEST(CFString, RetainCountsAndCopies)
{
    Owned s = FromUnits(u"text");
    EXPECT_EQ(CFGetRetainCount(S(s)), 1);
    EXPECT_EQ(CFRetain(S(s)), S(s));
    EXPECT_EQ(CFGetRetainCount(S(s)), 2);
    CFRelease(S(s));
    Owned copy(CFStringCreateCopy(nullptr, S(s)));
    EXPECT_EQ(CFGetRetainCount(S(s)), 2);
    EXPECT_TRUE(CFEqual(S(copy), CFSTR("text")));
    EXPECT_EQ(CFHash(S(copy)), CFHash(CFSTR("text")));

    EXPECT_EQ(CFRetain(nullptr), nullptr);
    CFRelease(nullptr);
    EXPECT_EQ(CFGetRetainCount(nullptr), 0);
    EXPECT_EQ(CFGetTypeID(nullptr), 0u);
    EXPECT_FALSE(CFEqual(nullptr, nullptr));
    EXPECT_EQ(CFHash(nullptr), 0u);
    EXPECT_EQ(CFCopyDescription(nullptr), nullptr);
}

TEST(CFString, TypeIdentifiersAndDescriptions)
{
    const CFTypeID ids[] = {CFStringGetTypeID(), CFNumberGetTypeID(),     CFBooleanGetTypeID(),
                            CFArrayGetTypeID(),  CFDictionaryGetTypeID(), CFDataGetTypeID(),
                            CFSetGetTypeID(),    CFBagGetTypeID(),        CFBundleGetTypeID(),
                            CFURLGetTypeID()};
    const char* names[] = {"CFString", "CFNumber", "CFBoolean", "CFArray",  "CFDictionary",
                           "CFData",   "CFSet",    "CFBag",     "CFBundle", "CFURL"};
    for (size_t i = 0; i < std::size(ids); ++i) {
        EXPECT_NE(ids[i], 0u);
        for (size_t j = 0; j < i; ++j)
            EXPECT_NE(ids[i], ids[j]);
        Owned name(CFCopyTypeIDDescription(ids[i]));
        EXPECT_EQ(CString(S(name), kCFStringEncodingUTF8), names[i]);
    }
    EXPECT_EQ(CFCopyTypeIDDescription(0), nullptr);
    EXPECT_EQ(CFGetTypeID(CFSTR("x")), CFStringGetTypeID());

    Owned description(CFCopyDescription(CFSTR("caf\xC3\xA9")));
    const std::string text = CString(S(description), kCFStringEncodingUTF8);
    EXPECT_EQ(text.rfind("<CFString 0x", 0), 0u) << text;
    EXPECT_NE(text.find(">{contents = \"caf\xC3\xA9\"}"), std::string::npos) << text;
}

TEST(CFString, FileSystemRepresentation)
{
    Owned s(CFStringCreateWithFileSystemRepresentation(nullptr, "/tmp/caf\xC3\xA9"));
    ASSERT_TRUE(s);
    EXPECT_EQ(CFStringGetLength(S(s)), 9);
    EXPECT_EQ(CFStringGetMaximumSizeOfFileSystemRepresentation(S(s)), 28);
    char buffer[11];
    EXPECT_TRUE(CFStringGetFileSystemRepresentation(S(s), buffer, 11));
    EXPECT_STREQ(buffer, "/tmp/caf\xC3\xA9");
    EXPECT_FALSE(CFStringGetFileSystemRepresentation(S(s), buffer, 10));
    EXPECT_FALSE(CFStringCreateWithFileSystemRepresentation(nullptr, "bad\xFF"));
    EXPECT_FALSE(CFStringCreateWithFileSystemRepresentation(nullptr, nullptr));
    EXPECT_EQ(CFStringGetMaximumSizeOfFileSystemRepresentation(nullptr), kCFNotFound);
}

namespace {

std::string Format(CFStringRef format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    Owned s(CFStringCreateWithFormatAndArguments(nullptr, nullptr, format, arguments));
    va_end(arguments);
    return s ? CString(S(s), kCFStringEncodingUTF8) : "<null>";
}

} // namespace

TEST(CFStringFormat, PrintfConversions)
{
    EXPECT_EQ(Format(CFSTR("[%5d|%-5d|%05d]"), 42, 42, -42), "[   42|42   |-0042]");
    EXPECT_EQ(Format(CFSTR("[%*d|%*d|%.*s]"), 4, 7, -4, 7, 2, "abc"), "[   7|7   |ab]");
    EXPECT_EQ(Format(CFSTR("%hhd %hd %ld %lld %zu %jd %td"), 300, 70000, -1L, 1LL << 40, size_t(9),
                     intmax_t(-2), ptrdiff_t(3)),
              "44 4464 -1 1099511627776 9 -2 3");
    EXPECT_EQ(Format(CFSTR("%x %X %#o %u %c %%"), 255u, 255u, 8u, 4000000000u, 'Z'),
              "ff FF 010 4000000000 Z %");
    EXPECT_EQ(Format(CFSTR("%.2f %e %g %Lg %a"), 3.14159, 1500.0, 0.5, 2.5L, 1.0),
              "3.14 1.500000e+03 0.5 2.5 0x1p+0");
    EXPECT_EQ(Format(CFSTR("%p"), nullptr), "(nil)");
    EXPECT_EQ(Format(CFSTR("\xC3\xA9t\xC3\xA9 %d"), 1), "\xC3\xA9t\xC3\xA9 1");
    EXPECT_EQ(Format(CFSTR("no conversions")), "no conversions");
}

TEST(CFStringFormat, StringArgumentsAreUTF8)
{
    EXPECT_EQ(Format(CFSTR("<%s>"), "caf\xC3\xA9"), "<caf\xC3\xA9>");
    EXPECT_EQ(Format(CFSTR("<%8s>"), "abc"), "<     abc>");
    EXPECT_EQ(Format(CFSTR("<%s>"), static_cast<const char*>(nullptr)), "<(null)>");
    EXPECT_EQ(Format(CFSTR("<%s>"), "caf\xE9"), "<null>");
    // A precision must not cut a character in two.
    EXPECT_EQ(Format(CFSTR("<%.4s>"), "caf\xC3\xA9"), "<null>");
    const std::string longText(100000, 'q');
    EXPECT_EQ(Format(CFSTR("%s!"), longText.c_str()), longText + "!");
}

TEST(CFStringFormat, ObjectsThroughAt)
{
    EXPECT_EQ(Format(CFSTR("[%@]"), CFSTR("caf\xC3\xA9")), "[caf\xC3\xA9]");
    EXPECT_EQ(Format(CFSTR("[%6@|%-6@]"), CFSTR("ab"), CFSTR("cd")), "[    ab|cd    ]");
    EXPECT_EQ(Format(CFSTR("[%@]"), nullptr), "[(null)]");
    const long value = 42;
    Owned number(CFNumberCreate(nullptr, kCFNumberLongType, &value));
    const std::string text = Format(CFSTR("%@"), number.get());
    EXPECT_EQ(text.rfind("<CFNumber 0x", 0), 0u) << text;
    EXPECT_NE(text.find(">{value = +42, type = kCFNumberSInt64Type}"), std::string::npos) << text;
    // A lone surrogate in a string argument is kept, not lost.
    Owned lone = FromUnits(u"\xD800");
    Owned formatted(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@"), lone.get()));
    EXPECT_EQ(Units(S(formatted)), u"\xD800");
}

TEST(CFStringFormat, RefusedFormats)
{
    int written = 0;
    EXPECT_EQ(Format(CFSTR("abc%n"), &written), "<null>");
    EXPECT_EQ(written, 0);
    EXPECT_EQ(Format(CFSTR("%1$d"), 5), "<null>");
    EXPECT_EQ(Format(CFSTR("%2$s %1$s"), "a", "b"), "<null>");
    EXPECT_EQ(Format(CFSTR("trailing %")), "<null>");
    EXPECT_EQ(Format(CFSTR("%q"), 1), "<null>");
    EXPECT_EQ(Format(CFSTR("%ls"), L"wide"), "<null>");
    EXPECT_EQ(Format(CFSTR("%Ld"), 1), "<null>");
    EXPECT_EQ(Format(CFSTR("%99999999999d"), 1), "<null>");
    EXPECT_EQ(Format(CFSTR("%c"), 0xE9), "<null>"); // one byte that is not UTF-8
    EXPECT_EQ(CFStringCreateWithFormat(nullptr, nullptr, nullptr), nullptr);
}
