// Debug log routes, the two verification reports every step of the system goes through,
// and the foundation library's exception.
#pragma once

#include <cstdarg>

// Defined by each deliverable, not by the library.
extern const char* g_CoreMachDebug_LogPrefix;
extern char* g_CoreMachDebug_LogFileName;

enum kCoreLogOutput {
    kCoreLogOutputFile = 0,    // log file only
    kCoreLogOutputASL = 1,     // system log at debug level, echoed to standard error
    kCoreLogOutputSyslog = 2,  // "prefix:text" to the system log
    kCoreLogOutputConsole = 4, // "prefix:text" to standard output, then the log file
};

void CoreMachDebugLogSetUseLogger(kCoreLogOutput route);
kCoreLogOutput CoreMachDebugLogGetUseLogger();
void CoreMachDebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void CoreMachDebugLogString(const char* text);
bool CoreMachDebugLogClassInitialize();
// Full path of the log file once the file route has found the Logs folder, else "".
const char* CoreMachDebugLogFilePath();

void _CoreMachDebugVerifyBody(const char* function, const char* file, int line, const char* code);
void _CoreMachDebugVerifyOSerrBody(int error, const char* function, const char* file, int line,
                                   const char* code);

inline bool _CoreMachDebugVerify(bool ok, const char* function, const char* file, int line,
                                 const char* code)
{
    if (!ok)
        _CoreMachDebugVerifyBody(function, file, line, code);
    return ok;
}

inline long _CoreMachDebugVerifyOSerr(long error, const char* function, const char* file, int line,
                                      const char* code)
{
    if (error != 0)
        _CoreMachDebugVerifyOSerrBody(static_cast<int>(error), function, file, line, code);
    return error;
}

// A check reports and never changes the flow: the expression always runs, in every build.
// Both forms also yield the checked value, so a caller can keep it without a second call.
#define VERIFY(...)                                                                                \
    _CoreMachDebugVerify(static_cast<bool>(__VA_ARGS__), __func__, __FILE__, __LINE__,             \
                         " code : " #__VA_ARGS__)

#define VERIFY_ERR(...)                                                                            \
    _CoreMachDebugVerifyOSerr(static_cast<long>(__VA_ARGS__), __func__, __FILE__, __LINE__,        \
                              " code : " #__VA_ARGS__)

// The same check where the report must name a function other than the enclosing C++ one (a
// method as the system's other code names it), or give a code text of its own.
#define VERIFY_AT(function, ...)                                                                   \
    _CoreMachDebugVerify(static_cast<bool>(__VA_ARGS__), function, __FILE__, __LINE__,             \
                         " code : " #__VA_ARGS__)
#define VERIFY_ERR_AT(function, ...)                                                               \
    _CoreMachDebugVerifyOSerr(static_cast<long>(__VA_ARGS__), function, __FILE__, __LINE__,        \
                              " code : " #__VA_ARGS__)
#define VERIFY_TEXT(function, text, ...)                                                           \
    _CoreMachDebugVerify(static_cast<bool>(__VA_ARGS__), function, __FILE__, __LINE__,             \
                         " code : " text)

// Thrown by value; the text lives in a per-thread buffer that the next construction reuses.
class CoreException
{
public:
    explicit CoreException(const char* format, ...) __attribute__((format(printf, 2, 3)));
    const char* mMessage;
};

// For deliverables loaded into another process: selects the system-log route and names the
// log file after the host, "<format with the host executable's name>"; when the host's name
// cannot fill the format, the name stays defaultName (when given).
class CoreDebugBundleLogFileName
{
public:
    explicit CoreDebugBundleLogFileName(const char* format, const char* defaultName = nullptr);
    static char sPathName[1024];
};

bool import_CoreMachDebugLog();
