// A browser reads parallax3d-vcam --pipewire as on a desktop: Chromium on Xvfb asks the camera
// portal (xdg-desktop-portal) for PipeWire, with a PipeWire, WirePlumber and session bus of the
// test's own, and a page opens the camera and reports what it shows on the console.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "ChannelFrames.h"
#include "ChannelNamespace.h"
#include "ChannelReset.h"
#include "PipeWireSession.h"
#include "StampedChannelWriter.h"
#include "TestSupport.h"

using p3dtest::Child;
using p3dtest::FindProgram;
using p3dtest::PipeWireSession;

namespace {

const int kTimeoutMs = 30000;
const char kPortal[] = "/usr/libexec/xdg-desktop-portal";
const char kDesktop[] = "parallax3d-test";

std::string MissingPiece()
{
    const std::string pipewire = PipeWireSession::MissingPiece();
    if (!pipewire.empty())
        return pipewire;
    for (const char* program : {"chromium", "Xvfb", "gdbus"})
        if (FindProgram(program).empty())
            return std::string(program) + " is not installed";
    if (access(kPortal, X_OK) != 0)
        return "xdg-desktop-portal is not installed";
    return "";
}

// What the page said after "camera-page " in Chromium's console line; "" for other lines.
std::string PageReport(const std::string& in_line)
{
    const std::string mark = "\"camera-page ";
    const size_t start = in_line.find(mark);
    if (start == std::string::npos)
        return "";
    const size_t end = in_line.find('"', start + mark.size());
    return in_line.substr(start + mark.size(),
                          end == std::string::npos ? std::string::npos : end - start - mark.size());
}

// Whether "bars 640x480 r,g,b ..." shows the eight bars at that size, within two YUV
// conversions' rounding.
bool ShowsBars(const std::string& in_report, int in_width, int in_height)
{
    const int kNear = 8;
    const std::string size = "bars " + std::to_string(in_width) + "x" + std::to_string(in_height);
    if (in_report.rfind(size + " ", 0) != 0)
        return false;
    size_t at = size.size();
    for (UInt32 rgb : p3dtest::kBarColours) {
        int r = 0, g = 0, b = 0, used = 0;
        if (sscanf(in_report.c_str() + at, " %d,%d,%d%n", &r, &g, &b, &used) != 3)
            return false;
        at += size_t(used);
        if (std::abs(r - int(rgb >> 16)) > kNear || std::abs(g - int((rgb >> 8) & 0xFF)) > kNear ||
            std::abs(b - int(rgb & 0xFF)) > kNear)
            return false;
    }
    return true;
}

class VCamBrowserTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!p3dtest::InPrivateChannelNamespace())
            GTEST_SKIP() << p3dtest::PrivateChannelNamespaceError();
        const std::string missing = MissingPiece();
        if (!missing.empty())
            GTEST_SKIP() << missing;
        p3dtest::RemoveChannel(p3dtest::ChannelPath());
        ASSERT_FALSE(p3dtest::LinkUserComponent().empty());
        // The camera portal is offered only beside a backend that could ask the user; none runs,
        // as the stored permission below answers first.
        const std::string portals = dir.file("portals");
        mkdir(portals.c_str(), 0700);
        p3dtest::WriteFile(
            portals + "/parallax3d-test.portal",
            "[portal]\nDBusName=org.freedesktop.impl.portal.desktop.parallax3d_test\n"
            "Interfaces=org.freedesktop.impl.portal.Access;\nUseIn=" +
                std::string(kDesktop) + "\n");
        session = std::make_unique<PipeWireSession>(
            dir.file("runtime"),
            std::vector<std::string>{"XDG_DESKTOP_PORTAL_DIR=" + portals,
                                     "XDG_CURRENT_DESKTOP=" + std::string(kDesktop)});
        std::string why;
        ASSERT_TRUE(session->Start(why)) << why;
    }

    struct PageView
    {
        std::string cameras; // the names the page listed
        std::string shown;   // its last report of the bars
        std::string log;
        bool captureCrashed = false;
    };

    // Chromium at the page until it shows the bars at that size, says it failed, or the time is
    // up.
    PageView ShowPage(const std::vector<std::string>& in_env, int in_width, int in_height)
    {
        // Its log on standard output, where lines can be read as they come.
        Child browser({"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", FindProgram("chromium"),
                       "--enable-features=WebRtcPipeWireCamera", "--use-fake-ui-for-media-stream",
                       "--no-sandbox", "--no-first-run", "--disable-gpu",
                       "--user-data-dir=" + dir.file("profile"), "--enable-logging=stderr", "--v=0",
                       "file://" CAMERA_PAGE "?width=" + std::to_string(in_width) +
                           "&height=" + std::to_string(in_height)},
                      in_env);
        PageView view;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
        while (std::chrono::steady_clock::now() < deadline && browser.running() &&
               !ShowsBars(view.shown, in_width, in_height)) {
            const std::string line = browser.readLine(500);
            view.log += line.empty() ? "" : line + "\n";
            const std::string report = PageReport(line);
            if (report.rfind("cameras ", 0) == 0)
                view.cameras = report.substr(8);
            else if (report.rfind("bars ", 0) == 0)
                view.shown = report;
            else if (report.rfind("error ", 0) == 0)
                break;
            if (line.find("Detected crash of video capture service") != std::string::npos) {
                view.captureCrashed = true;
                break;
            }
        }
        kill(browser.pid(), SIGTERM);
        browser.wait(kTimeoutMs);
        return view;
    }

    p3dtest::TempDir dir;
    std::unique_ptr<PipeWireSession> session;
    StampedChannelWriter writer;
};

} // namespace

