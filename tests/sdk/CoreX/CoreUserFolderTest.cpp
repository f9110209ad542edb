#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

#include "CoreUserFolder.h"
#include "TestSupport.h"

namespace {

// Points the user's data folder at a fresh place for one test.
class CoreUserFolderTest : public testing::Test
{
protected:
    void SetUp() override
    {
        mSaved = getenv("XDG_DATA_HOME");
        setenv("XDG_DATA_HOME", (dir.path() + "/data").c_str(), 1);
    }
    void TearDown() override { setenv("XDG_DATA_HOME", mSaved.c_str(), 1); }

    std::string components() const { return dir.path() + "/data/parallax3d/Components"; }

    p3dtest::TempDir dir;
    std::string mSaved;
};

bool IsFolder(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

TEST_F(CoreUserFolderTest, ConstructingCreatesTheUsersComponentsFolder)
{
    ASSERT_FALSE(IsFolder(components()));
    CoreUserFolder folder(kQuickTimeComponentsFolderType, kUserDomain);
    EXPECT_TRUE(IsFolder(components()));

    CoreUnixPath path;
    ASSERT_TRUE(folder.GetUnixPath(path));
    EXPECT_EQ(path.GetPath(), components());
    CFURLRef url = folder.GetURLRef();
    ASSERT_NE(url, nullptr);
    EXPECT_TRUE(CFURLHasDirectoryPath(url));
    CFRelease(url);
}

TEST_F(CoreUserFolderTest, SubfolderIsCreatedInsideTheFoundFolder)
{
    CoreUserFolder folder("Cache", kQuickTimeComponentsFolderType, kUserDomain);
    EXPECT_TRUE(IsFolder(components() + "/Cache"));
    FSRef ref;
    ASSERT_TRUE(folder.GetFileRef(ref));
    char resolved[PATH_MAX];
    ASSERT_NE(realpath((components() + "/Cache").c_str(), resolved), nullptr);
    EXPECT_STREQ(ref.path, resolved);
}

TEST_F(CoreUserFolderTest, FailuresAreReportedAndAnswerFalse)
{
    p3dtest::LogCapture log;
    // A file where the subfolder should be cannot become a folder.
    ASSERT_EQ(system(("mkdir -p '" + components() + "'").c_str()), 0);
    p3dtest::WriteFile(components() + "/Blocked", "file");
    CoreUserFolder blocked("Blocked", kQuickTimeComponentsFolderType, kUserDomain);
    FSRef ref;
    EXPECT_FALSE(blocked.GetFileRef(ref));
    EXPECT_EQ(blocked.GetURLRef(), nullptr);
    CoreUnixPath path;
    EXPECT_FALSE(blocked.GetUnixPath(path));

    CoreUserFolder badName("../escape", kQuickTimeComponentsFolderType, kUserDomain);
    EXPECT_FALSE(badName.GetFileRef(ref));
    CoreUserFolder noSuchFolder(kFrameworksFolderType, kUserDomain);
    EXPECT_FALSE(noSuchFolder.GetFileRef(ref));

    const std::string text = log.text();
    EXPECT_NE(text.find(" code : nestedFolder.CreateFolder() in "), std::string::npos);
    EXPECT_NE(text.find(" code : nestedFolder.Construct(&foundFolderRef, inSubFolderName) in "),
              std::string::npos);
    EXPECT_NE(text.find("OSErr:-50  code : FSFindFolder(inFindFolderDomain, "
                        "inFindFolderLocation, kCreateFolder, &foundFolderRef) in "),
              std::string::npos);
    EXPECT_NE(text.find(" code : GetFileRef(foundFolderRef) in "), std::string::npos);
    EXPECT_NE(text.find(" code : urlRef in "), std::string::npos);
}

} // namespace
