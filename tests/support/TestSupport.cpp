#include "TestSupport.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace p3dtest {

TempDir::TempDir()
{
    std::string pattern = SuiteRoot() + "/tmp.XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    mPath = pattern;
}

TempDir::~TempDir()
{
    RemoveTree(mPath);
}

void WriteFile(const std::string& path, const std::string& contents)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool PathExists(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

bool RemoveTree(const std::string& path)
{
    auto removeOne = [](const char* item, const struct stat*, int, struct FTW*) {
        return ::remove(item);
    };
    return nftw(path.c_str(), removeOne, 16, FTW_DEPTH | FTW_PHYS) == 0;
}

} // namespace p3dtest

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iterator>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>

extern char** environ;

namespace p3dtest {

Child::Child(const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0)
        return;
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return;
    }

    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& extra : env)
            replaced = replaced || extra.rfind(name, 0) == 0;
        if (!replaced)
            environment.push_back(entry);
    }
    environment.insert(environment.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> argCopy = args;
#ifdef P3D_TEST_EMULATOR
    // A cross build's tests run under an emulator, which the kernel does not start for the
    // build's own programs by itself.
    if (!argCopy.empty() && argCopy[0].rfind(P3D_BINARY_DIR "/", 0) == 0) {
        std::istringstream words(P3D_TEST_EMULATOR);
        std::vector<std::string> emulator{std::istream_iterator<std::string>(words), {}};
        argCopy.insert(argCopy.begin(), emulator.begin(), emulator.end());
    }
#endif
    std::vector<char*> argv;
    for (std::string& arg : argCopy)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    // The child dies with the test: a test killed half way (a timeout, a crash) must not leave
    // programs behind that write frames into its in-memory /tmp until the machine runs out of
    // memory. Only async-signal-safe calls between fork and exec.
    const pid_t parent = getpid();
    mPid = fork();
    if (mPid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        // As from a terminal: a suite run in the background or under nohup would hand these
        // on ignored.
        for (int number : {SIGINT, SIGHUP, SIGTERM})
            signal(number, SIG_DFL);
        if (dup2(outPipe[1], STDOUT_FILENO) < 0 || dup2(errPipe[1], STDERR_FILENO) < 0)
            _exit(127);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    mOutFd = outPipe[0];
    mErrFd = errPipe[0];
}

Child::~Child()
{
    if (mPid > 0 && mStatus == -1) {
        kill(mPid, SIGKILL);
        waitpid(mPid, nullptr, 0);
    }
    if (mOutFd >= 0)
        close(mOutFd);
    if (mErrFd >= 0)
        close(mErrFd);
}

static int MillisecondsLeft(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? int(left.count()) : 0;
}

// Reads whatever is available on both pipes, waiting at most timeoutMs for the first bytes.
void Child::drain(int timeoutMs)
{
    struct pollfd fds[2] = {{mOutFd, POLLIN, 0}, {mErrFd, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) <= 0)
        return;
    char buffer[4096];
    for (int i = 0; i < 2; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP)))
            continue;
        const ssize_t count = read(fds[i].fd, buffer, sizeof(buffer));
        if (count > 0)
            (i == 0 ? mOut : mErr).append(buffer, size_t(count));
        else if (count == 0) {
            close(fds[i].fd);
            (i == 0 ? mOutFd : mErrFd) = -1;
        }
    }
}

std::string Child::readLine(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        const size_t newline = mOut.find('\n', mLineStart);
        if (newline != std::string::npos) {
            std::string line = mOut.substr(mLineStart, newline - mLineStart);
            mLineStart = newline + 1;
            return line;
        }
        if (mOutFd < 0 || MillisecondsLeft(deadline) == 0)
            return std::string();
        drain(MillisecondsLeft(deadline));
    }
}

bool Child::running()
{
    if (mPid <= 0 || mStatus != -1)
        return false;
    int status = 0;
    if (waitpid(mPid, &status, WNOHANG) == mPid) {
        mStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return true;
}

int Child::wait(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (running()) {
        if (MillisecondsLeft(deadline) == 0) {
            kill(mPid, SIGKILL);
            waitpid(mPid, nullptr, 0);
            mStatus = -2;
            return -1;
        }
        if (mOutFd >= 0 || mErrFd >= 0)
            drain(std::min(MillisecondsLeft(deadline), 20));
        else
            usleep(5000);
    }
    for (int i = 0; i < 50 && (mOutFd >= 0 || mErrFd >= 0); ++i)
        drain(100);
    return mStatus == -2 ? -1 : mStatus;
}

} // namespace p3dtest

#include "CoreMachDebugLog.h"

namespace p3dtest {

LogCapture::LogCapture() : mRoute(CoreMachDebugLogGetUseLogger())
{
    CoreMachDebugLogSetUseLogger(kCoreLogOutputASL);
    testing::internal::CaptureStderr();
}

LogCapture::~LogCapture()
{
    text();
    CoreMachDebugLogSetUseLogger(kCoreLogOutput(mRoute));
}

std::string LogCapture::text()
{
    if (!mCapturing)
        return std::string();
    mCapturing = false;
    return testing::internal::GetCapturedStderr();
}

} // namespace p3dtest

namespace p3dtest {

ScopedEnv::ScopedEnv(const char* name, const char* value) : mName(name)
{
    if (const char* old = getenv(name)) {
        mHad = true;
        mOld = old;
    }
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    if (mHad)
        setenv(mName.c_str(), mOld.c_str(), 1);
    else
        unsetenv(mName.c_str());
}

int DelayTestSeconds()
{
    const char* text = getenv("PARALLAX3D_DELAY_TEST_SECONDS");
    char* end = nullptr;
    const long seconds = text != nullptr ? strtol(text, &end, 10) : 0;
    return text != nullptr && *end == '\0' && seconds > 0 && seconds <= 3600 ? int(seconds) : 4;
}

std::string FindProgram(const std::string& name)
{
    const char* path = getenv("PATH");
    const std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= folders.size();) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::string file = folders.substr(start, end - start) + "/" + name;
        if (access(file.c_str(), X_OK) == 0)
            return file;
        start = end + 1;
    }
    return "";
}

bool HaveFfmpeg(const char* ffmpeg)
{
    return ffmpeg && access(ffmpeg, X_OK) == 0;
}

std::set<std::string> ExportedNames(const std::string& library)
{
    std::set<std::string> names;
    FILE* symbols = popen(("nm -D --defined-only '" + library + "'").c_str(), "r");
    if (!symbols)
        return names;
    char line[512];
    while (fgets(line, sizeof(line), symbols)) {
        std::string text = line;
        text = text.substr(text.find_last_of(' ') + 1);
        text.erase(text.find_last_not_of("\n") + 1);
        names.insert(text);
    }
    if (pclose(symbols) != 0)
        names.clear();
    return names;
}

bool RunFfmpeg(const char* ffmpeg, std::vector<std::string> args)
{
    args.insert(args.begin(), {ffmpeg, "-nostdin", "-y", "-v", "error"});
    Child child(args);
    const int status = child.wait(60000);
    EXPECT_EQ(status, 0) << child.err();
    return child.started() && status == 0;
}

} // namespace p3dtest
