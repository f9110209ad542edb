// Bundles bound at run time: the main bundle is this build tree, the domain folders are the
// suite's temporary ones.
#include <cstdlib>
#include <dlfcn.h>
#include <gnu/libc-version.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CFBaseDLL.h"
#include "CFBundle.h"
#include "CoreResourceBundle.h"
#include "CoreSystem.h"
#include "CoreUnixPath.h"
#include "QFramework.h"
#include "SystemFramework.h"
#include "TestSupport.h"

namespace {

const std::string kComponent = P3D_COMPONENT_PATH; // .../X.component/X.so
const std::string kComponentFolder = kComponent.substr(0, kComponent.rfind('/'));

std::string PathOf(CFURLRef url)
{
    std::string path = "<none>";
    CFBaseDLL::PathFromURL(url, path);
    if (url)
        CFRelease(url);
    return path;
}

std::string DomainFolder(SInt16 domain, OSType type)
{
    char path[PATH_MAX];
    return FolderPathForDomain(domain, type, path, sizeof(path)) ? path : "";
}

// Every test starts without any components folder.
void RemoveComponentsFolders()
{
    for (SInt16 domain : {kUserDomain, kLocalDomain, kSystemDomain})
        p3dtest::RemoveTree(DomainFolder(domain, kQuickTimeComponentsFolderType));
}

void MakeFolders(const std::string& path)
{
    ASSERT_EQ(system(("mkdir -p '" + path + "'").c_str()), 0);
}

CFURLRef URLOf(const std::string& path)
{
    return CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>(path.data()), CFIndex(path.size()), false);
}

TEST(CFBundle, MainBundleIsTheBuildTree)
{
    CFBundleRef main = CFBundleGetMainBundle();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(CFBundleGetMainBundle(), main);
    EXPECT_TRUE(CFBundleIsExecutableLoaded(main));
    EXPECT_EQ(PathOf(CFBundleCopyBundleURL(main)) + "/", std::string(P3D_BINARY_DIR) + "/");
    EXPECT_EQ(PathOf(CFBundleCopyResourcesDirectoryURL(main)),
              std::string(P3D_BINARY_DIR) + "/lib/parallax3d/Resources");
    EXPECT_EQ(
        PathOf(CFBundleCopyResourceURL(main, CFSTR("Parallax3D_XXX"), CFSTR("component"), nullptr)),
        kComponentFolder);
    EXPECT_EQ(CFBundleCopyResourceURL(main, CFSTR("Missing"), CFSTR("component"), nullptr),
              nullptr);
    EXPECT_EQ(CFBundleCopyResourceURL(main, CFSTR("../x"), nullptr, nullptr), nullptr);
    EXPECT_EQ(CFStringCompare(CFBundleGetIdentifier(main), CFSTR("test_bundle"), 0),
              kCFCompareEqualTo);
    EXPECT_NE(CFBundleGetFunctionPointerForName(main, CFSTR("getcwd")), nullptr);
}

TEST(CFBundle, FolderBundlesLoadTheirLibraryAndResolveByName)
{
    CFURLRef url = URLOf(kComponentFolder);
    CFBundleRef bundle = CFBundleCreate(nullptr, url);
    CFRelease(url);
    ASSERT_NE(bundle, nullptr);
    EXPECT_EQ(PathOf(CFBundleCopyExecutableURL(bundle)), kComponent);
    EXPECT_EQ(CFBundleCopyResourcesDirectoryURL(bundle), nullptr); // only the main bundle's
    EXPECT_FALSE(CFBundleIsExecutableLoaded(bundle));
    EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle, CFSTR("__public_fn0")), nullptr);
    ASSERT_TRUE(CFBundleLoadExecutable(bundle));
    EXPECT_NE(CFBundleGetFunctionPointerForName(bundle, CFSTR("__public_fn0")), nullptr);
    EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle, CFSTR("SharedGWorldMemory")), nullptr);
    CFBundleUnloadExecutable(bundle);
    EXPECT_FALSE(CFBundleIsExecutableLoaded(bundle));
    CFRelease(bundle);
}