TEST_F(VCamBrowserTest, ChromiumListsTheCameraAndShowsTheBroadcastAtEachSize)
{
    // What the user's "Allow" leaves in the permission store for programs outside a sandbox.
    Child allow({FindProgram("gdbus"), "call", "--session", "--dest",
                 "org.freedesktop.impl.portal.PermissionStore", "--object-path",
                 "/org/freedesktop/impl/portal/PermissionStore", "--method",
                 "org.freedesktop.impl.portal.PermissionStore.SetPermission", "devices", "true",
                 "camera", "", "['yes']"},
                session->Env());
    ASSERT_EQ(allow.wait(kTimeoutMs), 0) << allow.err();
    Child display(
        {FindProgram("Xvfb"), "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24"});
    const std::string number = display.readLine(kTimeoutMs);
    ASSERT_FALSE(number.empty()) << "Xvfb gave no display";
    std::vector<std::string> env = session->Env();
    env.push_back("DISPLAY=:" + number);

    for (const auto& [width, height] : {std::pair{640, 480}, std::pair{1280, 720}}) {
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        SCOPED_TRACE(size);
        ASSERT_TRUE(writer.Open(StampedChannelFile::DefaultPath(), width, height));
        writer.SetConnectionsAllowed(true);
        const int n = writer.BeginFrame();
        ASSERT_GE(n, 0);
        const std::string bars = p3dtest::Bars(width, height);
        memcpy(writer.Buffer(n), bars.data(), bars.size());
        ASSERT_TRUE(writer.EndFrame({}));
        Child camera({VCAM_PATH, "--pipewire"}, session->Env());
        for (int i = 0; i < 200 && !session->HasNode(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_TRUE(camera.running()) << camera.err();

        PageView view = ShowPage(env, width, height);
        // Chromium's PipeWire capture at times trips its own race check as the stream starts,
        // and the page's stream ends with its capture service; a user reloads, and so do we.
        if (view.captureCrashed) {
            printf("Chromium's capture service crashed at %s; the page once more\n", size.c_str());
            view = ShowPage(env, width, height);
        }
        EXPECT_EQ(view.cameras, "Parallax3D") << view.log;
        EXPECT_TRUE(ShowsBars(view.shown, width, height)) << view.shown << "\n" << view.log;

        kill(camera.pid(), SIGTERM);
        EXPECT_EQ(camera.wait(kTimeoutMs), 0) << camera.err();
        for (int i = 0; i < 200 && session->HasNode(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        writer.Close();
        p3dtest::RemoveChannel(p3dtest::ChannelPath());
    }
}
