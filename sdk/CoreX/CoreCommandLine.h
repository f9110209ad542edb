// The manner every program's command line shares: "--version" prints "<program> <version>"
// and the instruction set the image kernels run, a bad command line names what is wrong and points
// at --help, with exit status 2.
#pragma once

#include <string>

namespace CoreCommandLine {

// "1.201"
const char* Version();

// "<program> 1.201" and "cpu: avx2" on standard output; 0, the exit status.
int PrintVersion(const char* in_program);

// "<program>: <message>" and "Try "<program> --help"." on standard error; 2, the exit status.
int UsageError(const char* in_program, const std::string& in_message);

// What getopt_long found wrong, for a parse with opterr = 0 and an option string that starts
// with ':': in_result is its ':' (a value is missing) or '?' (an unknown option). Names the
// option as it was written: "unknown option --nope", "--frames needs a value".
std::string GetoptError(int in_result, int argc, char* const* argv);

} // namespace CoreCommandLine