TEST(CFBundle, WhatCannotLoadSaysWhy)
{
    p3dtest::TempDir dir;
    EXPECT_EQ(CFBundleCreate(nullptr, nullptr), nullptr);
    CFURLRef missing = URLOf(dir.file("Missing.component"));
    EXPECT_EQ(CFBundleCreate(nullptr, missing), nullptr);
    CFRelease(missing);

    const std::string broken = dir.file("Broken.component");
    MakeFolders(broken);
    p3dtest::WriteFile(broken + "/Broken.so", "not a library");
    CFURLRef url = URLOf(broken);
    CFBundleRef bundle = CFBundleCreate(nullptr, url);
    CFRelease(url);
    ASSERT_NE(bundle, nullptr);
    EXPECT_FALSE(CFBundleLoadExecutable(bundle));
    EXPECT_NE(std::string(CFBundleGetLoadErrorText()).find("Broken.so"), std::string::npos);
    CFRelease(bundle);
}

TEST(CFBaseDLL, LocationsMapToTheTreeAndTheDomainFolders)
{
    EXPECT_EQ(PathOf(CFBaseDLL::URLOfNameInLocation(CFSTR("x"), CFBaseDLL::kLocationResources)),
              std::string(P3D_BINARY_DIR) + "/lib/parallax3d/Resources/x");
    std::string program(PATH_MAX, '\0');
    program.resize(size_t(readlink("/proc/self/exe", program.data(), program.size())));
    EXPECT_EQ(
        PathOf(CFBaseDLL::URLOfNameInLocation(CFSTR("x"), CFBaseDLL::kLocationExecutableFolder)),
        program.substr(0, program.rfind('/')) + "/x");
    for (int location : {3, 4, 6, 7})
        EXPECT_EQ(PathOf(CFBaseDLL::URLOfNameInLocation(CFSTR("x"), location))
                      .rfind(std::string(P3D_BINARY_DIR) + "/lib/parallax3d/", 0),
                  0u)
            << location;

    // Domain folders are found but never made.
    RemoveComponentsFolders();
    const std::string user = DomainFolder(kUserDomain, kQuickTimeComponentsFolderType);
    EXPECT_EQ(CFBaseDLL::URLOfNameInLocation(CFSTR("x"), CFBaseDLL::kLocationUserQuickTime),
              nullptr);
    struct stat info;
    EXPECT_NE(stat(user.c_str(), &info), 0);
    MakeFolders(user);
    EXPECT_EQ(PathOf(CFBaseDLL::URLOfNameInLocation(CFSTR("x"), CFBaseDLL::kLocationUserQuickTime)),
              user + "/x");
    MakeFolders(DomainFolder(kLocalDomain, kQuickTimeComponentsFolderType));
    EXPECT_EQ(
        PathOf(CFBaseDLL::URLOfNameInLocation(CFSTR("x"), CFBaseDLL::kLocationLocalQuickTime)),
        DomainFolder(kLocalDomain, kQuickTimeComponentsFolderType) + "/x");
    EXPECT_EQ(PathOf(CFBaseDLL::URLOfNameInFindFolder(CFSTR("x"), kQuickTimeComponentsFolderType,
                                                      kUserDomain, CFSTR("Sub"))),
              user + "/Sub/x");

    EXPECT_EQ(CFBaseDLL::URLOfNameInLocation(CFSTR("x"), 11), nullptr);
    EXPECT_EQ(CFBaseDLL::URLOfNameInLocation(CFSTR("x"), -1), nullptr);
    EXPECT_EQ(CFBaseDLL::URLOfNameInLocation(nullptr, 5), nullptr);
    std::string kept = "kept";
    EXPECT_STREQ(CFBaseDLL::PathFromURL(nullptr, kept), "kept");
}

