#include "Diagnostics.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <syslog.h>

static std::atomic<DiagnosticsSink> sSink{nullptr};

void DiagnosticsSetSink(DiagnosticsSink in_sink)
{
    sSink.store(in_sink, std::memory_order_release);
}

static void SystemLog(const char* in_line)
{
    // openlog() is process-wide state: one message at a time. A null identity is the program's
    // own name, as syslog() uses when nobody opened the log.
    static std::mutex sMutex;
    std::lock_guard<std::mutex> lock(sMutex);
    openlog(nullptr, LOG_PERROR, LOG_USER);
    syslog(LOG_DEBUG, "%s", in_line);
    closelog();
}

void DiagnosticsReport(const char* in_file, int in_line, const char* in_function,
                       const char* in_format, ...)
{
    // Longer texts are cut: a report is never worth a heap allocation.
    char text[1024];
    va_list arguments;
    va_start(arguments, in_format);
    const int length = vsnprintf(text, sizeof(text), in_format, arguments);
    va_end(arguments);
    if (length < 0)
        return;
    char line[1280];
    snprintf(line, sizeof(line), "%s in %s:%d (%s)\n", text, in_file ? in_file : "?", in_line,
             in_function ? in_function : "?");
    const DiagnosticsSink sink = sSink.load(std::memory_order_acquire);
    (sink ? sink : SystemLog)(line);
}
