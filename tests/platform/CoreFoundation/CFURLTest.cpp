#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

#include "CFString.h"
#include "CFURL.h"

namespace {

struct Releaser
{
    void operator()(const void* object) const { CFRelease(object); }
};
using URL = std::unique_ptr<const __CFURL, Releaser>;
using String = std::unique_ptr<const __CFString, Releaser>;

std::string Text(CFStringRef string)
{
    if (!string)
        return "<null>";
    std::string buffer(size_t(CFStringGetLength(string)) * 3 + 1, '\0');
    if (!CFStringGetCString(string, buffer.data(), CFIndex(buffer.size()), kCFStringEncodingUTF8))
        return "<fail>";
    return buffer.c_str();
}

std::string Owned(CFStringRef string)
{
    String holder(string);
    return Text(string);
}

URL FromPath(const char* utf8, bool isDirectory)
{
    String path(CFStringCreateWithCString(nullptr, utf8, kCFStringEncodingUTF8));
    return URL(
        CFURLCreateWithFileSystemPath(nullptr, path.get(), kCFURLPOSIXPathStyle, isDirectory));
}

URL FromText(const char* text)
{
    String string(CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8));
    return URL(CFURLCreateWithString(nullptr, string.get(), nullptr));
}

std::string FileSystemPath(CFURLRef url)
{
    return Owned(CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle));
}

} // namespace

TEST(CFURL, FilePathsRoundTripWithPercentEncoding)
{
    URL url = FromPath("/tmp/a b/caf\xC3\xA9#1%.txt", false);
    ASSERT_TRUE(url);
    EXPECT_EQ(Text(CFURLGetString(url.get())), "file:///tmp/a%20b/caf%C3%A9%231%25.txt");
    EXPECT_FALSE(CFURLHasDirectoryPath(url.get()));
    EXPECT_EQ(FileSystemPath(url.get()), "/tmp/a b/caf\xC3\xA9#1%.txt");
    EXPECT_EQ(Owned(CFURLCopyLastPathComponent(url.get())), "caf\xC3\xA9#1%.txt");

    // The URL text read back gives the same path.
    URL again(CFURLCreateWithString(nullptr, CFURLGetString(url.get()), nullptr));
    EXPECT_EQ(FileSystemPath(again.get()), "/tmp/a b/caf\xC3\xA9#1%.txt");
    EXPECT_TRUE(CFEqual(url.get(), again.get()));
    EXPECT_EQ(CFHash(url.get()), CFHash(again.get()));
}

TEST(CFURL, DirectoriesCarryOneTrailingSlash)
{
    URL dir = FromPath("/tmp", true);
    EXPECT_EQ(Text(CFURLGetString(dir.get())), "file:///tmp/");
    EXPECT_TRUE(CFURLHasDirectoryPath(dir.get()));
    EXPECT_EQ(FileSystemPath(dir.get()), "/tmp");
    EXPECT_EQ(Owned(CFURLCopyLastPathComponent(dir.get())), "tmp");

    URL file = FromPath("/tmp/", false);
    EXPECT_EQ(Text(CFURLGetString(file.get())), "file:///tmp");

    URL root = FromPath("/", false);
    EXPECT_EQ(Text(CFURLGetString(root.get())), "file:///");
    EXPECT_EQ(FileSystemPath(root.get()), "/");
    EXPECT_EQ(Owned(CFURLCopyLastPathComponent(root.get())), "/");

    const std::string description = Owned(CFCopyDescription(dir.get()));
    EXPECT_EQ(description.rfind("<CFURL 0x", 0), 0u) << description;
    EXPECT_NE(description.find(">{file:///tmp/}"), std::string::npos) << description;
}

TEST(CFURL, RelativePathsUseTheWorkingFolderAtCreation)
{
    char cwd[PATH_MAX];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    URL url = FromPath("sub/file", false);
    EXPECT_EQ(FileSystemPath(url.get()), std::string(cwd) + "/sub/file");

    const UInt8 bytes[] = "rel\0ignored";
    URL fromBytes(CFURLCreateFromFileSystemRepresentation(nullptr, bytes, sizeof bytes, true));
    EXPECT_EQ(FileSystemPath(fromBytes.get()), std::string(cwd) + "/rel");
    EXPECT_TRUE(CFURLHasDirectoryPath(fromBytes.get()));
}

TEST(CFURL, AppendingComponents)
{
    URL dir = FromPath("/var/lib", true);
    URL file(CFURLCreateCopyAppendingPathComponent(nullptr, dir.get(), CFSTR("x y"), false));
    EXPECT_EQ(Text(CFURLGetString(file.get())), "file:///var/lib/x%20y");
    URL sub(CFURLCreateCopyAppendingPathComponent(nullptr, file.get(), CFSTR("z"), true));
    EXPECT_EQ(Text(CFURLGetString(sub.get())), "file:///var/lib/x%20y/z/");
    EXPECT_EQ(FileSystemPath(sub.get()), "/var/lib/x y/z");
    EXPECT_FALSE(CFURLCreateCopyAppendingPathComponent(nullptr, dir.get(), nullptr, false));
    EXPECT_FALSE(CFURLCreateCopyAppendingPathComponent(nullptr, nullptr, CFSTR("a"), false));
}

