#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>

#include "CFString.h"
#include "CoreCString.h"
#include "CoreCStringSized.h"
#include "CoreMachDebugLog.h"
#include "CorePString.h"
#include "TestSupport.h"

using testing::HasSubstr;

namespace {

// A Pascal text from a C++ string (at most 255 bytes).
struct Pascal
{
    explicit Pascal(const std::string& text)
    {
        bytes[0] = static_cast<unsigned char>(text.size());
        std::memcpy(bytes + 1, text.data(), text.size());
    }
    Str255 bytes{};
};

#define EXPECT_NIL_EXCEPTION(statement)                                                            \
    do {                                                                                           \
        try {                                                                                      \
            statement;                                                                             \
            ADD_FAILURE() << #statement " did not throw";                                          \
        } catch (const CoreException& e) {                                                         \
            EXPECT_STREQ(e.mMessage, "Nil exception pointer");                                     \
        }                                                                                          \
    } while (0)

const char kLimitReport[] = " code : needed_size <= kMaxBufferSize";

} // namespace

TEST(CoreCString, ConstructorsSizeTheBuffer)
{
    CoreCString empty;
    EXPECT_STREQ(empty.c_str(), "");
    EXPECT_EQ(empty.GetBufferSize(), 1);

    CoreCString sized("abc", 100);
    EXPECT_STREQ(sized.c_str(), "abc");
    EXPECT_EQ(sized.GetBufferSize(), 100);

    EXPECT_STREQ(CoreCString(Pascal("pascal").bytes).c_str(), "pascal");
    EXPECT_STREQ(CoreCString(static_cast<const char*>(nullptr)).c_str(), "");

    CoreCString copy(sized, 50);
    EXPECT_STREQ(copy.c_str(), "abc");
    EXPECT_EQ(copy.GetBufferSize(), 50);
}

TEST(CoreCString, FSSpecNameStaysInsideItsRecord)
{
    EXPECT_STREQ(CoreCString(static_cast<const FSSpec*>(nullptr)).c_str(), "");

    FSSpec fileSpec{};
    fileSpec.name[0] = 4;
    std::memcpy(fileSpec.name + 1, "Cam1", 4);
    EXPECT_STREQ(CoreCString(&fileSpec).c_str(), "Cam1");

    // A length byte beyond the 63 characters of the name is cut to the record.
    fileSpec.name[0] = 200;
    std::memset(fileSpec.name + 1, 'n', 63);
    EXPECT_EQ(CoreCString(&fileSpec).strlen(), 63u);
}

TEST(CoreCString, AllocReusesALargeEnoughBufferAndOtherwiseFitsExactly)
{
    CoreCString text("abc", 100);
    const char* buffer = text.c_str();
    EXPECT_TRUE(text.Alloc("0123456789"));
    EXPECT_EQ(text.c_str(), buffer);
    EXPECT_EQ(text.GetBufferSize(), 100);

    const std::string long_text(200, 'x');
    EXPECT_TRUE(text.Alloc(long_text.c_str()));
    EXPECT_EQ(text.GetBufferSize(), 201);
    EXPECT_EQ(text.c_str(), long_text);

    // A text taken from the object itself survives the new buffer.
    EXPECT_TRUE(text.Alloc(text.c_str() + 190, 300));
    EXPECT_STREQ(text.c_str(), "xxxxxxxxxx");
    EXPECT_EQ(text.GetBufferSize(), 300);

    EXPECT_TRUE(text.Alloc(Pascal("p").bytes, 10));
    EXPECT_STREQ(text.c_str(), "p");
}

TEST(CoreCString, AssignmentFitsExactlyAndSurvivesItsOwnText)
{
    CoreCString text("abc", 100);
    text = "hello";
    EXPECT_STREQ(text.c_str(), "hello");
    EXPECT_EQ(text.GetBufferSize(), 6);

    text = text.c_str() + 2;
    EXPECT_STREQ(text.c_str(), "llo");
    const CoreCString& same = text;
    text = same;
    EXPECT_STREQ(text.c_str(), "llo");

    text = Pascal("pascal").bytes;
    EXPECT_STREQ(text.c_str(), "pascal");
    text = CorePString("pstring");
    EXPECT_EQ(text.GetBufferSize(), 8);
    text = static_cast<const char*>(nullptr);
    EXPECT_STREQ(text.c_str(), "");
}

