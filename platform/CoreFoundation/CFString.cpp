#include "CFString.h"

#include <cstring>
#include <limits>
#include <mutex>
#include <unordered_map>

#include "CFRuntime.h"
#include "CFStringEncodingsPrivate.h"

struct __CFString final : p3dcf::Object
{
    __CFString(std::u16string text, bool immortal)
        : Object(p3dcf::kStringTypeID, immortal), units(std::move(text))
    {
    }

    bool equals(const Object& other) const override
    {
        return units == static_cast<const __CFString&>(other).units;
    }
    CFHashCode hash() const override { return p3dcf::HashUnits(units); }

    std::u16string describeContents() const override { return u"contents = \"" + units + u"\""; }
    std::u16string formatDescription() const override { return units; }

    const std::u16string units;
};

namespace p3dcf {

CFStringRef MakeString(std::u16string units, bool immortal)
{
    return new __CFString(std::move(units), immortal);
}

const std::u16string* StringUnits(CFTypeRef ref)
{
    const __CFString* string = Cast<__CFString>(ref, kStringTypeID);
    return string ? &string->units : nullptr;
}

} // namespace p3dcf

using namespace p3dcf;

namespace {

// The seven encodings offered for C and Pascal strings; UTF-16 only goes through the byte calls.
bool IsCStringEncoding(CFStringEncoding encoding)
{
    return encoding != kCFStringEncodingUTF16 && IsSupportedEncoding(encoding);
}

CFStringRef CreateFromBytes(const UInt8* bytes, size_t count, CFStringEncoding encoding)
{
    std::u16string units;
    if (!DecodeBytes(bytes, count, encoding, units))
        return nullptr;
    return MakeString(std::move(units));
}

// A range inside the string; false for negative or out-of-bounds ranges.
bool ValidRange(const std::u16string& units, CFRange range)
{
    const CFIndex length = CFIndex(units.size());
    return range.location >= 0 && range.length >= 0 && range.location <= length &&
           range.length <= length - range.location;
}

char32_t CodePointAt(const std::u16string& units, size_t& i)
{
    const char16_t unit = units[i++];
    if (unit >= 0xD800 && unit <= 0xDBFF && i < units.size() && units[i] >= 0xDC00 &&
        units[i] <= 0xDFFF) {
        const char16_t low = units[i++];
        return 0x10000 + ((char32_t(unit - 0xD800) << 10) | char32_t(low - 0xDC00));
    }
    return unit;
}

// Simple case folding of the Latin, Greek and Cyrillic capitals that fold by a fixed offset.
char32_t FoldCase(char32_t c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 0x20;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return c + 0x20;
    if (c >= 0x410 && c <= 0x42F)
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
        c != 0x17F) {
        // Latin Extended-A pairs capitals with the next unit; the run 0x139-0x148 and
        // 0x179-0x17E is offset by one.
        const bool oddRun = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddRun ? (c % 2 == 1) : (c % 2 == 0))
            return c + 1;
    }
    return c;
}

} // namespace

CFStringRef __CFStringMakeConstantString(const char* utf8)
{
    if (!utf8)
        return nullptr;
    // Constant strings live as long as the module that made them: the table frees them when
    // the module is unloaded, so a library loaded and unloaded again leaks nothing.
    struct ConstantTable
    {
        std::mutex lock;
        std::unordered_map<std::string, CFStringRef> strings;
        ~ConstantTable()
        {
            for (auto& entry : strings)
                delete p3dcf::ObjectFromRef(entry.second);
        }
    };
    static ConstantTable sTable;

    std::lock_guard<std::mutex> lock(sTable.lock);
    auto [it, inserted] = sTable.strings.try_emplace(utf8, nullptr);
    if (inserted) {
        std::u16string units;
        if (!DecodeUTF8(it->first, units)) {
            // A literal that is not UTF-8 still gets a string: bytes as Latin 1.
            units.assign(it->first.begin(), it->first.end());
            for (char16_t& unit : units)
                unit = char16_t(unit & 0xFF);
        }
        it->second = MakeString(std::move(units), true);
    }
    return it->second;
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding)
{
    if (!cStr || !IsCStringEncoding(encoding))
        return nullptr;
    return CreateFromBytes(reinterpret_cast<const UInt8*>(cStr), std::strlen(cStr), encoding);
}

CFStringRef CFStringCreateWithPascalString(CFAllocatorRef, ConstStr255Param pStr,
                                           CFStringEncoding encoding)
{
    if (!pStr || !IsCStringEncoding(encoding))
        return nullptr;
    return CreateFromBytes(pStr + 1, pStr[0], encoding);
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar* chars, CFIndex numChars)
{
    if (numChars < 0 || (!chars && numChars > 0))
        return nullptr;
    if (numChars == 0)
        return MakeString(std::u16string());
    return MakeString(std::u16string(chars, chars + numChars));
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation)
{
    if (numBytes < 0 || (!bytes && numBytes > 0) || !IsSupportedEncoding(encoding))
        return nullptr;
    size_t count = size_t(numBytes);
    // An external UTF-8 text may open with a byte order mark, which is not part of the text.
    if (isExternalRepresentation && encoding == kCFStringEncodingUTF8 && count >= 3 &&
        bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        bytes += 3;
        count -= 3;
    }
    return CreateFromBytes(bytes, count, encoding);
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef string)
{
    // Strings are immutable, so a copy is the same object.
    if (!StringUnits(string))
        return nullptr;
    return static_cast<CFStringRef>(CFRetain(string));
}

CFIndex CFStringGetLength(CFStringRef string)
{
    const std::u16string* units = StringUnits(string);
    return units ? CFIndex(units->size()) : 0;
}

