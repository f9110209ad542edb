#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "CFURL.h"
#include "CoreUnixPath.h"
#include "LUnixPath.h"
#include "TestSupport.h"

namespace {

std::string Parent(const std::string& path)
{
    std::string parent = "stale";
    return CoreUnixPath::GetPathParent(path, parent) ? parent : "<none:" + parent + ">";
}

std::string Name(const std::string& path)
{
    std::string name = "stale";
    return CoreUnixPath::GetPathJustName(path, name) ? name : "<none:" + name + ">";
}

std::string Extension(const std::string& path)
{
    std::string extension = "stale";
    return CoreUnixPath::GetPathExtension(path, extension) ? extension : "<none:" + extension + ">";
}

TEST(CoreUnixPath, RootIsAPathOfSlashesOnly)
{
    EXPECT_TRUE(CoreUnixPath::IsRootPath("/"));
    EXPECT_TRUE(CoreUnixPath::IsRootPath("//"));
    EXPECT_FALSE(CoreUnixPath::IsRootPath(""));
    EXPECT_FALSE(CoreUnixPath::IsRootPath(nullptr));
    EXPECT_FALSE(CoreUnixPath::IsRootPath("/a"));
    EXPECT_FALSE(CoreUnixPath::IsRootPath("./"));
    // The root has no parent, no name and takes no extension.
    EXPECT_EQ(Parent("/"), "<none:>");
    EXPECT_EQ(Name("/"), "<none:>");
    EXPECT_EQ(Extension("/"), "<none:>");
    std::string root = "/";
    EXPECT_FALSE(CoreUnixPath::AddPathExtension(root, "txt"));
    EXPECT_FALSE(CoreUnixPath::ReplacePathExtension(root, "txt"));
    EXPECT_EQ(root, "/");
    EXPECT_TRUE(CoreUnixPath::RemoveTrailingSlash(root));
    EXPECT_EQ(root, "");
}

TEST(CoreUnixPath, TrailingSlashes)
{
    std::string text;
    EXPECT_TRUE(CoreUnixPath::AddTrailingSlash(text));
    EXPECT_EQ(text, "/");
    text = "/tmp/";
    EXPECT_FALSE(CoreUnixPath::AddTrailingSlash(text));
    EXPECT_EQ(text, "/tmp/");
    text = "/tmp";
    EXPECT_TRUE(CoreUnixPath::AddTrailingSlash(text));
    EXPECT_EQ(text, "/tmp/");
    text = "a//";
    EXPECT_TRUE(CoreUnixPath::RemoveTrailingSlash(text));
    EXPECT_EQ(text, "a/"); // one slash only
    EXPECT_FALSE(CoreUnixPath::RemoveTrailingSlash(text = "a"));
}

TEST(CoreUnixPath, ParentsAndNames)
{
    EXPECT_EQ(Parent("/p/q/r/"), "/p/q/");
    EXPECT_EQ(Parent("/a/b/"), "/a/");
    EXPECT_EQ(Parent("a/b"), "a/");
    EXPECT_EQ(Parent("/p"), "<none:>");
    EXPECT_EQ(Parent("p"), "<none:>");
    EXPECT_EQ(Parent(""), "<none:>");

    EXPECT_EQ(Name("/a/b.txt"), "b.txt");
    EXPECT_EQ(Name("/a/b/"), "b");
    EXPECT_EQ(Name("/a"), "<none:>");
    EXPECT_EQ(Name("a"), "<none:>");

    CoreUnixPath path("/p/q/r");
    CoreUnixPath parent;
    ASSERT_TRUE(path.GetParent(parent));
    EXPECT_STREQ(parent, "/p/q/");
    p3dtest::LogCapture log;
    EXPECT_FALSE(CoreUnixPath("/p").GetParent(parent));
    EXPECT_NE(log.text().find(" code : GetParent(parent_path) in "), std::string::npos);
}

TEST(CoreUnixPath, Extensions)
{
    EXPECT_EQ(Extension("/p/q.txt"), "txt");
    EXPECT_EQ(Extension("/p.q/r"), "q/r"); // the slash plays no part here
    EXPECT_EQ(Extension(".profile"), "<none:>");
    EXPECT_EQ(Extension("name"), "<none:>");
    EXPECT_FALSE(CoreUnixPath::HasValidFileExtension("/p.q/r"));
    EXPECT_TRUE(CoreUnixPath::HasValidFileExtension("/p/q.txt"));
    EXPECT_TRUE(CoreUnixPath::HasValidFileExtension("q.txt"));
    EXPECT_FALSE(CoreUnixPath::HasValidFileExtension(".profile"));

    EXPECT_TRUE(CoreUnixPath::HasPathExtension("x.JPG", ".jpg"));
    EXPECT_TRUE(CoreUnixPath::HasPathExtension("x.JPG", "jpg"));
    EXPECT_FALSE(CoreUnixPath::HasPathExtension("x.JPG", "jpeg"));
    EXPECT_FALSE(CoreUnixPath::HasPathExtension("x", "jpg"));
    EXPECT_TRUE(CoreUnixPath("/a/x.Png").HasExtension("PNG"));
    EXPECT_FALSE(CoreUnixPath("/a.b/x").HasExtension("b/x"));

    std::string path = "x.tiff";
    EXPECT_TRUE(CoreUnixPath::ReplacePathExtension(path, "png"));
    EXPECT_EQ(path, "x.png");
    path = "x";
    EXPECT_TRUE(CoreUnixPath::ReplacePathExtension(path, ".png"));
    EXPECT_EQ(path, "x.png");
    path = "/d.d/x";
    EXPECT_TRUE(CoreUnixPath::ReplacePathExtension(path, "png"));
    EXPECT_EQ(path, "/d.d/x.png");
}

TEST(CoreUnixPath, ReportsCarryTheirCodeTexts)
{
    p3dtest::LogCapture log;
    std::string out;
    CoreUnixPath::HasValidFileExtension("/p.q/r");
    CoreUnixPath::GetPathExtension("/x", out);
    CoreUnixPath::GetPathJustName("/", out);
    CoreUnixPath::IsFullyQualified(nullptr);
    CoreUnixPath::GetPathBasePartAndNamePart("", out, out);
    CoreUnixPath().IsQualified();
    const std::string text = log.text();
    for (const char* code :
         {" code : rfound_dot_at>rfound_slash_at in ", " code : int(rfound_dot_at)>0 in ",
          " code : !IsRootPath(path.c_str()) in ", " code : CoreUnixPath_NotNull in ",
          " code : path_length in ", " code : !IsEmpty() in "})
        EXPECT_NE(text.find(code), std::string::npos) << code;
}

TEST(CoreUnixPath, Qualification)
{
    EXPECT_TRUE(CoreUnixPath::IsFullyQualified("/a"));
    EXPECT_FALSE(CoreUnixPath::IsFullyQualified("a/b"));
    EXPECT_TRUE(CoreUnixPath::IsPartiallyQualified("a/b"));
    EXPECT_FALSE(CoreUnixPath::IsPartiallyQualified("/a/b"));
    EXPECT_FALSE(CoreUnixPath::IsPartiallyQualified(""));
    EXPECT_FALSE(CoreUnixPath::IsQualified(""));
    EXPECT_TRUE(CoreUnixPath::IsJustName("a.txt"));
    EXPECT_FALSE(CoreUnixPath::IsJustName(""));
    EXPECT_FALSE(CoreUnixPath::IsJustName(nullptr));
    EXPECT_TRUE(CoreUnixPath("name").IsJustName());
    EXPECT_FALSE(CoreUnixPath("a/b").IsJustName());
    EXPECT_FALSE(CoreUnixPath().IsJustName()); // empty answers false for every member test
    EXPECT_FALSE(CoreUnixPath().IsFullyQualified());
}

TEST(CoreUnixPath, BaseAndNameParts)
{
    std::string base, name;
    ASSERT_TRUE(CoreUnixPath::GetPathBasePartAndNamePart("file", base, name));
    EXPECT_EQ(base, "file");
    EXPECT_EQ(name, "");
    ASSERT_TRUE(CoreUnixPath::GetPathBasePartAndNamePart("/p/q", base, name));
    EXPECT_EQ(base, "/");
    EXPECT_EQ(name, "p/q");
    ASSERT_TRUE(CoreUnixPath::GetPathBasePartAndNamePart("p/q/r", base, name));
    EXPECT_EQ(base, "p/");
    EXPECT_EQ(name, "q/r");
    EXPECT_FALSE(CoreUnixPath::GetPathBasePartAndNamePart("", base, name));
    EXPECT_EQ(base + name, "");
}

std::vector<std::string> Walk(const char* text)
{
    std::vector<std::string> pairs;
    CoreUnixPath path(text);
    std::string base, name;
    if (!path.GetFirstPair(base, name))
        return pairs;
    do
        pairs.push_back(base + "|" + name);
    while (path.GetNextPair(base, name) && pairs.size() < 100);
    return pairs;
}

TEST(CoreUnixPath, WalksOneComponentAtATime)
{
    EXPECT_EQ(Walk("p/q/r"), (std::vector<std::string>{"p/|q/r", "p/q/|r"}));
    EXPECT_EQ(Walk("/p/q"), (std::vector<std::string>{"/|p/q", "/p/|q"}));
    EXPECT_EQ(Walk("name"), (std::vector<std::string>{"./|name"}));
    EXPECT_TRUE(Walk("").empty());
    // A base that is not the start of the path ends the walk instead of reading past it.
    CoreUnixPath path("a/b");
    std::string base = "zzzzzzzzzzzz/", name = "x/y";
    EXPECT_FALSE(path.GetNextPair(base, name));
}

TEST(CoreUnixPath, ConstructsFromTextsStringsAndURLs)
{
    EXPECT_FALSE(CoreUnixPath().Construct(static_cast<const char*>(nullptr)));
    CoreUnixPath fromString(CFSTR("/tmp/caf\u00e9"));
    EXPECT_STREQ(fromString, "/tmp/caf\xc3\xa9");

    CFURLRef url =
        CFURLCreateWithFileSystemPath(nullptr, CFSTR("/tmp/a b/"), kCFURLPOSIXPathStyle, true);
    ASSERT_NE(url, nullptr);
    CoreUnixPath fromURL(url);
    EXPECT_STREQ(fromURL, "/tmp/a b");
    CFRelease(url);

    p3dtest::LogCapture log;
    CFURLRef web = CFURLCreateWithString(nullptr, CFSTR("http://example.com/x"), nullptr);
    ASSERT_NE(web, nullptr);
    CoreUnixPath kept("/kept");
    EXPECT_FALSE(kept.Construct(web));
    CFRelease(web);
    EXPECT_FALSE(kept.Construct(static_cast<CFURLRef>(nullptr)));
    EXPECT_TRUE(kept.IsEmpty());
    EXPECT_FALSE(kept.Construct(static_cast<CFStringRef>(nullptr)));
    const std::string text = log.text();
    EXPECT_NE(text.find(" code : posix_file_path in "), std::string::npos);
    EXPECT_NE(text.find(" code : unix_file_url in "), std::string::npos);
    EXPECT_NE(text.find(" code : unix_file_path in "), std::string::npos);
}

TEST(CoreUnixPath, WorkingFolder)
{
    p3dtest::TempDir dir;
    CoreUnixPath before;
    ASSERT_TRUE(before.getcwd());
    ASSERT_TRUE(CoreUnixPath(dir.path().c_str()).chdir());
    CoreUnixPath now;
    ASSERT_TRUE(now.getcwd());
    EXPECT_EQ(now.GetPath(), dir.path());
    ASSERT_TRUE(before.chdir());
    p3dtest::LogCapture log;
    EXPECT_FALSE(CoreUnixPath(dir.file("missing").c_str()).chdir());
    EXPECT_FALSE(CoreUnixPath().chdir());
    EXPECT_NE(log.text().find(" code : fOk = (0==::chdir(mPath.c_str())) in "), std::string::npos);
}

TEST(CoreUnixPath, FileSystemTestsAndChanges)
{
    p3dtest::TempDir dir;
    const std::string file = dir.file("file");
    const std::string folder = dir.file("folder");
    p3dtest::WriteFile(file, "x");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);

