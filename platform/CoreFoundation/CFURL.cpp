#include "CFURL.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "CFRuntime.h"
#include "CFString.h"
#include "CFStringEncodingsPrivate.h"

namespace {

bool IsAlpha(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int HexValue(char c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool IsUnreserved(char c)
{
    return IsAlpha(c) || IsDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

// Characters that may stand unescaped in a URL text.
bool IsURLCharacter(char c)
{
    return c > ' ' && c < 0x7F && !std::strchr("\"<>\\^`{|}", c);
}

// Every byte outside the unreserved set and "/" as %XX.
std::string PercentEncode(const std::string& bytes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        if (IsUnreserved(c) || c == '/') {
            out += c;
        } else {
            const unsigned char b = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        }
    }
    return out;
}

// Escapes were checked when the URL was made, so every '%' has two hex digits.
std::string PercentDecode(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out += char(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

struct URLParts
{
    std::string scheme;
    bool hasAuthority = false;
    std::string authority;
    std::string path; // still percent-encoded
    std::string rest; // "?query#fragment" as given
};

// scheme ":" ["//" authority] path ["?" query] ["#" fragment]; false for a text without a
// scheme, with characters a URL cannot hold, or with a broken escape.
bool ParseURL(const std::string& text, URLParts& parts)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (!IsURLCharacter(text[i]))
            return false;
        if (text[i] == '%' &&
            (i + 2 >= text.size() || HexValue(text[i + 1]) < 0 || HexValue(text[i + 2]) < 0))
            return false;
    }
    size_t colon = 0;
    auto isSchemeCharacter = [&](char c) {
        return IsAlpha(c) || (colon > 0 && (IsDigit(c) || c == '+' || c == '-' || c == '.'));
    };
    while (colon < text.size() && isSchemeCharacter(text[colon]))
        ++colon;
    if (colon == 0 || colon >= text.size() || text[colon] != ':')
        return false;
    parts.scheme = text.substr(0, colon);
    size_t pos = colon + 1;
    if (text.compare(pos, 2, "//") == 0) {
        parts.hasAuthority = true;
        const size_t end = text.find_first_of("/?#", pos + 2);
        parts.authority = text.substr(pos + 2, end == std::string::npos ? end : end - pos - 2);
        pos = end == std::string::npos ? text.size() : end;
    }
    const size_t end = text.find_first_of("?#", pos);
    parts.path = text.substr(pos, end == std::string::npos ? end : end - pos);
    parts.rest = end == std::string::npos ? std::string() : text.substr(end);
    return true;
}

bool EqualsIgnoringCase(const std::string& a, const char* b)
{
    if (a.size() != std::strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != b[i])
            return false;
    }
    return true;
}

std::string WorkingFolder()
{
    char* cwd = getcwd(nullptr, 0);
    if (!cwd)
        return std::string();
    std::string folder(cwd);
    std::free(cwd);
    return folder;
}

std::string UTF8Of(CFStringRef string, bool& ok)
{
    std::string bytes;
    const std::u16string* units = p3dcf::StringUnits(string);
    ok = units && p3dcf::EncodeUnits(*units, kCFStringEncodingUTF8, bytes);
    return bytes;
}

CFStringRef StringFromUTF8(const std::string& bytes)
{
    std::u16string units;
    if (!p3dcf::DecodeUTF8(bytes, units))
        return nullptr;
    return p3dcf::MakeString(std::move(units));
}

} // namespace

struct __CFURL final : p3dcf::Object
{
    __CFURL(std::string urlText, URLParts urlParts)
        : Object(p3dcf::kURLTypeID, false), text(std::move(urlText)), parts(std::move(urlParts)),
          string(p3dcf::MakeString(p3dcf::WidenASCII(text)))
    {
        if (EqualsIgnoringCase(parts.scheme, "file") && !parts.path.empty() &&
            parts.path[0] == '/' &&
            (parts.authority.empty() || EqualsIgnoringCase(parts.authority, "localhost"))) {
            filePath = PercentDecode(parts.path);
            isFile = filePath.find('\0') == std::string::npos;
        }
    }
    ~__CFURL() override { CFRelease(string); }

    bool equals(const Object& other) const override
    {
        return text == static_cast<const __CFURL&>(other).text;
    }
    CFHashCode hash() const override { return p3dcf::HashUnits(p3dcf::WidenASCII(text)); }
    std::u16string describeContents() const override { return p3dcf::WidenASCII(text); }

    // The file path without a trailing slash, except for the root.
    std::string pathWithoutSlash() const
    {
        std::string path = filePath;
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        return path;
    }

