// The README's quick start, typed in order from the build tree, as far as this machine allows:
// steps that load a kernel module or need its device are checked, not run.
#include <chrono>
#include <csignal>
#include <glob.h>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>

#include "ChannelNamespace.h"
#include "TestSupport.h"

using p3dtest::Child;

namespace {

constexpr size_t kYUYVFrameBytes = 640 * 480 * 2;

// The commands of the first sh block after "## Quick start", comments and "&" taken off.
std::vector<std::string> QuickStart(const std::string& readme)
{
    std::vector<std::string> steps;
    const size_t section = readme.find("\n## Quick start\n");
    const size_t begin = readme.find("```sh\n", section);
    const size_t end = readme.find("```\n", begin + 6);
    if (section == std::string::npos || begin == std::string::npos || end == std::string::npos)
        return steps;
    std::istringstream lines(readme.substr(begin + 6, end - begin - 6));
    for (std::string line; std::getline(lines, line);) {
        line = line.substr(0, line.find(" #"));
        while (!line.empty() && (line.back() == ' ' || line.back() == '&'))
            line.pop_back();
        if (!line.empty())
            steps.push_back(line);
    }
    return steps;
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// A v4l2loopback node this test may write to, as the module's options make it.
bool LoopbackDevice(const std::string& node)
{
    Child info({"/usr/bin/v4l2-ctl", "-d", node, "--info"});
    return info.wait(5000) == 0 && info.out().find("v4l2 loopback") != std::string::npos;
}

bool AptKnowsPackages()
{
    glob_t lists{};
    const bool known = glob("/var/lib/apt/lists/*_Packages*", 0, nullptr, &lists) == 0;
    globfree(&lists);
    return known;
}

TEST(QuickStart, TheReadmesStepsWorkInOrderFromTheBuildTree)
{
    if (!p3dtest::InPrivateChannelNamespace())
        GTEST_SKIP() << p3dtest::PrivateChannelNamespaceError();
    const std::vector<std::string> steps =
        QuickStart(p3dtest::ReadFile(std::string(P3D_SOURCE_DIR) + "/README.md"));
    ASSERT_GE(steps.size(), 5u) << "no quick start in the README";

    p3dtest::TempDir home;
    const std::string build = P3D_BINARY_DIR, frames = home.file("frames.yuyv");
    const bool loopback = LoopbackDevice("/dev/video10");
    const std::vector<std::string> env = {"DISPLAY=",
                                          "WAYLAND_DISPLAY=",
                                          "QT_QPA_PLATFORM=",
                                          "HOME=" + home.path(),
                                          "XDG_CONFIG_HOME=" + home.file("config"),
                                          "XDG_DATA_HOME=" + home.file("data"),
                                          "PARALLAX3D_TEST_CAMERAS=1",
                                          "BUILD=" + build};
    const std::string settings = home.file("config/Parallax3D/Parallax3D.conf");
    mkdir(home.file("config").c_str(), 0700);
    mkdir(home.file("config/Parallax3D").c_str(), 0700);
    p3dtest::WriteFile(settings, "[General]\n_rebroadcastButton=0\n");
    std::unique_ptr<Child> app;

    for (const std::string& step : steps) {
        SCOPED_TRACE(step);
        if (step == "make run") {
            // What make run runs once the tree is built; a headless run's switches are not kept.
            Child run({std::string(P3D_SOURCE_DIR) + "/scripts/run.sh", "--quit-after", "2"}, env);
            EXPECT_EQ(run.wait(60000), 0) << run.err();
            EXPECT_NE(p3dtest::ReadFile(settings).find("_rebroadcastButton=0\n"),
                      std::string::npos);
        } else if (step == "build/bin/parallax3d-cameras list") {
            Child list({build + "/bin/parallax3d-cameras", "list"}, env);
            EXPECT_EQ(list.wait(30000), 0) << list.err();
            EXPECT_NE(list.out().find("camera \"Parallax3D Test Pattern: Left Eye\""),
                      std::string::npos)
                << list.out();
        } else if (StartsWith(step, "sudo apt-get install ")) {
            // Debian's names, where this machine knows Debian's packages.
            std::istringstream names(step.substr(21));
            for (std::string name; names >> name && AptKnowsPackages();) {
                Child show({"/usr/bin/apt-cache", "show", "-q", name});
                EXPECT_EQ(show.wait(30000), 0) << name;
            }
        } else if (StartsWith(step, "sudo modprobe v4l2loopback ")) {
            // The options the package loads the module with at boot.
            const std::string conf =
                p3dtest::ReadFile(std::string(P3D_SOURCE_DIR) + "/packaging/modules/modprobe.conf");
            EXPECT_NE(conf.find("\noptions v4l2loopback " + step.substr(27) + "\n"),
                      std::string::npos)
                << conf;
        } else if (step == "v4l2-ctl --list-devices") {
            if (!loopback)
                continue;
            Child list({"/usr/bin/v4l2-ctl", "--list-devices"});
            EXPECT_EQ(list.wait(5000), 0);
            EXPECT_NE(list.out().find("Parallax3D"), std::string::npos) << list.out();
        } else if (step == "build/bin/parallax3d --broadcast") {
            app = std::make_unique<Child>(
                std::vector<std::string>{build + "/bin/parallax3d", "--broadcast"}, env);
            // A person types the next line after the window shows, broadcasting.
            const std::string link =
                home.file("data/parallax3d/Components/Parallax3D_XXX.component");
            for (int i = 0; i < 3000 && app->running() && !p3dtest::PathExists(link); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ASSERT_TRUE(p3dtest::PathExists(link)) << app->err();
        } else if (step == "build/bin/parallax3d-vcam --device /dev/video10") {
            std::vector<std::string> args = {build + "/bin/parallax3d-vcam"};
            if (loopback)
                args.insert(args.end(), {"--device", "/dev/video10", "--frames", "60"});
            else
                args.insert(args.end(), {"--output", frames, "--frames", "60"});
            Child vcam(args, env);
            ASSERT_EQ(vcam.wait(30000), 0) << vcam.err();
            if (loopback)
                continue;
            // Live frames, not the picture it shows while nothing is broadcast.
            const std::string written = p3dtest::ReadFile(frames);
            ASSERT_EQ(written.size(), 60 * kYUYVFrameBytes);
            EXPECT_NE(written.substr(10 * kYUYVFrameBytes, kYUYVFrameBytes),
                      written.substr(59 * kYUYVFrameBytes, kYUYVFrameBytes));
        } else if (step == "ffplay -f v4l2 /dev/video10") {
            const std::vector<std::string> input =
                loopback ? std::vector<std::string>{"-f", "v4l2", "-i", "/dev/video10"}
                         : std::vector<std::string>{"-f",      "rawvideo",    "-pixel_format",
                                                    "yuyv422", "-video_size", "640x480",
                                                    "-i",      frames};
            std::vector<std::string> args = input;
            args.insert(args.end(), {"-frames:v", "1", "-f", "null", "-"});
            EXPECT_TRUE(p3dtest::RunFfmpeg(P3D_FFMPEG, args));
        } else {
            ADD_FAILURE() << "a quick-start step this test does not know; teach it";
        }
    }
    ASSERT_TRUE(app) << "the quick start never starts the broadcast";
    kill(app->pid(), SIGTERM);
    EXPECT_EQ(app->wait(5000), 0) << app->err();
}

} // namespace
