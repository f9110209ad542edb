#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/types.h>
#include <type_traits>

#include "CFRuntime.h"
#include "CFString.h"
#include "CFStringEncodingsPrivate.h"

using namespace p3dcf;

namespace {

// Widths and precisions above this are refused rather than padded into a huge allocation.
constexpr long kMaxFieldSize = 1L << 24;

enum class Length { None, HH, H, L, LL, Z, J, T, BigL };

// printf's output for one conversion, appended to out; false when printf fails.
template <typename T> bool AppendConversion(std::string& out, const std::string& directive, T value)
{
    const int size = std::snprintf(nullptr, 0, directive.c_str(), value);
    if (size < 0)
        return false;
    const size_t start = out.size();
    out.resize(start + size_t(size) + 1);
    std::snprintf(out.data() + start, size_t(size) + 1, directive.c_str(), value);
    out.resize(start + size_t(size));
    return true;
}

class Formatter
{
public:
    Formatter(const std::u16string& format, va_list& arguments)
        : mFormat(format), mArguments(arguments)
    {
    }

    // The formatted text, or false for a format this subset refuses (%n, positional
    // arguments, unknown conversions) or a %s text that is not UTF-8.
    bool run(std::u16string& out)
    {
        size_t i = 0;
        while (i < mFormat.size()) {
            const size_t percent = mFormat.find(u'%', i);
            if (percent == std::u16string::npos) {
                out.append(mFormat, i, std::u16string::npos);
                break;
            }
            out.append(mFormat, i, percent - i);
            mPos = percent + 1;
            if (!conversion(out))
                return false;
            i = mPos;
        }
        return true;
    }

private:
    char16_t peek() const { return mPos < mFormat.size() ? mFormat[mPos] : u'\0'; }

    static bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
    static bool IsFlag(char16_t c)
    {
        return c == u'-' || c == u'+' || c == u' ' || c == u'#' || c == u'0' || c == u'\'';
    }

    // Digits at the current position; false when they exceed the field limit.
    bool number(long& value)
    {
        value = 0;
        while (IsDigit(peek())) {
            value = value * 10 + (peek() - u'0');
            if (value > kMaxFieldSize)
                return false;
            ++mPos;
        }
        return true;
    }

    bool conversion(std::u16string& out)
    {
        std::string directive = "%";
        bool leftAlign = false;
        while (IsFlag(peek())) {
            leftAlign |= peek() == u'-';
            directive += char(peek());
            ++mPos;
        }

        long width = -1;
        if (peek() == u'*') {
            ++mPos;
            const long given = va_arg(mArguments, int);
            // A negative width argument means left alignment.
            if (given < 0) {
                leftAlign = true;
                directive += '-';
            }
            width = given < 0 ? -given : given;
            if (width > kMaxFieldSize)
                return false;
        } else if (IsDigit(peek())) {
            if (!number(width))
                return false;
        }
        // Positional arguments ("%1$d", "%*1$d") leave a '$' or a digit where the conversion
        // character belongs, and are refused there.
        if (width >= 0)
            directive += std::to_string(width);

        long precision = -1;
        if (peek() == u'.') {
            ++mPos;
            if (peek() == u'*') {
                ++mPos;
                const long given = va_arg(mArguments, int);
                precision = given < 0 ? -1 : given; // negative: as if omitted
                if (precision > kMaxFieldSize)
                    return false;
            } else if (!number(precision)) {
                return false;
            }
            if (precision >= 0)
                directive += '.' + std::to_string(precision);
        }

        const Length length = lengthModifier(directive);
        const char16_t c = peek();
        ++mPos;
        std::string piece;
        switch (c) {
        case u'%':
            out += u'%';
            return true;
        case u'@':
            if (length != Length::None)
                return false;
            appendObject(out, va_arg(mArguments, const void*), width, leftAlign);
            return true;
        case u'd':
        case u'i':
            directive += char(c);
            if (!signedConversion(piece, directive, length))
                return false;
            break;
        case u'u':
        case u'o':
        case u'x':
        case u'X':
            directive += char(c);
            if (!unsignedConversion(piece, directive, length))
                return false;
            break;
        case u'c':
            if (length != Length::None)
                return false;
            directive += 'c';
            if (!AppendConversion(piece, directive, va_arg(mArguments, int)))
                return false;
            break;
        case u's': {
            if (length != Length::None)
                return false;
            directive += 's';
            const char* text = va_arg(mArguments, const char*);
            if (!AppendConversion(piece, directive, text ? text : "(null)"))
                return false;
            break;
        }
        case u'p':
            if (length != Length::None)
                return false;
            directive += 'p';
            if (!AppendConversion(piece, directive, va_arg(mArguments, void*)))
                return false;
            break;
        case u'f':
        case u'F':
        case u'e':
        case u'E':
        case u'g':
        case u'G':
        case u'a':
        case u'A':
            directive += char(c);
            if (length == Length::BigL) {
                if (!AppendConversion(piece, directive, va_arg(mArguments, long double)))
                    return false;
            } else if (length == Length::None || length == Length::L) {
                if (!AppendConversion(piece, directive, va_arg(mArguments, double)))
                    return false;
            } else {
                return false;
            }
            break;
        default:
            return false; // %n, '$', unknown conversions and a format ending in '%'
        }

        std::u16string units;
        if (!DecodeUTF8(piece, units))
            return false;
        out += units;
        return true;
    }

