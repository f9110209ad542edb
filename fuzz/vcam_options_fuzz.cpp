// The virtual camera's command line comes from users and scripts: any words give options that
// hold together or a message, never a crash.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "VCamOptions.h"

static void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Words are separated by NUL bytes, as the kernel hands them to main.
    std::vector<std::string> words = {"parallax3d-vcam"};
    std::string word;
    for (size_t i = 0; i < size && words.size() < 64; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word += char(data[i]);
        }
    }
    words.push_back(word);
    std::vector<const char*> argv;
    for (const std::string& w : words)
        argv.push_back(w.c_str());

    VCamOptions options;
    std::string error;
    if (!ParseVCamOptions(int(argv.size()), argv.data(), options, error)) {
        Check(!error.empty());
        return 0;
    }
    Check(options.device.empty() || options.output.empty());
    Check(options.frames == -1 || options.frames >= 1);
    Check(options.hasNameSuffix || options.nameSuffix.empty());
    return 0;
}
