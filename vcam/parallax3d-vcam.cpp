// parallax3d-vcam: the broadcast as a camera for programs that know nothing of the channel.
#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "CFBundle.h"
#include "CoreMachDebugLog.h"
#include "FileFrameOutput.h"
#include "Folders.h"
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

int Fail(const std::string& in_message, int in_status = 1)
{
    fprintf(stderr, "parallax3d-vcam: %s\n", in_message.c_str());
    return in_status;
}

std::string ComponentsFolders()
{
    std::string folders;
    for (SInt16 domain : {kUserDomain, kLocalDomain, kSystemDomain}) {
        char path[PATH_MAX];
        if (FolderPathForDomain(domain, kQuickTimeComponentsFolderType, path, sizeof(path)))
            folders += std::string(folders.empty() ? "" : ", ") + path;
    }
    return folders;
}

std::string MissingComponentMessage()
{
    std::string message = "the Parallax3D_XXX component could not be loaded from the components "
                          "folders (" +
                          ComponentsFolders() + ")";
    const char* reason = CFBundleGetLoadErrorText();
    if (reason != nullptr && *reason != '\0')
        message += ": " + std::string(reason);
    return message + "; start parallax3d once, which installs it, or link "
                     "lib/parallax3d/Resources/Parallax3D_XXX.component into one of them";
}

} // namespace

int main(int argc, char** argv)
{
    VCamOptions options;
    std::string error;
    if (!ParseVCamOptions(argc, argv, options, error))
        return Fail(error + "\nTry 'parallax3d-vcam --help'.", 2);
    if (options.help) {
        fputs(VCamUsage().c_str(), stdout);
        return 0;
    }
    InstallSignalHandlers();

    const SharedCamDeviceDispatch* device = SharedCameraBundle::DeviceDispatch();
    if (device == nullptr)
        return Fail(MissingComponentMessage());

    std::unique_ptr<FrameOutput> output;
    if (!options.output.empty())
        output = std::make_unique<FileFrameOutput>(options.output, &sStop);
    else
        output = std::make_unique<V4L2FrameOutput>(options.device);

    VirtualCamera camera(*device, *output);
    if (!camera.Connect(options.format, options.hasNameSuffix ? &options.nameSuffix : nullptr,
                        error))
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
    fprintf(stderr, "parallax3d-vcam: \"%s\", %d x %d %s at %d frames a second, to %s\n",
            settings.deviceName.c_str(), settings.width, settings.height,
            OutputFormatName(settings.format), settings.framesPerSecond,
            output->Description().c_str());

    const bool ran = camera.Run(options.frames, sStop, error);
    camera.Disconnect();
    return ran ? 0 : Fail(error);
}