TEST(CoreCString, TextsBeyondSixteenBitsAreReportedAndRefused)
{
    const std::string longest(CoreCString::kMaxBufferSize - 1, 'a');
    const std::string too_long(CoreCString::kMaxBufferSize, 'b');

    CoreCString fits(longest.c_str());
    EXPECT_EQ(fits.strlen(), longest.size());
    EXPECT_EQ(fits.GetBufferSize(), CoreCString::kMaxBufferSize);

    p3dtest::LogCapture log;
    CoreCString refused(too_long.c_str());
    EXPECT_STREQ(refused.c_str(), "");

    CoreCString text("keep", 100);
    EXPECT_FALSE(text.Alloc(too_long.c_str()));
    EXPECT_STREQ(text.c_str(), "");
    EXPECT_EQ(text.GetBufferSize(), 100);

    // Growth past the limit leaves the text as it was.
    EXPECT_FALSE(fits.strcat("z"));
    EXPECT_EQ(fits.c_str(), longest);
    text = "x";
    text += too_long.c_str();
    EXPECT_STREQ(text.c_str(), "x");
    EXPECT_THAT(log.text(), HasSubstr(kLimitReport));
}

TEST(CoreCString, CFStringAssignmentConvertsToMacRoman)
{
    CFStringRef cafe = CFStringCreateWithCString(nullptr, "caf\xC3\xA9", kCFStringEncodingUTF8);
    CFStringRef kanji = CFStringCreateWithCString(nullptr, "\xE6\x97\xA5", kCFStringEncodingUTF8);
    ASSERT_NE(cafe, nullptr);
    ASSERT_NE(kanji, nullptr);

    CoreCString text;
    text = cafe;
    EXPECT_STREQ(text.c_str(), "caf\x8E");
    EXPECT_EQ(text.GetBufferSize(), 5);
    text = kanji;
    EXPECT_STREQ(text.c_str(), "");

    text = static_cast<CFStringRef>(nullptr);
    EXPECT_EQ(text.c_str(), nullptr);
    EXPECT_EQ(text.GetBufferSize(), 0);
    EXPECT_NIL_EXCEPTION(text.Empty());
    CFRelease(cafe);
    CFRelease(kanji);
}

TEST(CoreCString, SafeCopiesStayWithinTheCapacity)
{
    CoreCString text("", 5);
    text.safe_strcpy("0123456789");
    EXPECT_STREQ(text.c_str(), "0123");
    text.safe_strncpy("abcdef", 2);
    EXPECT_STREQ(text.c_str(), "ab");
    text.safe_strcat("cdef");
    EXPECT_STREQ(text.c_str(), "abcd");
    text.safe_strcat(nullptr);
    EXPECT_STREQ(text.c_str(), "abcd");
    text.safe_strcpy(text.c_str() + 1);
    EXPECT_STREQ(text.c_str(), "bcd");
    text.safe_strcpy(nullptr);
    EXPECT_STREQ(text.c_str(), "");
    EXPECT_EQ(text.GetBufferSize(), 5);
}

TEST(CoreCString, StrcatGrowsByExactFit)
{
    CoreCString text("ab");
    EXPECT_TRUE(text.strcat("cde"));
    EXPECT_STREQ(text.c_str(), "abcde");
    EXPECT_EQ(text.GetBufferSize(), (2 + 1) + (3 + 1));

    text += Pascal("fg").bytes;
    text += CoreCString("h");
    text += static_cast<const char*>(nullptr);
    EXPECT_STREQ(text.c_str(), "abcdefgh");
    text += text;
    EXPECT_STREQ(text.c_str(), "abcdefghabcdefgh");
}

