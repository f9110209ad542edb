// Fuzzes string creation and conversion in every available encoding.
// Input: the first byte picks the source encoding, the rest is the text.

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "CFString.h"
#include "CFURL.h"
#include "CoreCString.h"
#include "CorePString.h"
#include "TCFString.h"

namespace {

const CFStringEncoding kEncodings[] = {
    kCFStringEncodingUTF8,          kCFStringEncodingMacRoman, kCFStringEncodingWindowsLatin1,
    kCFStringEncodingISOLatin1,     kCFStringEncodingASCII,    kCFStringEncodingNextStepLatin,
    kCFStringEncodingNonLossyASCII,
};

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool SameBytes(const void* a, const void* b, size_t size)
{
    return size == 0 || std::memcmp(a, b, size) == 0;
}

std::vector<UniChar> Units(CFStringRef s)
{
    const CFIndex length = CFStringGetLength(s);
    std::vector<UniChar> units(size_t(length) + 1);
    CFStringGetCharacters(s, CFRangeMake(0, length), units.data());
    units.resize(size_t(length));
    return units;
}

// Converts s into `encoding` every way there is and checks the ways agree. When `source`
// is given, s was made from those bytes in that encoding and must convert back to them.
void CheckConversions(CFStringRef s, CFStringEncoding encoding, const std::string* source,
                      CFStringEncoding sourceEncoding)
{
    const CFIndex length = CFStringGetLength(s);
    const CFRange all = CFRangeMake(0, length);
    const CFIndex maximum = CFStringGetMaximumSizeForEncoding(length, encoding);
    Check(maximum >= length);

    // Strict conversion: measure, then convert into a buffer of exactly that size.
    CFIndex measured = -1;
    const CFIndex fit = CFStringGetBytes(s, all, encoding, 0, false, nullptr, 0, &measured);
    Check(fit >= 0 && fit <= length && measured >= 0 && measured <= maximum);
    std::vector<UInt8> bytes(static_cast<size_t>(measured));
    CFIndex used = -1;
    Check(CFStringGetBytes(s, all, encoding, 0, false, bytes.data(), measured, &used) == fit);
    Check(used == measured);
    const bool whole = fit == length;

    // A C string needs every character and one byte more than the bytes.
    std::vector<char> cstring(size_t(measured) + 1, 'x');
    const bool gotCString =
        CFStringGetCString(s, cstring.data(), CFIndex(cstring.size()), encoding);
    Check(gotCString == whole);
    if (whole) {
        Check(SameBytes(cstring.data(), bytes.data(), bytes.size()));
        Check(cstring[bytes.size()] == '\0');
        if (measured > 0)
            Check(!CFStringGetCString(s, cstring.data(), measured, encoding));

        // Decoding what was encoded gives the same string back.
        CFStringRef back =
            CFStringCreateWithBytes(nullptr, bytes.data(), CFIndex(bytes.size()), encoding, false);
        Check(back != nullptr);
        Check(CFEqual(s, back) && CFHash(s) == CFHash(back));
        Check(CFStringCompare(s, back, 0) == kCFCompareEqualTo);
        CFRelease(back);

        Str255 pascal;
        Check(bool(CFStringGetPascalString(s, pascal, sizeof pascal, encoding)) ==
              (measured <= 255));
    }
    if (source && encoding == sourceEncoding) {
        Check(whole);
        Check(bytes.size() == source->size() &&
              SameBytes(bytes.data(), source->data(), bytes.size()));
    }

    // With a loss byte every unit is converted.
    CFIndex lossy = -1;
    Check(CFStringGetBytes(s, all, encoding, '?', false, nullptr, 0, &lossy) == length);
    Check(lossy >= measured && lossy <= maximum);
    std::vector<UInt8> lossyBytes(static_cast<size_t>(lossy));
    Check(CFStringGetBytes(s, all, encoding, '?', false, lossyBytes.data(), lossy, &used) ==
          length);
    Check(used == lossy);
    if (whole)
        Check(lossyBytes == bytes);
    // One byte short always leaves something unconverted.
    if (lossy > 0)
        Check(CFStringGetBytes(s, all, encoding, '?', false, lossyBytes.data(), lossy - 1, &used) <
              length);
}

void CheckString(CFStringRef s, const std::string* source, CFStringEncoding sourceEncoding)
{
    if (!s)
        return;
    Check(CFGetTypeID(s) == CFStringGetTypeID());
    Check(CFStringCompare(s, s, kCFCompareCaseInsensitive) == kCFCompareEqualTo);
    const std::vector<UniChar> units = Units(s);
    CFStringRef copy = CFStringCreateWithCharacters(nullptr, units.data(), CFIndex(units.size()));
    Check(CFEqual(s, copy));
    CFRelease(copy);
    for (CFStringEncoding encoding : kEncodings)
        CheckConversions(s, encoding, source, sourceEncoding);
}

void CheckFormat(const std::string& text, CFStringRef s)
{
    CFStringRef plain = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("<%s>"), text.c_str());
    CFStringRef utf8 = CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8);
    Check((plain != nullptr) == (utf8 != nullptr));
    if (plain)
        Check(CFStringGetLength(plain) == CFStringGetLength(utf8) + 2);
    CFRelease(plain);
    CFRelease(utf8);

    CFStringRef mixed =
        CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%-9.4s|%8@|%@|%5d"), text.c_str(), s,
                                 static_cast<CFTypeRef>(s), int(text.size()));
    CFRelease(mixed);
}

