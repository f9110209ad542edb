// The client finds the component in the components folders of the suite's temporary domains,
// loads it, and calls it by name; the channel itself lives in a private /tmp and /dev/shm.
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "CFBundle.h"
#include "ChannelFrames.h"
#include "ChannelNamespace.h"
#include "ChannelReset.h"
#include "Folders.h"
#include "TestSupport.h"
#include "shared_camera_bundle.h"

using p3dtest::Child;

namespace {

const std::string kComponent = P3D_COMPONENT_PATH;
const std::string kComponentFolder = kComponent.substr(0, kComponent.rfind('/'));
const int kTimeoutMs = 20000;

bool IsFolder(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

class SharedCameraBundleTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!p3dtest::InPrivateChannelNamespace())
            GTEST_SKIP() << p3dtest::PrivateChannelNamespaceError();
        // Each test starts with nothing loaded and no components folder anywhere.
        SharedCameraBundle::sComponent.mDLL.Unload();
        for (SInt16 domain : {kUserDomain, kLocalDomain, kSystemDomain})
            p3dtest::RemoveTree(p3dtest::ComponentsFolder(domain));
    }

    // A copy of the component in a domain's components folder.
    std::string place(SInt16 domain, const std::string& from = kComponentFolder)
    {
        const std::string folder = p3dtest::ComponentsFolder(domain);
        EXPECT_EQ(system(("mkdir -p '" + folder + "' && cp -r '" + from + "' '" + folder +
                          "/Parallax3D_XXX.component'")
                             .c_str()),
                  0);
        return folder + "/Parallax3D_XXX.component";
    }

    // A bundle folder in the user's components folder holding the given file as its library.
    std::string placeUserBundleWith(const std::string& library)
    {
        const std::string bundle =
            p3dtest::ComponentsFolder(kUserDomain) + "/Parallax3D_XXX.component";
        EXPECT_EQ(system(("mkdir -p '" + bundle + "'").c_str()), 0);
        if (!library.empty()) {
            EXPECT_EQ(system(("cp '" + library + "' '" + bundle + "/Parallax3D_XXX.so'").c_str()),
                      0);
        }
        return bundle;
    }

    static std::string loadedFrom()
    {
        CFBundleRef bundle = SharedCameraBundle::sComponent.mDLL.GetBundle();
        if (!bundle || !SharedCameraBundle::sComponent.mDLL.IsLoaded())
            return "<none>";
        std::string path;
        CFURLRef url = CFBundleCopyBundleURL(bundle);
        CFBaseDLL::PathFromURL(url, path);
        CFRelease(url);
        if (path.size() > 1 && path.back() == '/')
            path.pop_back();
        return path;
    }

    static bool describeBuffer0()
    {
        SHARED_CAMERA_BUFFER record = p3dtest::ComponentExports::Record();
        return SharedCameraBundle::GetWriteableFrameBuffer_N(0, &record);
    }
};

TEST_F(SharedCameraBundleTest, TheUsersCopyWinsOverTheSystems)
{
    const std::string system = place(kSystemDomain);
    // Installed in the system's folder already: installing answers true and links nothing.
    ASSERT_TRUE(SharedCameraBundle::sComponent.InstallLocation(CoreResourceBundle::Install,
                                                               CFBaseDLL::kLocationUserQuickTime));
    struct stat info;
    EXPECT_NE(lstat((p3dtest::ComponentsFolder(kUserDomain) + "/Parallax3D_XXX.component").c_str(),
                    &info),
              0);
    const std::string user = place(kUserDomain);
    ASSERT_TRUE(describeBuffer0());
    EXPECT_EQ(loadedFrom(), user);
    EXPECT_TRUE(SharedCameraBundle::sComponent.AlreadyInstalledSomewhere());
}

TEST_F(SharedCameraBundleTest, ALocalCopyLoadsButDoesNotCountAsInstalled)
{
    const std::string local = place(kLocalDomain);
    ASSERT_TRUE(describeBuffer0());
    EXPECT_EQ(loadedFrom(), local);
    EXPECT_FALSE(SharedCameraBundle::sComponent.AlreadyInstalledSomewhere());
    // So the application links a copy for the user.
    ASSERT_TRUE(SharedCameraBundle::sComponent.InstallLocation(CoreResourceBundle::Install,
                                                               CFBaseDLL::kLocationUserQuickTime));
    EXPECT_TRUE(SharedCameraBundle::sComponent.AlreadyInstalledSomewhere());
}

TEST_F(SharedCameraBundleTest, WithNoCopyAnywhereEveryWrapperFailsAndTouchesNothing)
{
    SHARED_CAMERA_BUFFER record;
    memset(&record, 0xA5, sizeof(record));
    const SHARED_CAMERA_BUFFER before = record;
    EXPECT_FALSE(SharedCameraBundle::GetCurrentReadBuffer(&record));
    EXPECT_FALSE(SharedCameraBundle::GetWriteableFrameBuffer_N(0, &record));
    EXPECT_EQ(memcmp(&record, &before, sizeof(record)), 0);
    SHARED_CAMERA_CONTROL control = {8, 1, 0};
    EXPECT_FALSE(SharedCameraBundle::SetCameraControl(&control));
    EXPECT_FALSE(SharedCameraBundle::SetCurrentReadBuffer(nullptr));
    EXPECT_FALSE(SharedCameraBundle::LockFrameBuffer(&record));
    EXPECT_FALSE(SharedCameraBundle::UnLockFrameBuffer(&record));

    const std::string user = p3dtest::ComponentsFolder(kUserDomain);
    ASSERT_FALSE(IsFolder(user));
    EXPECT_FALSE(SharedCameraBundle::sComponent.AlreadyInstalledSomewhere());
    EXPECT_TRUE(IsFolder(user)); // made on the way
}