UniChar CFStringGetCharacterAtIndex(CFStringRef string, CFIndex index)
{
    const std::u16string* units = StringUnits(string);
    if (!units || index < 0 || size_t(index) >= units->size())
        return 0;
    return (*units)[size_t(index)];
}

void CFStringGetCharacters(CFStringRef string, CFRange range, UniChar* buffer)
{
    const std::u16string* units = StringUnits(string);
    if (!units || !buffer || !ValidRange(*units, range))
        return;
    std::memcpy(buffer, units->data() + range.location, size_t(range.length) * sizeof(UniChar));
}

Boolean CFStringGetCString(CFStringRef string, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding)
{
    if (!buffer || bufferSize <= 0)
        return false;
    buffer[0] = '\0';
    const std::u16string* units = StringUnits(string);
    if (!units || !IsCStringEncoding(encoding))
        return false;
    std::string bytes;
    if (!EncodeUnits(*units, encoding, bytes) || bytes.size() >= size_t(bufferSize))
        return false;
    std::memcpy(buffer, bytes.data(), bytes.size());
    buffer[bytes.size()] = '\0';
    return true;
}

Boolean CFStringGetPascalString(CFStringRef string, StringPtr buffer, CFIndex bufferSize,
                                CFStringEncoding encoding)
{
    if (!buffer || bufferSize <= 0)
        return false;
    buffer[0] = 0;
    const std::u16string* units = StringUnits(string);
    if (!units || !IsCStringEncoding(encoding))
        return false;
    std::string bytes;
    if (!EncodeUnits(*units, encoding, bytes) || bytes.size() > 255 ||
        bytes.size() >= size_t(bufferSize))
        return false;
    buffer[0] = UInt8(bytes.size());
    std::memcpy(buffer + 1, bytes.data(), bytes.size());
    return true;
}

CFIndex CFStringGetBytes(CFStringRef string, CFRange range, CFStringEncoding encoding,
                         UInt8 lossByte, Boolean isExternalRepresentation, UInt8* buffer,
                         CFIndex maxBufLen, CFIndex* usedBufLen)
{
    if (usedBufLen)
        *usedBufLen = 0;
    const std::u16string* units = StringUnits(string);
    if (!units || !ValidRange(*units, range) || !IsSupportedEncoding(encoding))
        return 0;
    if (buffer && maxBufLen < 0)
        return 0;
    // Without a buffer the call only measures, whatever maxBufLen says.
    const size_t room = buffer ? size_t(maxBufLen) : std::numeric_limits<size_t>::max();
    size_t used = 0;

    if (isExternalRepresentation && encoding == kCFStringEncodingUTF16) {
        if (room < 2)
            return 0;
        const char16_t mark = 0xFEFF;
        if (buffer)
            std::memcpy(buffer, &mark, 2);
        used = 2;
    }

    const char16_t* data = units->data() + range.location;
    const size_t count = size_t(range.length);
    size_t converted = 0;
    while (converted < count) {
        EncodedCharacter c = EncodeCharacter(data, count, converted, encoding);
        if (c.size == 0) {
            if (lossByte == 0)
                break;
            c.bytes[0] = lossByte;
            c.size = 1;
        }
        if (c.size > room - used)
            break;
        if (buffer)
            std::memcpy(buffer + used, c.bytes, c.size);
        used += c.size;
        converted += c.units;
    }
    if (usedBufLen)
        *usedBufLen = CFIndex(used);
    return CFIndex(converted);
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding)
{
    const CFIndex perUnit = CFIndex(MaxBytesPerUnit(encoding));
    if (perUnit == 0 || length < 0 || length > std::numeric_limits<CFIndex>::max() / perUnit)
        return kCFNotFound;
    return length * perUnit;
}

Boolean CFStringIsEncodingAvailable(CFStringEncoding encoding)
{
    return IsCStringEncoding(encoding);
}

CFStringEncoding CFStringGetSystemEncoding(void)
{
    return kCFStringEncodingUTF8;
}

CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFStringCompareFlags options)
{
    const std::u16string* x = StringUnits(a);
    const std::u16string* y = StringUnits(b);
    // Null sorts before any string.
    if (!x || !y) {
        if (x == y)
            return kCFCompareEqualTo;
        return x ? kCFCompareGreaterThan : kCFCompareLessThan;
    }
    const bool fold = (options & kCFCompareCaseInsensitive) != 0;
    size_t i = 0, j = 0;
    while (i < x->size() && j < y->size()) {
        char32_t c = CodePointAt(*x, i);
        char32_t d = CodePointAt(*y, j);
        if (fold) {
            c = FoldCase(c);
            d = FoldCase(d);
        }
        if (c != d)
            return c < d ? kCFCompareLessThan : kCFCompareGreaterThan;
    }
    if (i < x->size())
        return kCFCompareGreaterThan;
    if (j < y->size())
        return kCFCompareLessThan;
    return kCFCompareEqualTo;
}

Boolean CFStringGetFileSystemRepresentation(CFStringRef string, char* buffer, CFIndex maxBufLen)
{
    return CFStringGetCString(string, buffer, maxBufLen, kCFStringEncodingUTF8);
}

CFIndex CFStringGetMaximumSizeOfFileSystemRepresentation(CFStringRef string)
{
    const std::u16string* units = StringUnits(string);
    if (!units)
        return kCFNotFound;
    const CFIndex size =
        CFStringGetMaximumSizeForEncoding(CFIndex(units->size()), kCFStringEncodingUTF8);
    return size == kCFNotFound ? kCFNotFound : size + 1;
}

CFStringRef CFStringCreateWithFileSystemRepresentation(CFAllocatorRef, const char* buffer)
{
    return CFStringCreateWithCString(nullptr, buffer, kCFStringEncodingUTF8);
}