TEST(CoreCString, PrintfAndSprintf)
{
    CoreCString text("", 64);
    const char* buffer = text.c_str();
    text.printf("%s-%d", "cam", 2);
    EXPECT_STREQ(text.c_str(), "cam-2");
    EXPECT_EQ(text.c_str(), buffer);

    text.printf("%s", std::string(CoreCString::kPrintfMaxLength, 'x').c_str());
    EXPECT_EQ(text.strlen(), CoreCString::kPrintfMaxLength);
    EXPECT_NIL_EXCEPTION(
        text.printf("%s", std::string(CoreCString::kPrintfMaxLength + 1, 'x').c_str()));

    char scratch[8] = "guard";
    text.sprintf(scratch, sizeof(scratch), "%d", 1234);
    EXPECT_STREQ(text.c_str(), "1234");
    EXPECT_NIL_EXCEPTION(text.sprintf(scratch, sizeof(scratch), "%s", "12345678"));
    EXPECT_NIL_EXCEPTION(text.sprintf(nullptr, 8, "x"));
    // A zero size writes nothing at all.
    std::strcpy(scratch, "guard");
    EXPECT_NIL_EXCEPTION(text.sprintf(scratch, 0, "x"));
    EXPECT_STREQ(scratch, "guard");
}

TEST(CoreCString, FourCharCodes)
{
    EXPECT_STREQ(CoreCString(FourCharCode(0x79757673)).c_str(), "0x79757673 'yuvs'");

    CoreCString text;
    EXPECT_TRUE(text.ConstructFourCharCode(0));
    EXPECT_STREQ(text.c_str(), "0x00000000 '");
    EXPECT_EQ(text.strlen(), 12u);
}

TEST(CoreCString, HexEncoding)
{
    CoreCString text;
    const unsigned char bytes[] = {0x00, 0xAB, 0x7F, 0x10};
    EXPECT_STREQ(text.EncodeHexString(bytes, 4, 0, 0), "00AB7F10");
    EXPECT_STREQ(text.EncodeHexString(bytes, 4, 2, ':'), "00:AB:");
    EXPECT_STREQ(text.EncodeHexString(bytes, 2, 0, '\n'), "00 AB ");
    EXPECT_STREQ(text.EncodeHexString(bytes, 1, 0, char(0xE9)), "00 ");
    // The first encoding sized the buffer; the smaller ones reused it.
    EXPECT_EQ(text.GetBufferSize(), 4 * 4 + 9);
    EXPECT_STREQ(text.HexData(bytes, 4, 3), "00 AB 7F ");
    EXPECT_STREQ(CoreCString::HexDigitPairFromByte(0x5C, 0), "5C");

    text = "abc";
    EXPECT_STREQ(text.AsHexString(), "61 62 63 ");
    text = "A";
    EXPECT_STREQ(text.AsHexString(), "41 ");
    text = "";
    EXPECT_STREQ(text.AsHexString(), "");

    // 16,382 bytes would need 65,537 bytes: refused.
    const std::string large(16382, 'q');
    p3dtest::LogCapture log;
    text.EncodeHexString(large.data(), large.size(), 0, ' ');
    EXPECT_STREQ(text.c_str(), "");
    EXPECT_THAT(log.text(), HasSubstr(kLimitReport));
}

TEST(CoreCString, HexDecoding)
{
    CoreCString text;
    EXPECT_STREQ(text.DecodeHexString("61 62-63"), "abc");
    EXPECT_STREQ(text.DecodeHexString("616"), "a");
    EXPECT_STREQ(text.DecodeHexString("zz"), "");
    EXPECT_STREQ(text.DecodeHexString(nullptr), "");

    const char* bytes = text.DecodeHexString("4a00Ff");
    EXPECT_EQ(bytes[0], 'J');
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(static_cast<unsigned char>(bytes[2]), 0xFF);

    text = "7879";
    EXPECT_STREQ(text.DecodeHexString(text.c_str()), "xy");
}

