#include "PipeWireSession.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <thread>

namespace p3dtest {

namespace {

const int kTimeoutMs = 30000;

} // namespace

PipeWireSession::PipeWireSession(std::string in_runtime, std::vector<std::string> in_env)
    : mRuntime(std::move(in_runtime)), mEnv(std::move(in_env))
{
    mkdir(mRuntime.c_str(), 0700);
}

PipeWireSession::~PipeWireSession()
{
    Stop();
    // The bus ends with the program it runs: the shell that became sleep.
    if (mBusProgram > 0)
        kill(mBusProgram, SIGTERM);
    if (mBus)
        mBus->wait(kTimeoutMs);
}

std::string PipeWireSession::MissingPiece()
{
    for (const char* program : {"dbus-run-session", "pipewire", "wireplumber", "pw-dump", "pw-cli",
                                "gst-launch-1.0", "gst-inspect-1.0"})
        if (FindProgram(program).empty())
            return std::string(program) + " is not installed";
    Child inspect({FindProgram("gst-inspect-1.0"), "pipewiresrc"});
    if (inspect.wait(kTimeoutMs) != 0)
        return "GStreamer has no pipewiresrc (gstreamer1.0-pipewire)";
    return "";
}

bool PipeWireSession::Start(std::string& out_why)
{
    if (!mBus) {
        mBus = std::make_unique<Child>(
            std::vector<std::string>{FindProgram("dbus-run-session"), "--", "/bin/sh", "-c",
                                     "echo \"$$ $DBUS_SESSION_BUS_ADDRESS\"; exec sleep 100000"},
            Env());
        const std::string line = mBus->readLine(kTimeoutMs);
        const size_t space = line.find(' ');
        if (space == std::string::npos) {
            out_why = "no session bus";
            return false;
        }
        mBusProgram = pid_t(atoi(line.substr(0, space).c_str()));
        mBusAddress = line.substr(space + 1);
    }
    mDaemon = std::make_unique<Child>(std::vector<std::string>{FindProgram("pipewire")}, Env());
    for (int i = 0; i < 100; ++i) {
        if (Child({FindProgram("pw-cli"), "info", "0"}, Env()).wait(kTimeoutMs) == 0) {
            mManager = std::make_unique<Child>(std::vector<std::string>{FindProgram("wireplumber")},
                                               Env());
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    out_why = "PipeWire did not start";
    return false;
}

void PipeWireSession::Stop()
{
    for (std::unique_ptr<Child>* child : {&mManager, &mDaemon})
        if (*child) {
            kill((*child)->pid(), SIGKILL);
            (*child)->wait(kTimeoutMs);
            child->reset();
        }
}

std::vector<std::string> PipeWireSession::Env() const
{
    std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + mRuntime,
                                    "DBUS_SESSION_BUS_ADDRESS=" + mBusAddress,
                                    "DISPLAY=", "WAYLAND_DISPLAY="};
    env.insert(env.end(), mEnv.begin(), mEnv.end());
    return env;
}

std::string PipeWireSession::Dump() const
{
    Child dump({FindProgram("pw-dump")}, Env());
    dump.wait(kTimeoutMs);
    std::string json = dump.out();
    json.erase(std::remove_if(json.begin(), json.end(),
                              [](unsigned char c) { return std::isspace(c) != 0; }),
               json.end());
    return json;
}

bool PipeWireSession::HasNode() const
{
    return Dump().find("\"node.name\":\"Parallax3D\"") != std::string::npos;
}

} // namespace p3dtest