// Copies of the component in the components folders of the three domains.
class ComponentCopies : public testing::Test
{
protected:
    void SetUp() override { RemoveComponentsFolders(); }

    std::string place(SInt16 domain)
    {
        const std::string folder = DomainFolder(domain, kQuickTimeComponentsFolderType);
        MakeFolders(folder);
        EXPECT_EQ(system(("cp -r '" + kComponentFolder + "' '" + folder + "/'").c_str()), 0);
        return folder + "/Parallax3D_XXX.component";
    }

    static std::string loadedFrom(const I_CFBundleDLL& dll)
    {
        return dll.GetBundle() ? PathOf(CFBundleCopyBundleURL(dll.GetBundle())) : "<none>";
    }
};

TEST_F(ComponentCopies, TheUsersCopyLoadsFirstThenTheSystemsThenTheLocalOne)
{
    const std::string local = place(kLocalDomain);
    T_CFBaseDLL<I_CFBundleDLL> dll(CFSTR("Parallax3D_XXX.component"));
    ASSERT_TRUE(dll.LoadQuickTimeComponentBundle());
    EXPECT_EQ(loadedFrom(dll), local);
    CFBundleRef first = dll.GetBundle();
    EXPECT_TRUE(dll.LoadQuickTimeComponentBundle()); // loaded: no second bundle
    EXPECT_EQ(dll.GetBundle(), first);

    const std::string system = place(kSystemDomain);
    const std::string user = place(kUserDomain);
    ASSERT_TRUE(dll.Unload());
    EXPECT_FALSE(dll.Unload());
    ASSERT_TRUE(dll.LoadQuickTimeComponentBundle());
    EXPECT_EQ(loadedFrom(dll), user);

    Boolean result = true;
    EXPECT_TRUE(dll.Call(CFSTR("__public_fn3"), &result, static_cast<void*>(nullptr)));
    EXPECT_FALSE(result);
    EXPECT_FALSE(dll.Call(CFSTR("__public_fn9"), &result, static_cast<void*>(nullptr)));
}

TEST_F(ComponentCopies, ABrokenCopyIsPassedOverAndReportedOnce)
{
    const std::string user = DomainFolder(kUserDomain, kQuickTimeComponentsFolderType);
    MakeFolders(user + "/Parallax3D_XXX.component");
    p3dtest::WriteFile(user + "/Parallax3D_XXX.component/Parallax3D_XXX.so", "garbage");
    const std::string system = place(kSystemDomain);

    p3dtest::LogCapture log;
    T_CFBaseDLL<I_CFBundleDLL> dll(CFSTR("Parallax3D_XXX.component"));
    ASSERT_TRUE(dll.LoadQuickTimeComponentBundle());
    EXPECT_EQ(loadedFrom(dll), system);
    dll.Unload();
    ASSERT_TRUE(dll.LoadQuickTimeComponentBundle());
    const std::string text = log.text();
    const size_t first =
        text.find("LoadFromURL: " + user + "/Parallax3D_XXX.component does not load");
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_EQ(text.find("LoadFromURL:", first + 1), std::string::npos) << text;

    T_CFBaseDLL<I_CFBundleDLL> nothing;
    EXPECT_FALSE(nothing.LoadQuickTimeComponentBundle());
    EXPECT_FALSE(nothing.Call<Boolean>(CFSTR("__public_fn0"), nullptr));
}