TEST(CoreCString, TrimsAndAsDouble)
{
    CoreCString text("   ");
    EXPECT_STREQ(text.trim_leading_whitespace(), "   ");
    EXPECT_STREQ(text.trim_trailing_whitespace(), "");

    text = "  x  ";
    EXPECT_STREQ(text.trim_trailing_and_leading_whitespace(), "x");
    text = "\t\n lead";
    EXPECT_STREQ(text.trim_leading_whitespace(), "lead");
    text = "trail \r\n";
    EXPECT_STREQ(text.trim_trailing_whitespace(), "trail");
    text = "\xA0\xA0";
    EXPECT_STREQ(text.trim_trailing_and_leading_whitespace(), "\xA0\xA0");

    text = "no digits";
    EXPECT_EQ(text.AsDouble(), 0.0);
    text = " 2.5kg";
    EXPECT_EQ(text.AsDouble(), 2.5);
}

TEST(CoreCString, ComparisonAndAssignTo)
{
    CoreCString text("camera");
    EXPECT_TRUE(text == "camera");
    EXPECT_FALSE(text == "camera ");
    EXPECT_TRUE(text == Pascal("camera").bytes);
    EXPECT_NIL_EXCEPTION((void)(text == static_cast<const char*>(nullptr)));
    EXPECT_NIL_EXCEPTION((void)(text == static_cast<ConstStr255Param>(nullptr)));

    char out[16];
    text.AssignTo(out);
    EXPECT_STREQ(out, "camera");

    Str255 pascal;
    std::memset(pascal, 0xEE, sizeof(pascal));
    text.AssignTo(pascal, 3);
    EXPECT_EQ(pascal[0], 3);
    EXPECT_EQ(std::memcmp(pascal + 1, "cam", 3), 0);
    EXPECT_EQ(pascal[4], 0xEE);

    // One length byte: a longer text is cut to 255, whatever the maximum says.
    text = std::string(300, 'L').c_str();
    text.AssignTo(pascal, 1000);
    EXPECT_EQ(pascal[0], 255);

    text.Delete();
    text.AssignTo(pascal, 10);
    EXPECT_EQ(pascal[0], 0);
}

TEST(CoreCString, OperationsWithoutBufferThrow)
{
    CoreCString text("x");
    text.Delete();
    EXPECT_EQ(text.c_str(), nullptr);
    EXPECT_EQ(text.Get_const_cstring(), nullptr);
    EXPECT_EQ(text.GetBufferSize(), 0);
    char out[4];
    EXPECT_NIL_EXCEPTION(text.Empty());
    EXPECT_NIL_EXCEPTION(text.safe_strcpy("a"));
    EXPECT_NIL_EXCEPTION(text.safe_strncpy("a", 1));
    EXPECT_NIL_EXCEPTION(text.safe_strcat("a"));
    EXPECT_NIL_EXCEPTION(text.strcat("a"));
    EXPECT_NIL_EXCEPTION(text.AssignTo(out));
    EXPECT_NIL_EXCEPTION(text.trim_leading_whitespace());
    EXPECT_NIL_EXCEPTION(text.trim_trailing_whitespace());
    EXPECT_NIL_EXCEPTION(text.trim_trailing_and_leading_whitespace());
    EXPECT_NIL_EXCEPTION(text.AsDouble());
    EXPECT_NIL_EXCEPTION((void)(text == "a"));
    EXPECT_NIL_EXCEPTION(text.AsHexString());

    // Alloc brings a buffer back.
    EXPECT_TRUE(text.Alloc(8));
    EXPECT_STREQ(text.c_str(), "");
    EXPECT_EQ(text.GetBufferSize(), 8);
}