    EXPECT_TRUE(CoreUnixPath::FileExists(file.c_str()));
    EXPECT_TRUE(CoreUnixPath::FileExistsRead(file.c_str()));
    EXPECT_TRUE(CoreUnixPath::FileExistsReadWrite(file.c_str()));
    EXPECT_FALSE(CoreUnixPath::FileExists(dir.file("missing").c_str()));
    EXPECT_FALSE(CoreUnixPath::FileExists(nullptr));
    EXPECT_FALSE(CoreUnixPath::FileExists(std::string(5000, 'a').c_str()));

    // A "to" path with a trailing slash makes the link at the path without it.
    const std::string link = dir.file("link");
    ASSERT_TRUE(CoreUnixPath::MakeSymbolicLinkFromTo((folder + "/").c_str(), (link + "/").c_str()));
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof(target) - 1), 0);
    EXPECT_EQ(std::string(target), folder);

    // Deleting the link leaves the folder it points at.
    EXPECT_TRUE(CoreUnixPath::FileDelete(link.c_str()));
    EXPECT_FALSE(CoreUnixPath::FileExists(link.c_str()));
    EXPECT_TRUE(CoreUnixPath::FileExists(folder.c_str()));

    p3dtest::LogCapture log;
    EXPECT_FALSE(CoreUnixPath::MakeSymbolicLinkFromTo(dir.file("missing").c_str(), link.c_str()));
    EXPECT_FALSE(CoreUnixPath::FileExists(link.c_str()));
    EXPECT_FALSE(CoreUnixPath::FileDelete(folder.c_str())); // not a folder operation
    EXPECT_TRUE(CoreUnixPath::FolderDelete(folder.c_str()));
    EXPECT_FALSE(CoreUnixPath::FolderDelete(folder.c_str()));
    const std::string text = log.text();
    EXPECT_NE(text.find(" code : fOk = (0==unlink(in_path)) in "), std::string::npos);
    EXPECT_NE(text.find(" code : fOk = (0==rmdir(in_path)) in "), std::string::npos);
}