TEST(SystemFramework, CallsTheCLibraryFoundInTheSystemFrameworksFolder)
{
    // Not there yet: the calls take their failure results.
    char buffer[PATH_MAX];
    EXPECT_EQ(SystemFramework::getcwd(buffer, sizeof(buffer)), nullptr);
    EXPECT_EQ(SystemFramework::chdir("/"), -1);

    Dl_info info;
    // A C library function that sanitizers do not wrap, so it leads to the library itself.
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&gnu_get_libc_version), &info), 0);
    const std::string frameworks = DomainFolder(kSystemDomain, kFrameworksFolderType);
    MakeFolders(frameworks);
    ASSERT_EQ(symlink(info.dli_fname, (frameworks + "/libc.so.6").c_str()), 0);

    ASSERT_EQ(SystemFramework::getcwd(buffer, sizeof(buffer)), buffer);
    char expected[PATH_MAX];
    ASSERT_NE(::getcwd(expected, sizeof(expected)), nullptr);
    EXPECT_STREQ(buffer, expected);
    const std::string before = buffer;
    EXPECT_EQ(SystemFramework::chdir("/"), 0);
    EXPECT_STREQ(SystemFramework::getcwd(buffer, sizeof(buffer)), "/");
    EXPECT_EQ(SystemFramework::chdir(before.c_str()), 0);
    void* page = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    EXPECT_EQ(SystemFramework::mprotect(page, 4096, PROT_READ), 0);
    munmap(page, 4096);

    p3dtest::LogCapture log;
    EXPECT_EQ(SystemFramework::chdir(nullptr), -1);
    EXPECT_NE(log.text().find(" code : in_utf8_path_string in "), std::string::npos);
}

TEST(QFramework, WithoutTheFrameworkEveryWrapperFails)
{
    p3dtest::LogCapture log;
    TimeValue64 time = 7, duration = 7;
    EXPECT_FALSE(QFramework::SampleNumToMediaDecodeTime(nullptr, 1, &time, &duration));
    EXPECT_EQ(time, 7);
    FSRef ref = {};
    Handle data = nullptr;
    OSType type = 0;
    EXPECT_EQ(QFramework::NewDataReferenceFromFSRefCFString(&ref, CFSTR("x"), 0, &data, &type),
              paramErr);
    EXPECT_EQ(QFramework::NewDataReferenceFromFSRef(&ref, 0, &data, &type), paramErr);
    EXPECT_EQ(data, nullptr);
    const std::string text = log.text();
    EXPECT_NE(text.find(" code : sQuickTime.LoadSystemFramework() in "), std::string::npos);
    EXPECT_NE(text.find(" code : sQuickTime.IsLoaded() in "), std::string::npos);
}

TEST(CoreSystem, VersionsFromKernelReleases)
{
    EXPECT_EQ(CoreSystem::VersionFromRelease("6.1.0-18-amd64"), 0x0610u);
    EXPECT_EQ(CoreSystem::VersionFromRelease("5.10.209"), 0x05AFu);
    EXPECT_EQ(CoreSystem::VersionFromRelease("4"), 0x0400u);
    EXPECT_EQ(CoreSystem::VersionFromRelease("garbage"), 0u);
    EXPECT_EQ(CoreSystem::VersionFromRelease(nullptr), 0u);
    const UInt32 version = CoreSystem::GetVersion();
    EXPECT_GT(version, 0x0300u);
    EXPECT_EQ(CoreSystem::IsAtLeast(CoreSystemName(version)), true);
    EXPECT_EQ(CoreSystem::IsEarlier(CoreSystemName(version + 0x10)), true);
    EXPECT_EQ(CoreSystem::IsEarlierThanRevision(CoreSystemName(version)), false);
}

// Installing links the copy in this tree's resources into a components folder.
class ResourceInstall : public testing::Test
{
protected:
    void SetUp() override
    {
        RemoveComponentsFolders();
        user = DomainFolder(kUserDomain, kQuickTimeComponentsFolderType);
        MakeFolders(user);
        target = user + "/Parallax3D_XXX.component";
    }

    bool install(int action)
    {
        return bundle.InstallLocation(action, CFBaseDLL::kLocationUserQuickTime);
    }

    CoreResourceBundle bundle{CFSTR("Parallax3D_XXX.component"), "Parallax3D_XXX"};
    std::string user;
    std::string target;
};