TEST(CoreCStringSized, AppendingNeverGrows)
{
    CoreCStringSized text("abcd", 10);
    EXPECT_EQ(text.GetBufferSize(), 10);
    text.strcat("efgh");
    EXPECT_STREQ(text.c_str(), "abcdefgh");

    // Nine characters and the terminator would fit in ten bytes, yet one byte must stay free.
    CoreCStringSized nine("abcd", 10);
    EXPECT_NIL_EXCEPTION(nine.strcat("efghi"));
    EXPECT_STREQ(nine.c_str(), "abcd");
    EXPECT_NIL_EXCEPTION(nine.strcat(nullptr));
    EXPECT_NIL_EXCEPTION(nine += "efghi");
    EXPECT_NIL_EXCEPTION(nine += Pascal("efghi").bytes);
    nine += CoreCString("e");
    EXPECT_STREQ(nine.c_str(), "abcde");
    EXPECT_EQ(nine.GetBufferSize(), 10);

    CoreCStringSized copy(nine);
    EXPECT_EQ(copy.GetBufferSize(), 10);
    CoreCStringSized other(2);
    other = nine;
    EXPECT_EQ(other.GetBufferSize(), 10);
    EXPECT_STREQ(other.c_str(), "abcde");

    EXPECT_STREQ(CoreCStringSized(Pascal("p").bytes, 4).c_str(), "p");
    EXPECT_EQ(CoreCStringSized(static_cast<const FSSpec*>(nullptr), 4).GetBufferSize(), 4);
}

TEST(CoreCStringSized, TruncateInsideTheTextOnly)
{
    CoreCStringSized text("abcdef", 20);
    text.truncate(6);
    EXPECT_STREQ(text.c_str(), "abcdef");
    text.truncate(3);
    EXPECT_STREQ(text.c_str(), "abc");
    EXPECT_NIL_EXCEPTION(text.truncate(4));
    text.truncate(0);
    EXPECT_STREQ(text.c_str(), "");
}

TEST(CorePString, AssignmentCutsTo255AndKeepsATerminator)
{
    const std::string long_text(300, 'p');
    CorePString text(long_text.c_str());
    EXPECT_EQ(text.strlen(), 255u);
    EXPECT_EQ(text.string_size(), 256u);
    EXPECT_EQ(std::strlen(text.c_str()), 255u);

    text = Pascal("abc").bytes;
    EXPECT_EQ(text.GetPString()[0], 3);
    EXPECT_STREQ(text.c_str(), "abc");
    text = static_cast<const char*>(nullptr);
    EXPECT_EQ(text.strlen(), 0u);

    CorePString copy;
    copy = CorePString("copied");
    EXPECT_TRUE(copy == "copied");
    EXPECT_TRUE(copy == Pascal("copied").bytes);
    EXPECT_TRUE(copy == CorePString("copied"));
    EXPECT_FALSE(copy == "copie");
    EXPECT_NIL_EXCEPTION((void)(copy == static_cast<const char*>(nullptr)));
}

TEST(CorePString, AppendingStopsAt255)
{
    CorePString text(std::string(254, 'a').c_str());
    EXPECT_TRUE(text.strcatc('b'));
    EXPECT_FALSE(text.strcatc('c'));
    EXPECT_EQ(text.strlen(), 255u);
    EXPECT_EQ(text.c_str()[254], 'b');

    CorePString joined("abc");
    EXPECT_TRUE(joined.strcat(Pascal("def").bytes));
    EXPECT_STREQ(joined.c_str(), "abcdef");

    // Over 255: what fits is appended and the cut is reported.
    CorePString near(std::string(250, 'n').c_str());
    p3dtest::LogCapture log;
    EXPECT_FALSE(near.strcat(Pascal("0123456789").bytes));
    EXPECT_THAT(log.text(), HasSubstr(" code : total_length <= kMaxLength"));
    EXPECT_EQ(near.strlen(), 255u);
    EXPECT_EQ(std::string(near.c_str() + 250), "01234");
}

TEST(CorePString, CopiesOut)
{
    CorePString text("camera");
    Str255 out;
    text.strcpy(out, 3);
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(std::memcmp(out + 1, "cam", 3), 0);
    text.AssignTo(out, 255);
    EXPECT_EQ(out[0], 6);

    char cstring[8];
    text.AssignTo(cstring);
    EXPECT_STREQ(cstring, "camera");
    EXPECT_NIL_EXCEPTION(text.strcpy(nullptr, 10));
    EXPECT_NIL_EXCEPTION(text.AssignTo(static_cast<char*>(nullptr)));
}
