#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

#include "Folders.h"
#include "TestSupport.h"

namespace {

using p3dtest::ScopedEnv;

std::string PathOf(SInt16 domain, OSType type)
{
    char path[PATH_MAX];
    return FolderPathForDomain(domain, type, path, sizeof(path)) ? path : "<none>";
}

TEST(Folders, DomainFoldersFollowTheEnvironment)
{
    ScopedEnv data("XDG_DATA_HOME", "/x/data");
    ScopedEnv state("XDG_STATE_HOME", "/x/state");
    ScopedEnv local("PARALLAX3D_LOCAL_DOMAIN", "/x/local");
    ScopedEnv system("PARALLAX3D_SYSTEM_DOMAIN", "/x/sys");
    EXPECT_EQ(PathOf(kUserDomain, kQuickTimeComponentsFolderType), "/x/data/parallax3d/Components");
    EXPECT_EQ(PathOf(kLocalDomain, kQuickTimeComponentsFolderType),
              "/x/local/lib/parallax3d/Components");
    EXPECT_EQ(PathOf(kSystemDomain, kQuickTimeComponentsFolderType),
              "/x/sys/lib/parallax3d/Components");
    EXPECT_EQ(PathOf(kUserDomain, kLogsFolderType), "/x/state/parallax3d/Logs");
    EXPECT_EQ(PathOf(kLocalDomain, kFrameworksFolderType), "/x/local/lib");
    EXPECT_EQ(PathOf(kSystemDomain, kFrameworksFolderType).rfind("/x/sys/lib", 0), 0u);
    // No such folder in these domains.
    EXPECT_EQ(PathOf(kUserDomain, kFrameworksFolderType), "<none>");
    EXPECT_EQ(PathOf(kLocalDomain, kLogsFolderType), "<none>");
    EXPECT_EQ(PathOf(0, kLogsFolderType), "<none>");
    EXPECT_EQ(PathOf(kUserDomain, FourCC("what")), "<none>");
}

TEST(Folders, DefaultsAndRelativeValuesFallBackToHomeAndUsr)
{
    ScopedEnv home("HOME", "/h");
    ScopedEnv data("XDG_DATA_HOME", nullptr);
    ScopedEnv state("XDG_STATE_HOME", "relative/state"); // ignored: not absolute
    ScopedEnv local("PARALLAX3D_LOCAL_DOMAIN", "");
    ScopedEnv system("PARALLAX3D_SYSTEM_DOMAIN", nullptr);
    EXPECT_EQ(PathOf(kUserDomain, kQuickTimeComponentsFolderType),
              "/h/.local/share/parallax3d/Components");
    EXPECT_EQ(PathOf(kUserDomain, kLogsFolderType), "/h/.local/state/parallax3d/Logs");
    EXPECT_EQ(PathOf(kLocalDomain, kQuickTimeComponentsFolderType),
              "/usr/local/lib/parallax3d/Components");
    EXPECT_EQ(PathOf(kSystemDomain, kQuickTimeComponentsFolderType),
              "/usr/lib/parallax3d/Components");
}

TEST(Folders, FindFolderCreatesOnlyWhenAsked)
{
    p3dtest::TempDir dir;
    ScopedEnv data("XDG_DATA_HOME", (dir.path() + "/data").c_str());
    const std::string components = dir.path() + "/data/parallax3d/Components";
    FSRef ref;
    EXPECT_EQ(FSFindFolder(kUserDomain, kQuickTimeComponentsFolderType, kDontCreateFolder, &ref),
              fnfErr);
    struct stat info;
    EXPECT_NE(stat(components.c_str(), &info), 0);

    ASSERT_EQ(FSFindFolder(kUserDomain, kQuickTimeComponentsFolderType, kCreateFolder, &ref),
              noErr);
    EXPECT_EQ(std::string(ref.path), components);
    ASSERT_EQ(stat(components.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0077, 0u); // the user's own folders are private
    EXPECT_TRUE(FSRefExists(&ref));
    EXPECT_TRUE(FSRefIsDirectory(&ref));

    EXPECT_EQ(FSFindFolder(kUserDomain, kQuickTimeComponentsFolderType, kDontCreateFolder, &ref),
              noErr);
    EXPECT_EQ(FSFindFolder(kUserDomain, kFrameworksFolderType, kCreateFolder, &ref), paramErr);
    EXPECT_EQ(FSFindFolder(kUserDomain, kLogsFolderType, kCreateFolder, nullptr), paramErr);
}

TEST(Folders, FindFolderRefusesWhatCannotBeAFolder)
{
    p3dtest::TempDir dir;
    p3dtest::WriteFile(dir.file("file"), "x");
    ScopedEnv data("XDG_DATA_HOME", (dir.file("file") + "/data").c_str());
    FSRef ref;
    EXPECT_EQ(FSFindFolder(kUserDomain, kQuickTimeComponentsFolderType, kCreateFolder, &ref),
              ioErr);

    ScopedEnv state("XDG_STATE_HOME", dir.path().c_str());
    ASSERT_EQ(mkdir(dir.file("parallax3d").c_str(), 0700), 0);
    p3dtest::WriteFile(dir.file("parallax3d/Logs"), "x");
    EXPECT_EQ(FSFindFolder(kUserDomain, kLogsFolderType, kCreateFolder, &ref), dirNFErr);

    const std::string longPath = "/" + std::string(PATH_MAX, 'd');
    ScopedEnv tooLong("XDG_DATA_HOME", longPath.c_str());
    EXPECT_EQ(FSFindFolder(kUserDomain, kQuickTimeComponentsFolderType, kCreateFolder, &ref),
              paramErr);
}

TEST(Folders, ReferencesAndURLs)
{
    p3dtest::TempDir dir;
    FSRef ref;
    Boolean isDirectory = false;
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(dir.path().c_str()), &ref, &isDirectory),
              noErr);
    EXPECT_TRUE(isDirectory);
    EXPECT_EQ(
        FSPathMakeRef(reinterpret_cast<const UInt8*>(dir.file("none").c_str()), &ref, nullptr),
        fnfErr);
    EXPECT_FALSE(FSRefExists(&ref));

    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(dir.path().c_str()), &ref, nullptr),
              noErr);
    UInt8 small[4];
    EXPECT_EQ(FSRefMakePath(&ref, small, sizeof(small)), paramErr);
    UInt8 path[PATH_MAX];
    ASSERT_EQ(FSRefMakePath(&ref, path, sizeof(path)), noErr);

    CFURLRef url = CFURLCreateFromFSRef(nullptr, &ref);
    ASSERT_NE(url, nullptr);
    EXPECT_TRUE(CFURLHasDirectoryPath(url));
    FSRef back;
    ASSERT_TRUE(CFURLGetFSRef(url, &back));
    EXPECT_STREQ(back.path, ref.path);
    CFRelease(url);

    FSRef missing = {};
    EXPECT_EQ(CFURLCreateFromFSRef(nullptr, &missing), nullptr);
    EXPECT_FALSE(CFURLGetFSRef(nullptr, &back));
}

} // namespace