TEST_F(SharedCameraBundleTest, UninstallUnloadsAndTheNextCallLoadsWhateverIsFound)
{
    ASSERT_TRUE(SharedCameraBundle::sComponent.InstallLocation(CoreResourceBundle::Install,
                                                               CFBaseDLL::kLocationUserQuickTime));
    const std::string link = p3dtest::ComponentsFolder(kUserDomain) + "/Parallax3D_XXX.component";
    ASSERT_TRUE(describeBuffer0());
    EXPECT_EQ(loadedFrom(), link);

    const std::string system = place(kSystemDomain);
    ASSERT_TRUE(SharedCameraBundle::sComponent.InstallLocation(CoreResourceBundle::UnInstall,
                                                               CFBaseDLL::kLocationUserQuickTime));
    EXPECT_FALSE(SharedCameraBundle::sComponent.mDLL.IsLoaded());
    struct stat info;
    EXPECT_NE(lstat(link.c_str(), &info), 0);
    int local = 0;
    EXPECT_FALSE(SharedCameraBundle::LockFrameBuffer(&local)); // not a buffer, but it loads
    EXPECT_EQ(loadedFrom(), system);
}

TEST_F(SharedCameraBundleTest, BrokenCopiesArePassedOver)
{
    p3dtest::TempDir dir;
    const std::string garbage = dir.file("garbage.so");
    p3dtest::WriteFile(garbage, "not a library");
    const std::string system = place(kSystemDomain);

    // A bundle folder without its library, then one whose library is not one.
    const std::string user = placeUserBundleWith("");
    p3dtest::LogCapture log;
    ASSERT_TRUE(describeBuffer0());
    EXPECT_EQ(loadedFrom(), system);
    SharedCameraBundle::sComponent.mDLL.Unload();
    placeUserBundleWith(garbage);
    ASSERT_TRUE(describeBuffer0());
    EXPECT_EQ(loadedFrom(), system);
    EXPECT_NE(log.text().find("does not load"), std::string::npos);

    // A library that loads but has none of the functions is kept, and every call fails.
    SharedCameraBundle::sComponent.mDLL.Unload();
    placeUserBundleWith(P3D_EMPTY_LIBRARY_PATH);
    EXPECT_FALSE(describeBuffer0());
    EXPECT_EQ(loadedFrom(), user);
    EXPECT_TRUE(IsFolder(system)); // nothing of anybody's was removed
}

TEST_F(SharedCameraBundleTest, DanglingLinksFilesAndOverlongPathsAreRefused)
{
    const std::string user = p3dtest::ComponentsFolder(kUserDomain);
    ASSERT_EQ(system(("mkdir -p '" + user + "'").c_str()), 0);
    ASSERT_EQ(symlink("/nonexistent/Parallax3D_XXX.component",
                      (user + "/Parallax3D_XXX.component").c_str()),
              0);
    EXPECT_FALSE(describeBuffer0());
    EXPECT_FALSE(SharedCameraBundle::sComponent.AlreadyInstalledSomewhere());
    EXPECT_FALSE(SharedCameraBundle::sComponent.InstallLocation(CoreResourceBundle::Install,
                                                                CFBaseDLL::kLocationUserQuickTime));
    struct stat info;
    EXPECT_EQ(lstat((user + "/Parallax3D_XXX.component").c_str(), &info), 0); // still there

    // The user's components folder is a file.
    p3dtest::TempDir dir;
    const std::string saved = getenv("XDG_DATA_HOME");
    ASSERT_EQ(system(("mkdir -p '" + dir.path() + "/parallax3d'").c_str()), 0);
    p3dtest::WriteFile(dir.path() + "/parallax3d/Components", "a file");
    setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
    EXPECT_FALSE(describeBuffer0());
    EXPECT_FALSE(SharedCameraBundle::sComponent.AlreadyInstalledSomewhere());
    EXPECT_FALSE(SharedCameraBundle::sComponent.InstallLocation(CoreResourceBundle::Install,
                                                                CFBaseDLL::kLocationUserQuickTime));
    EXPECT_EQ(p3dtest::ReadFile(dir.path() + "/parallax3d/Components"), "a file");

    for (size_t length : {size_t(4096), size_t(5000), size_t(70000)}) {
        setenv("XDG_DATA_HOME", ("/" + std::string(length, 'd')).c_str(), 1);
        EXPECT_FALSE(describeBuffer0());
        EXPECT_FALSE(SharedCameraBundle::sComponent.AlreadyInstalledSomewhere());
    }
    setenv("XDG_DATA_HOME", saved.c_str(), 1);
}

// The application's side and the plug-in's side each load their own copy through the client.
TEST_F(SharedCameraBundleTest, AWriterAndAReaderExchangeFramesThroughTheClient)
{
    ASSERT_TRUE(SharedCameraBundle::sComponent.InstallLocation(CoreResourceBundle::Install,
                                                               CFBaseDLL::kLocationUserQuickTime));
    Child writer({CLIENT_HELPER_PATH, "write-frames", "2500"});
    Child reader({CLIENT_HELPER_PATH, "read-frames", "2000"});
    ASSERT_EQ(reader.wait(kTimeoutMs), 0) << reader.out() << reader.err();
    unsigned frames = 0, torn = 1, backwards = 1;
    ASSERT_EQ(
        sscanf(reader.out().c_str(), "read %u torn %u backwards %u", &frames, &torn, &backwards),
        3);
    EXPECT_GT(frames, 0u);
    EXPECT_EQ(torn, 0u);
    EXPECT_EQ(writer.wait(kTimeoutMs), 0) << writer.out() << writer.err();
}

} // namespace