    Length lengthModifier(std::string& directive)
    {
        auto take = [&](const char* text, Length length) {
            directive += text;
            mPos += std::strlen(text);
            return length;
        };
        const char16_t next = mPos + 1 < mFormat.size() ? mFormat[mPos + 1] : u'\0';
        switch (peek()) {
        case u'h':
            return next == u'h' ? take("hh", Length::HH) : take("h", Length::H);
        case u'l':
            return next == u'l' ? take("ll", Length::LL) : take("l", Length::L);
        case u'z':
            return take("z", Length::Z);
        case u'j':
            return take("j", Length::J);
        case u't':
            return take("t", Length::T);
        case u'L':
            return take("L", Length::BigL);
        default:
            return Length::None;
        }
    }

    bool signedConversion(std::string& piece, const std::string& directive, Length length)
    {
        switch (length) {
        case Length::None:
        case Length::HH:
        case Length::H:
            return AppendConversion(piece, directive, va_arg(mArguments, int));
        case Length::L:
            return AppendConversion(piece, directive, va_arg(mArguments, long));
        case Length::LL:
            return AppendConversion(piece, directive, va_arg(mArguments, long long));
        case Length::Z:
            return AppendConversion(piece, directive, va_arg(mArguments, ssize_t));
        case Length::J:
            return AppendConversion(piece, directive, va_arg(mArguments, intmax_t));
        case Length::T:
            return AppendConversion(piece, directive, va_arg(mArguments, ptrdiff_t));
        case Length::BigL:
            return false;
        }
        return false;
    }

    bool unsignedConversion(std::string& piece, const std::string& directive, Length length)
    {
        switch (length) {
        case Length::None:
        case Length::HH:
        case Length::H:
            return AppendConversion(piece, directive, va_arg(mArguments, unsigned int));
        case Length::L:
            return AppendConversion(piece, directive, va_arg(mArguments, unsigned long));
        case Length::LL:
            return AppendConversion(piece, directive, va_arg(mArguments, unsigned long long));
        case Length::Z:
            return AppendConversion(piece, directive, va_arg(mArguments, size_t));
        case Length::J:
            return AppendConversion(piece, directive, va_arg(mArguments, uintmax_t));
        case Length::T:
            return AppendConversion(piece, directive,
                                    va_arg(mArguments, std::make_unsigned_t<ptrdiff_t>));
        case Length::BigL:
            return false;
        }
        return false;
    }

    // A string's text, another object's description, or "(null)"; padded to the width.
    static void appendObject(std::u16string& out, const void* object, long width, bool leftAlign)
    {
        std::u16string text;
        if (!object)
            text = u"(null)";
        else if (const std::u16string* units = StringUnits(object))
            text = *units;
        else
            text = ObjectFromRef(object)->formatDescription();
        const size_t pad = width > long(text.size()) ? size_t(width) - text.size() : 0;
        if (!leftAlign)
            out.append(pad, u' ');
        out += text;
        if (leftAlign)
            out.append(pad, u' ');
    }

    const std::u16string& mFormat;
    va_list& mArguments;
    size_t mPos = 0;
};

} // namespace

CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions,
                                     CFStringRef format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    CFStringRef result =
        CFStringCreateWithFormatAndArguments(alloc, formatOptions, format, arguments);
    va_end(arguments);
    return result;
}

CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef, CFDictionaryRef,
                                                 CFStringRef format, va_list arguments)
{
    const std::u16string* units = StringUnits(format);
    if (!units)
        return nullptr;
    va_list copy;
    va_copy(copy, arguments);
    std::u16string text;
    const bool ok = Formatter(*units, copy).run(text);
    va_end(copy);
    return ok ? MakeString(std::move(text)) : nullptr;
}
