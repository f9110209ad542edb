#include "CoreMachDebugLog.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <syslog.h>
#include <unistd.h>

#include "CoreLogRateLimit.h"
#include "Diagnostics.h"
#include "Folders.h"
#include "LFSRef.h"

static std::atomic<int> sLogOutput{kCoreLogOutputFile};

// The platform layers report through this log too, so one route and one identity serve the
// whole program, as its deliverable chose them.
static const bool sPlatformReportsConnected = [] {
    DiagnosticsSetSink(CoreMachDebugLogString);
    return true;
}();
static FSRef sUserLogsFolder;
static char sUserLogsPath[1024];
static char sCoreDebugLogFileName[1024];

// Finding the log file happens once per process, on whichever thread logs first.
static std::mutex sInitializeMutex;
// Reports made while the log looks for its file must not come back into that search.
static thread_local bool tInitializing = false;
// openlog() names the sender process-wide; one message at a time keeps names and texts paired.
static std::mutex sSystemLogMutex;

void CoreMachDebugLogSetUseLogger(kCoreLogOutput route)
{
    sLogOutput.store(route, std::memory_order_relaxed);
}

kCoreLogOutput CoreMachDebugLogGetUseLogger()
{
    return kCoreLogOutput(sLogOutput.load(std::memory_order_relaxed));
}

void CoreMachDebugLog(const char* format, ...)
{
    char text[1024]; // longer messages are cut: a log line is never worth a heap allocation
    va_list arguments;
    va_start(arguments, format);
    const int length = vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    if (length < 0)
        return;
    CoreMachDebugLogString(text);
}

bool CoreMachDebugLogClassInitialize()
{
    if (bool_FSRef_IsValid(sUserLogsFolder))
        return true;

    const SInt16 domain = kUserDomain;
    // clang-format off
    if (VERIFY_ERR(FSFindFolder(domain, kLogsFolderType, kDontCreateFolder, &sUserLogsFolder)) != noErr) {
        // clang-format on
        sUserLogsFolder.path[0] = 0;
        return false;
    }

    sUserLogsPath[0] = 0;
    bool fOk;
    // clang-format off
    VERIFY(fOk=bool_FSRef_GetUnixPath(sUserLogsFolder, sUserLogsPath));
    // clang-format on
    if (fOk) {
        const char* name = (g_CoreMachDebug_LogFileName && g_CoreMachDebug_LogFileName[0])
                               ? g_CoreMachDebug_LogFileName
                               : "CoreConsole.log";
        const int length = snprintf(sCoreDebugLogFileName, sizeof(sCoreDebugLogFileName), "%s/%s",
                                    sUserLogsPath, name);
        // A cut path would name some other file.
        fOk = VERIFY(length > 0 && size_t(length) < sizeof(sCoreDebugLogFileName));
    }
    if (!fOk) {
        // Forget the folder too, so that the next message searches again.
        sUserLogsFolder.path[0] = 0;
        sCoreDebugLogFileName[0] = 0;
    }
    return fOk;
}

const char* CoreMachDebugLogFilePath()
{
    std::lock_guard<std::mutex> lock(sInitializeMutex);
    return sCoreDebugLogFileName;
}

static void AppendToLogFile(const char* text)
{
    static std::atomic<bool> fClassInitialized{false};
    if (!fClassInitialized.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> lock(sInitializeMutex);
        if (!fClassInitialized.load(std::memory_order_relaxed)) {
            tInitializing = true;
            const bool fOk = CoreMachDebugLogClassInitialize();
            tInitializing = false;
            fClassInitialized.store(fOk, std::memory_order_release);
        }
        if (!fClassInitialized.load(std::memory_order_relaxed))
            return;
    }

    // Opened and closed per message: nothing stays open, nothing is lost when the process dies.
    FILE* file = fopen(sCoreDebugLogFileName, "ae");
    if (!file)
        return;
    fseek(file, 0, SEEK_END);
    fputs(text, file);
    fclose(file);
}

static void WriteToRoute(const char* text);