TEST_F(ResourceInstall, InstallLinksAndUninstallUnlinks)
{
    ASSERT_TRUE(install(CoreResourceBundle::Install));
    char linked[PATH_MAX] = {};
    ASSERT_GT(readlink(target.c_str(), linked, sizeof(linked) - 1), 0);
    EXPECT_EQ(std::string(linked), kComponentFolder);
    EXPECT_FALSE(install(CoreResourceBundle::Install)); // there already: left alone

    ASSERT_TRUE(bundle.mDLL.LoadQuickTimeComponentBundle(CFSTR("Parallax3D_XXX.component")));
    ASSERT_TRUE(install(CoreResourceBundle::UnInstall));
    EXPECT_FALSE(bundle.mDLL.IsLoaded()); // unloaded first
    struct stat info;
    EXPECT_NE(lstat(target.c_str(), &info), 0);
    EXPECT_TRUE(CoreUnixPath::FileExists(kComponentFolder.c_str()));
    EXPECT_FALSE(install(CoreResourceBundle::UnInstall)); // nothing installed

    // Uninstalling unloads this process's copy even when there is no link to remove.
    CFURLRef resource = CFBaseDLL::URLOfNameInLocation(CFSTR("Parallax3D_XXX.component"),
                                                       CFBaseDLL::kLocationResources);
    ASSERT_TRUE(bundle.mDLL.LoadFromURL(resource));
    CFRelease(resource);
    EXPECT_FALSE(install(CoreResourceBundle::UnInstall));
    EXPECT_FALSE(bundle.mDLL.IsLoaded());
}

TEST_F(ResourceInstall, NothingThatIsNotOursIsRemovedOrReplaced)
{
    p3dtest::LogCapture log;
    // A real folder stays.
    MakeFolders(target);
    EXPECT_FALSE(install(CoreResourceBundle::UnInstall));
    EXPECT_TRUE(CoreUnixPath::FileExists(target.c_str()));
    ASSERT_EQ(rmdir(target.c_str()), 0);

    // So does a link of somebody else's.
    p3dtest::TempDir dir;
    MakeFolders(dir.file("Other.component"));
    ASSERT_EQ(symlink(dir.file("Other.component").c_str(), target.c_str()), 0);
    EXPECT_FALSE(install(CoreResourceBundle::UnInstall));
    EXPECT_FALSE(install(CoreResourceBundle::Install));
    char linked[PATH_MAX] = {};
    ASSERT_GT(readlink(target.c_str(), linked, sizeof(linked) - 1), 0);
    EXPECT_EQ(std::string(linked), dir.file("Other.component"));
    ASSERT_EQ(unlink(target.c_str()), 0);

    // A dangling link is not followed, replaced or removed.
    ASSERT_EQ(symlink(dir.file("gone").c_str(), target.c_str()), 0);
    EXPECT_FALSE(install(CoreResourceBundle::Install));
    EXPECT_FALSE(install(CoreResourceBundle::UnInstall));
    ASSERT_GT(readlink(target.c_str(), linked, sizeof(linked) - 1), 0);

    // No such resource, or no names at all.
    EXPECT_FALSE(CoreResourceBundle::InstallBaseFileNameLocation(
        "Missing", CFSTR("Missing.component"), CoreResourceBundle::Install,
        CFBaseDLL::kLocationUserQuickTime));
    EXPECT_FALSE(CoreResourceBundle::InstallBaseFileNameLocation(
        nullptr, CFSTR("x"), CoreResourceBundle::Install, CFBaseDLL::kLocationUserQuickTime));
    EXPECT_FALSE(CoreResourceBundle::InstallBaseFileNameLocation(
        "Parallax3D_XXX", nullptr, CoreResourceBundle::Install, CFBaseDLL::kLocationUserQuickTime));
    EXPECT_NE(log.text().find(" code : IsLinkTo(target.c_str(), source.c_str()) in "),
              std::string::npos);
}

} // namespace