    const std::string text; // ASCII: everything else is percent-encoded
    const URLParts parts;
    const CFStringRef string;
    bool isFile = false;
    std::string filePath; // decoded bytes, trailing slash kept
};

namespace {

CFURLRef CreateFromText(const std::string& text)
{
    URLParts parts;
    if (!ParseURL(text, parts))
        return nullptr;
    return new __CFURL(text, std::move(parts));
}

// A file URL for the path bytes: relative paths against the working folder, a trailing
// slash for a directory and none otherwise.
CFURLRef CreateFromPathBytes(std::string path, bool isDirectory)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        return nullptr;
    if (path[0] != '/') {
        std::string folder = WorkingFolder();
        if (folder.empty())
            return nullptr;
        if (folder.back() != '/')
            folder += '/';
        path = folder + path;
    }
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (isDirectory && path != "/")
        path += '/';
    return CreateFromText("file://" + PercentEncode(path));
}

const __CFURL* AsURL(CFURLRef url)
{
    return p3dcf::Cast<__CFURL>(url, p3dcf::kURLTypeID);
}

} // namespace

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef filePath,
                                       CFURLPathStyle pathStyle, Boolean isDirectory)
{
    if (pathStyle != kCFURLPOSIXPathStyle)
        return nullptr;
    bool ok;
    std::string path = UTF8Of(filePath, ok);
    return ok ? CreateFromPathBytes(std::move(path), isDirectory) : nullptr;
}

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const UInt8* buffer,
                                                 CFIndex bufLen, Boolean isDirectory)
{
    if (!buffer || bufLen <= 0)
        return nullptr;
    const char* bytes = reinterpret_cast<const char*>(buffer);
    // A terminator inside the given length ends the path.
    const void* nul = std::memchr(bytes, '\0', size_t(bufLen));
    const size_t length = nul ? size_t(static_cast<const char*>(nul) - bytes) : size_t(bufLen);
    return CreateFromPathBytes(std::string(bytes, length), isDirectory);
}

CFURLRef CFURLCreateWithString(CFAllocatorRef, CFStringRef urlString, CFURLRef)
{
    std::string text;
    const std::u16string* units = p3dcf::StringUnits(urlString);
    if (!units)
        return nullptr;
    for (char16_t unit : *units) {
        if (unit >= 0x80)
            return nullptr;
        text += char(unit);
    }
    return CreateFromText(text);
}

CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef, CFURLRef url,
                                               CFStringRef pathComponent, Boolean isDirectory)
{
    const __CFURL* base = AsURL(url);
    bool ok;
    const std::string component = UTF8Of(pathComponent, ok);
    if (!base || !ok || component.find('\0') != std::string::npos)
        return nullptr;
    const URLParts& parts = base->parts;
    std::string path = parts.path;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += PercentEncode(component);
    if (isDirectory && path.back() != '/')
        path += '/';
    std::string text = parts.scheme + ":";
    if (parts.hasAuthority)
        text += "//" + parts.authority;
    return CreateFromText(text + path + parts.rest);
}

CFStringRef CFURLGetString(CFURLRef url)
{
    const __CFURL* u = AsURL(url);
    return u ? u->string : nullptr;
}

Boolean CFURLHasDirectoryPath(CFURLRef url)
{
    const __CFURL* u = AsURL(url);
    return u && !u->parts.path.empty() && u->parts.path.back() == '/';
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle pathStyle)
{
    const __CFURL* u = AsURL(url);
    if (!u || !u->isFile || pathStyle != kCFURLPOSIXPathStyle)
        return nullptr;
    return StringFromUTF8(u->pathWithoutSlash());
}

CFStringRef CFURLCopyLastPathComponent(CFURLRef url)
{
    const __CFURL* u = AsURL(url);
    if (!u)
        return nullptr;
    // Split before decoding, so that an escaped slash stays inside its component.
    std::string path = u->parts.path;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.size() > 1) {
        const size_t slash = path.rfind('/');
        if (slash != std::string::npos)
            path.erase(0, slash + 1);
    }
    return StringFromUTF8(PercentDecode(path));
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean, UInt8* buffer, CFIndex maxBufLen)
{
    if (!buffer || maxBufLen <= 0)
        return false;
    buffer[0] = 0;
    const __CFURL* u = AsURL(url);
    if (!u || !u->isFile)
        return false;
    const std::string path = u->pathWithoutSlash();
    if (path.size() >= size_t(maxBufLen))
        return false;
    std::memcpy(buffer, path.data(), path.size());
    buffer[path.size()] = 0;
    return true;
}
