// Temporary folders and environment for tests.
#pragma once

#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

namespace p3dtest {

// A fresh folder under the suite's temporary root, removed with everything in it.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return mPath; }
    std::string file(const std::string& name) const { return mPath + "/" + name; }

private:
    std::string mPath;
};

// The root under which TestMain placed HOME and the XDG and domain folders.
const std::string& SuiteRoot();

void WriteFile(const std::string& path, const std::string& contents);
std::string ReadFile(const std::string& path);
bool RemoveTree(const std::string& path);
// Whether anything, a dangling link included, is at path.
bool PathExists(const std::string& path);

// A program started by a test, with its standard output and error read through pipes.
class Child
{
public:
    // env entries "NAME=value" are added to (or replace) this process's environment.
    Child(const std::vector<std::string>& args, const std::vector<std::string>& env = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return mPid > 0; }
    pid_t pid() const { return mPid; }
    // One line of standard output without its newline; "" when none came within the time.
    std::string readLine(int timeoutMs);
    // Whether the program is still running (has not exited).
    bool running();
    // Exit status; -1 when it did not exit within the time (it is then killed).
    int wait(int timeoutMs);
    // Everything it wrote, once it has exited.
    const std::string& out() const { return mOut; }
    const std::string& err() const { return mErr; }

private:
    void drain(int timeoutMs);

    pid_t mPid = -1;
    int mOutFd = -1;
    int mErrFd = -1;
    int mStatus = -1;
    std::string mOut;
    std::string mErr;
    size_t mLineStart = 0;
};

// Sets one environment variable (null: unsets it) for the life of the object.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string mName;
    std::string mOld;
    bool mHad = false;
};

// The names a shared library exports (nm -D --defined-only); empty when nm fails.
std::set<std::string> ExportedNames(const std::string& library);

// The program's path on PATH, "" when it is not there: children are started without a search.
std::string FindProgram(const std::string& name);

// How long the delay tests measure: PARALLAX3D_DELAY_TEST_SECONDS (1 to 3600; 60 by hand for a
// minute's figure), else 4.
int DelayTestSeconds();

// Whether the ffmpeg program at that path can run.
bool HaveFfmpeg(const char* ffmpeg);
// Runs ffmpeg quietly with the arguments; a failure is a test failure with its error output.
bool RunFfmpeg(const char* ffmpeg, std::vector<std::string> args);

// Collects what the log reports while it lives: selects the system-log route, whose echo on
// standard error is captured.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    // Everything reported so far; ends the capture.
    std::string text();

private:
    bool mCapturing = true;
    int mRoute;
};

} // namespace p3dtest
