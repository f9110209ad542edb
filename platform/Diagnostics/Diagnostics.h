// Reports of the platform layers: one line, "<text> in <file>:<line> (<function>)", at debug
// level. By default they go to the system log under the process's own name, echoed on standard
// error; a program may send them through a log of its own instead. A failed check reads as the
// foundation library's VERIFY lines do, so that one search of the journal finds every one.
#pragma once

// Takes one whole line, newline included.
using DiagnosticsSink = void (*)(const char* in_line);

// Null restores the system log.
void DiagnosticsSetSink(DiagnosticsSink in_sink);

void DiagnosticsReport(const char* in_file, int in_line, const char* in_function,
                       const char* in_format, ...) __attribute__((format(printf, 4, 5)));

inline bool _DiagnosticsCheck(bool in_ok, const char* in_file, int in_line, const char* in_function,
                              const char* in_code)
{
    if (!in_ok)
        DiagnosticsReport(in_file, in_line, in_function, "VERIFY FAILED:  code : %s", in_code);
    return in_ok;
}

inline long _DiagnosticsCheckError(long in_error, const char* in_file, int in_line,
                                   const char* in_function, const char* in_code)
{
    if (in_error != 0)
        DiagnosticsReport(in_file, in_line, in_function, "VERIFY_ERR FAILED: OSErr:%ld  code : %s",
                          in_error, in_code);
    return in_error;
}

// A check reports and never changes the flow: the expression always runs, and its value is
// handed back so a caller can keep it.
#define DIAG_CHECK(...)                                                                            \
    _DiagnosticsCheck(static_cast<bool>(__VA_ARGS__), __FILE__, __LINE__, __func__, #__VA_ARGS__)
#define DIAG_CHECK_ERR(...)                                                                        \
    _DiagnosticsCheckError(static_cast<long>(__VA_ARGS__), __FILE__, __LINE__, __func__,           \
                           #__VA_ARGS__)
#define DIAG_REPORT(...) DiagnosticsReport(__FILE__, __LINE__, __func__, __VA_ARGS__)
