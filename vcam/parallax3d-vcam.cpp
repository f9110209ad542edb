// parallax3d-vcam: the broadcast as a camera for programs that know nothing of the channel.
#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "CFBundle.h"
#include "CoreCommandLine.h"
#include "CoreMachDebugLog.h"
#include "DualFrameOutput.h"
#include "FileFrameOutput.h"
#include "Folders.h"
#include "PipeWireOutput.h"
#include "StampedChannelWriter.h"
#include "V4L2FrameOutput.h"
#include "VCamOptions.h"
#include "VirtualCamera.h"
#include "shared_camera_bundle.h"

const char* g_CoreMachDebug_LogPrefix = "parallax3d-vcam";
static char sLogFileName[] = "parallax3d-vcam.log";
char* g_CoreMachDebug_LogFileName = sLogFileName;

namespace {

std::atomic<bool> sStop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void RequestStop(int)
{
    sStop = true;
}

// No SA_RESTART: a wait or a write in progress returns, and the loop sees the flag.
void InstallSignalHandlers()
{
    struct sigaction action = {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader that goes away shows up as EPIPE on the write, which is told in words.
    signal(SIGPIPE, SIG_IGN);
}

const char kProgram[] = "parallax3d-vcam";

int Fail(const std::string& in_message)
{
    fprintf(stderr, "%s: %s\n", kProgram, in_message.c_str());
    return 1;
}

// A word the shell takes as it is.
std::string ShellWord(const std::string& in_text)
{
    if (in_text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                                  "/._+-,:@%") == std::string::npos)
        return in_text;
    std::string quoted = "'";
    for (char c : in_text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string FolderPath(SInt16 in_domain)
{
    char path[PATH_MAX];
    return FolderPathForDomain(in_domain, kQuickTimeComponentsFolderType, path, sizeof(path)) ? path
                                                                                              : "";
}

// The component of the tree this program belongs to (<root>/lib/parallax3d/Resources), as a
// build or the package leaves it; "" when there is none.
std::string ComponentBesideProgram()
{
    const CFBundleRef program = CFBundleGetMainBundle();
    const CFURLRef url =
        program != nullptr
            ? CFBundleCopyResourceURL(program, CFSTR("Parallax3D_XXX"), CFSTR("component"), nullptr)
            : nullptr;
    if (url == nullptr)
        return "";
    UInt8 path[PATH_MAX];
    const bool found = CFURLGetFileSystemRepresentation(url, true, path, sizeof(path));
    CFRelease(url);
    return found ? reinterpret_cast<const char*>(path) : "";
}

// The application links the component into the user's folder only while it broadcasts, so
// the way out is to broadcast or to link it by hand.
std::string MissingComponentMessage()
{
    std::string message = "the Parallax3D_XXX component could not be loaded";
    const char* reason = CFBundleGetLoadErrorText();
    if (reason != nullptr && *reason != '\0')
        message += ": " + std::string(reason);
    const std::string user = FolderPath(kUserDomain);
    message += "\nIt is looked for in " + user + ", " + FolderPath(kLocalDomain) + " and " +
               FolderPath(kSystemDomain) +
               "; Parallax3D links it into the first while it broadcasts.\nSwitch on \"Broadcast "
               "as a camera\" in Parallax3D, or run \"parallax3d --broadcast\", or link it ";
    const std::string component = ComponentBesideProgram();
    if (component.empty())
        return message +
               "yourself: lib/parallax3d/Resources/Parallax3D_XXX.component of a "
               "Parallax3D build into " +
               user;
    return message + "yourself:\n  mkdir -p " + ShellWord(user) + " && ln -s " +
           ShellWord(component) + " " + ShellWord(user + "/");
}

} // namespace

int main(int argc, char** argv)
{
    VCamOptions options;
    std::string error;
    if (!ParseVCamOptions(argc, argv, options, error))
        return CoreCommandLine::UsageError(kProgram, error);
    if (options.help) {
        fputs(VCamUsage().c_str(), stdout);
        return 0;
    }
    if (options.version)
        return CoreCommandLine::PrintVersion(kProgram);
    InstallSignalHandlers();

    const SharedCamDeviceDispatch* device = SharedCameraBundle::DeviceDispatch();
    if (device == nullptr)
        return Fail(MissingComponentMessage());

    // The PipeWire camera takes the broadcast's bytes and converts for each consumer itself.
    std::unique_ptr<FrameOutput> output;
    const OutputFormat format = options.pipewire ? OutputFormat::kARGB : options.format;
    if (options.pipewire && !options.device.empty())
        output =
            std::make_unique<DualFrameOutput>(std::make_unique<V4L2FrameOutput>(options.device),
                                              options.format, std::make_unique<PipeWireOutput>());
    else if (options.pipewire)
        output = std::make_unique<PipeWireOutput>();
    else if (!options.output.empty())
        output = std::make_unique<FileFrameOutput>(options.output, &sStop);
    else
        output = std::make_unique<V4L2FrameOutput>(options.device);

    VirtualCamera camera(*device, *output);
    if (!camera.Connect(format, options.hasNameSuffix ? &options.nameSuffix : nullptr, error,
                        options.width, options.height))
        return Fail(error);
    std::string notice;
    if (!output->Open(camera.Settings(), error, notice)) {
        if (sStop)
            return 0; // stopped while waiting for a pipe's reader
        return Fail(error);
    }
    if (!notice.empty())
        fprintf(stderr, "parallax3d-vcam: %s\n", notice.c_str());
    const OutputSettings& settings = camera.Settings();
    const bool consumerPicks = options.pipewire && options.device.empty();
    fprintf(stderr, "parallax3d-vcam: \"%s\", %d x %d %s at %d frames a second, to %s\n",
            settings.deviceName.c_str(), settings.width, settings.height,
            consumerPicks ? "yuyv, i420 or bgrx" : OutputFormatName(options.format),
            settings.framesPerSecond, output->Description().c_str());

    const bool ran = camera.Run(options.frames, sStop, error, options.statsPath);
    camera.Disconnect();
    if (!options.statsPath.empty() &&
        !camera.Stats().writeFile(options.statsPath, StampedChannelNowNs()))
        fprintf(stderr, "parallax3d-vcam: the figures could not be written to %s\n",
                options.statsPath.c_str());
    return ran ? 0 : Fail(error);
}