void CoreMachDebugLogString(const char* text)
{
    if (!text)
        return;
    if (tInitializing) {
        fputs(text, stderr);
        return;
    }

    // A report repeated every frame would flood the log at 30 lines a second. Test suites, which
    // count reports, ask for every one.
    static const bool sEveryReport = getenv("PARALLAX3D_LOG_EVERY_REPORT") != nullptr;
    std::string heldBack;
    if (!sEveryReport) {
        static CoreLogRateLimit sRateLimit;
        static std::mutex sRateLimitMutex;
        timespec now = {};
        clock_gettime(CLOCK_MONOTONIC, &now);
        std::lock_guard<std::mutex> lock(sRateLimitMutex);
        if (!sRateLimit.Admit(text, uint64_t(now.tv_sec) * 1000000u + uint64_t(now.tv_nsec) / 1000u,
                              heldBack))
            return;
    }
    if (!heldBack.empty())
        WriteToRoute(heldBack.c_str());
    WriteToRoute(text);
}

static void WriteToRoute(const char* text)
{
    const char* prefix = g_CoreMachDebug_LogPrefix ? g_CoreMachDebug_LogPrefix : "";
    switch (CoreMachDebugLogGetUseLogger()) {
    case kCoreLogOutputASL: {
        std::lock_guard<std::mutex> lock(sSystemLogMutex);
        openlog(prefix, LOG_PERROR, LOG_USER);
        // Reports end in a line feed already; another would echo an empty line after each.
        const size_t length = strlen(text);
        syslog(LOG_DEBUG, length && text[length - 1] == '\n' ? "%s" : "%s\n", text);
        closelog();
        return;
    }
    case kCoreLogOutputSyslog: {
        // Options persist in the C library after closelog(): clear the echo explicitly.
        std::lock_guard<std::mutex> lock(sSystemLogMutex);
        openlog(nullptr, 0, LOG_USER);
        syslog(LOG_DEBUG, "%s:%s\n", prefix, text);
        closelog();
        return;
    }
    case kCoreLogOutputConsole:
        printf("%s:%s", prefix, text);
        fflush(stdout);
        AppendToLogFile(text);
        return;
    default:
        AppendToLogFile(text);
        return;
    }
}

void _CoreMachDebugVerifyBody(const char* function, const char* file, int line, const char* code)
{
    CoreMachDebugLog("VERIFY FAILED: %s in %s:%d (%s)\n", code, file, line, function);
}

void _CoreMachDebugVerifyOSerrBody(int error, const char* function, const char* file, int line,
                                   const char* code)
{
    CoreMachDebugLog("VERIFY_ERR FAILED: OSErr:%d %s in %s:%d (%s)\n", error, code, file, line,
                     function);
}

CoreException::CoreException(const char* format, ...)
{
    // Per thread, so that two threads throwing at once keep their own texts.
    static thread_local char sBuffer[2048];
    va_list arguments;
    va_start(arguments, format);
    if (vsnprintf(sBuffer, sizeof(sBuffer), format, arguments) < 0)
        sBuffer[0] = 0;
    va_end(arguments);
    mMessage = sBuffer;
}

char CoreDebugBundleLogFileName::sPathName[1024] = "";

// The host is named by its executable, so each host process logs to a file of its own.
CoreDebugBundleLogFileName::CoreDebugBundleLogFileName(const char* format, const char* defaultName)
{
    CoreMachDebugLogSetUseLogger(kCoreLogOutputASL);
    if (defaultName && strlen(defaultName) < sizeof(sPathName))
        strcpy(sPathName, defaultName);

    // Only a format with a single %s and no other conversion can be filled safely.
    const char* conversion = format ? strchr(format, '%') : nullptr;
    if (!conversion || conversion[1] != 's' || strchr(conversion + 2, '%'))
        return;

    char executable[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", executable, sizeof(executable) - 1);
    if (length <= 0)
        return;
    executable[length] = 0;
    const char* slash = strrchr(executable, '/');
    const char* hostName = slash ? slash + 1 : executable;
    if (!*hostName)
        return;

    char name[sizeof(sPathName)];
    const int written = snprintf(name, sizeof(name), format, hostName);
    if (written <= 0 || size_t(written) >= sizeof(name))
        return; // too long: the default name is better than a cut one
    memcpy(sPathName, name, size_t(written) + 1);
}

bool import_CoreMachDebugLog()
{
    return true;
}