void CheckPath(const std::string& text)
{
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>(text.data()), CFIndex(text.size()), false);
    if (!url)
        return;
    // The URL text reads back as the same URL.
    CFURLRef again = CFURLCreateWithString(nullptr, CFURLGetString(url), nullptr);
    Check(again && CFEqual(url, again));
    CFRelease(again);
    std::vector<UInt8> path(text.size() + 4096);
    Check(CFURLGetFileSystemRepresentation(url, true, path.data(), CFIndex(path.size())));
    const bool plain = text[0] == '/' && (text.size() == 1 || text.back() != '/');
    if (plain)
        Check(std::strcmp(reinterpret_cast<const char*>(path.data()), text.c_str()) == 0);
    CFRelease(url);
}

} // namespace

// The foundation string classes over the same text: conversions agree with the layer below,
// and every operation keeps its text inside its buffer.
static void CheckFoundationClasses(const std::string& cText, CFStringEncoding encoding,
                                   CFStringRef fromCharacters)
{
    TCFString string;
    if (string.SetValue(cText.c_str(), encoding)) {
        std::string back;
        if (string.GetValue(back, encoding))
            Check(back == cText);
    }
    CoreCString roman;
    roman = fromCharacters; // Mac OS Roman, or the empty text when it cannot hold the string
    if (roman.c_str())
        Check(CFIndex(std::strlen(roman.c_str())) <= CFStringGetLength(fromCharacters));

    CoreCString text(cText.c_str());
    Check(text.c_str() && std::strlen(text.c_str()) == cText.size());
    CoreCString hex(cText.c_str());
    const size_t digits = size_t(std::count_if(cText.begin(), cText.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c));
    }));
    hex.DecodeHexString(cText.c_str());
    Check(std::strlen(hex.c_str()) <= digits / 2);
    text.AsHexString();
    text.trim_trailing_and_leading_whitespace();
    text.AsDouble();
    text.strcat(cText.c_str());

    CorePString pascal;
    pascal = cText.c_str();
    Check(pascal.strlen() == std::min<size_t>(cText.size(), 255));
    pascal.strcatc('x');
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const CFStringEncoding encoding = kEncodings[data[0] % std::size(kEncodings)];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    CFStringRef fromBytes =
        CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(text.data()),
                                CFIndex(text.size()), encoding, false);
    CheckString(fromBytes, &text, encoding);

    const std::string cText = text.c_str(); // up to the first NUL
    CFStringRef fromCString = CFStringCreateWithCString(nullptr, cText.c_str(), encoding);
    if (cText.size() == text.size())
        Check((fromCString != nullptr) == (fromBytes != nullptr));
    CheckString(fromCString, &cText, encoding);

    Str255 pascal;
    pascal[0] = UInt8(std::min<size_t>(text.size(), 255));
    std::memcpy(pascal + 1, text.data(), pascal[0]);
    CFStringRef fromPascal = CFStringCreateWithPascalString(nullptr, pascal, encoding);
    const std::string pascalText(text, 0, pascal[0]);
    CheckString(fromPascal, &pascalText, encoding);

    std::vector<UniChar> units(text.size() / 2 + 1);
    std::memcpy(units.data(), text.data(), (units.size() - 1) * sizeof(UniChar));
    units.pop_back();
    CFStringRef fromCharacters =
        CFStringCreateWithCharacters(nullptr, units.data(), CFIndex(units.size()));
    Check(fromCharacters != nullptr);
    CheckString(fromCharacters, nullptr, encoding);

    CheckFormat(cText, fromCharacters);
    CheckPath(cText);
    CheckFoundationClasses(cText, encoding, fromCharacters);

    CFRelease(fromBytes);
    CFRelease(fromCString);
    CFRelease(fromPascal);
    CFRelease(fromCharacters);
    return 0;
}