TEST(CoreUnixPath, PathsOfFourKilobytesAndMoreAreRefusedCleanly)
{
    p3dtest::TempDir dir;
    p3dtest::WriteFile(dir.file("file"), "x");
    for (size_t length : {size_t(4095), size_t(4096), size_t(5000), size_t(70000)}) {
        const std::string path = dir.path() + "/" + std::string(length, 'n');
        p3dtest::LogCapture log;
        EXPECT_FALSE(CoreUnixPath::FileExistsRead(path.c_str()));
        EXPECT_FALSE(CoreUnixPath::FileDelete(path.c_str()));
        EXPECT_FALSE(CoreUnixPath::FolderDelete(path.c_str()));
        EXPECT_FALSE(CoreUnixPath::MakeSymbolicLinkFromTo(dir.file("file").c_str(), path.c_str()));
        EXPECT_FALSE(CoreUnixPath(path.c_str()).chdir());
        std::string parent;
        EXPECT_TRUE(CoreUnixPath::GetPathParent(path + "/child", parent));
        EXPECT_EQ(parent, path + "/");
    }
}

TEST(LUnixPath, GivesTheSameResultsWithoutReportingMissingNamesOrExtensions)
{
    for (const char* text : {"/p/q/r/", "/a/b.txt", "/p.q/r", "x.JPG", "/", "a", "p/q/r", ""}) {
        std::string a, b;
        EXPECT_EQ(LUnixPath::GetPathParent(text, a), CoreUnixPath::GetPathParent(text, b));
        EXPECT_EQ(a, b);
        EXPECT_EQ(LUnixPath::GetPathJustName(text, a), CoreUnixPath::GetPathJustName(text, b));
        EXPECT_EQ(a, b);
        EXPECT_EQ(LUnixPath::GetPathExtension(text, a), CoreUnixPath::GetPathExtension(text, b));
        EXPECT_EQ(a, b);
    }
    p3dtest::LogCapture log;
    std::string out;
    LUnixPath::GetPathJustName("/", out);
    LUnixPath::GetPathExtension("/noext", out);
    EXPECT_EQ(log.text(), "");

    LUnixPath path("/p/q");
    LUnixPath parent;
    ASSERT_TRUE(path.GetParent(parent));
    EXPECT_STREQ(parent, "/p/");
    std::string base, name;
    ASSERT_TRUE(path.GetFirstPair(base, name));
    ASSERT_TRUE(path.GetNextPair(base, name));
    EXPECT_EQ(base + "|" + name, "/p/|q");
}

} // namespace