TEST(CFURL, StringsOfOtherSchemesHaveNoFilePath)
{
    URL web = FromText("http://example.com/a%20b/c?q=1#top");
    ASSERT_TRUE(web);
    EXPECT_EQ(Text(CFURLGetString(web.get())), "http://example.com/a%20b/c?q=1#top");
    EXPECT_EQ(FileSystemPath(web.get()), "<null>");
    EXPECT_EQ(Owned(CFURLCopyLastPathComponent(web.get())), "c");
    UInt8 buffer[64];
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(web.get(), true, buffer, sizeof buffer));

    URL escapedSlash = FromText("file:///tmp/a%2Fb");
    EXPECT_EQ(Owned(CFURLCopyLastPathComponent(escapedSlash.get())), "a/b");

    URL localhost = FromText("file://localhost/etc/hosts?x");
    EXPECT_EQ(FileSystemPath(localhost.get()), "/etc/hosts");
    URL otherHost = FromText("file://server/etc/hosts");
    EXPECT_EQ(FileSystemPath(otherHost.get()), "<null>");

    for (const char* bad : {"no scheme", "/tmp/x", "1http://x", "file:///a b", "file:///a%2",
                            "file:///a%zz", "file:///caf\xC3\xA9", ""})
        EXPECT_FALSE(FromText(bad)) << bad;
    // An escaped NUL cannot be a path.
    URL nul = FromText("file:///a%00b");
    EXPECT_EQ(FileSystemPath(nul.get()), "<null>");
}

TEST(CFURL, FileSystemRepresentationMustFit)
{
    URL url = FromPath("/tmp/abc", true);
    UInt8 buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_TRUE(CFURLGetFileSystemRepresentation(url.get(), true, buffer, 9)); // 8 + NUL
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "/tmp/abc");
    EXPECT_EQ(buffer[9], 'x');
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(url.get(), true, buffer, 8));
    EXPECT_EQ(buffer[0], 0);
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(url.get(), true, nullptr, 16));
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(url.get(), true, buffer, -1));
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(nullptr, true, buffer, 16));

    // Bytes that are not UTF-8 survive as a representation but give no path string.
    const UInt8 raw[] = "/tmp/\xFF";
    URL latin(CFURLCreateFromFileSystemRepresentation(nullptr, raw, 6, false));
    EXPECT_EQ(Text(CFURLGetString(latin.get())), "file:///tmp/%FF");
    EXPECT_TRUE(CFURLGetFileSystemRepresentation(latin.get(), true, buffer, sizeof buffer));
    EXPECT_EQ(0, std::memcmp(buffer, raw, 7));
    EXPECT_EQ(FileSystemPath(latin.get()), "<null>");
}

TEST(CFURL, BadArguments)
{
    EXPECT_FALSE(CFURLCreateWithFileSystemPath(nullptr, nullptr, kCFURLPOSIXPathStyle, false));
    EXPECT_FALSE(CFURLCreateWithFileSystemPath(nullptr, CFSTR(""), kCFURLPOSIXPathStyle, false));
    EXPECT_FALSE(CFURLCreateWithFileSystemPath(nullptr, CFSTR("/a"), 1, false));
    const UniChar lone[] = {'/', 0xD800};
    String loneString(CFStringCreateWithCharacters(nullptr, lone, 2));
    EXPECT_FALSE(
        CFURLCreateWithFileSystemPath(nullptr, loneString.get(), kCFURLPOSIXPathStyle, false));
    EXPECT_FALSE(CFURLCreateFromFileSystemRepresentation(nullptr, nullptr, 4, false));
    EXPECT_FALSE(CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>("/a"), -2, false));
    EXPECT_FALSE(CFURLCreateWithString(nullptr, nullptr, nullptr));
    EXPECT_EQ(CFURLGetString(nullptr), nullptr);
    EXPECT_FALSE(CFURLHasDirectoryPath(nullptr));
    EXPECT_EQ(CFURLCopyFileSystemPath(nullptr, kCFURLPOSIXPathStyle), nullptr);
    EXPECT_EQ(CFURLCopyLastPathComponent(nullptr), nullptr);
    // A string passed where a URL belongs is refused, not misread.
    EXPECT_EQ(CFURLGetString(reinterpret_cast<CFURLRef>(CFSTR("file:///"))), nullptr);

    std::string longPath(5000, 'a');
    longPath[0] = '/';
    URL big = FromPath(longPath.c_str(), false);
    ASSERT_TRUE(big);
    UInt8 buffer[4096];
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(big.get(), true, buffer, sizeof buffer));
    EXPECT_EQ(FileSystemPath(big.get()), longPath);
}
