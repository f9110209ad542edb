// What getopt_long found wrong, named as the user wrote it.
#include <getopt.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "CoreCommandLine.h"

namespace {

// The message for the first fault getopt_long finds in the words.
std::string FirstFault(std::vector<std::string> words)
{
    static const option kOptions[] = {
        {"camera", required_argument, nullptr, 'c'},
        {"frames", required_argument, nullptr, 'n'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 256},
        {nullptr, 0, nullptr, 0},
    };
    words.insert(words.begin(), "program");
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const int argc = int(words.size());
    optind = 0;
    opterr = 0;
    for (int result; (result = getopt_long(argc, argv.data(), ":c:n:h", kOptions, nullptr)) != -1;)
        if (result == '?' || result == ':')
            return CoreCommandLine::GetoptError(result, argc, argv.data());
    return "";
}

TEST(CoreCommandLine, GetoptErrorNamesTheOptionAsWritten)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--nope=3"}, "unknown option --nope"},
        {{"list", "--nope", "grab"}, "unknown option --nope"},
        {{"-xc"}, "unknown option -x"},
        {{"--help", "-xc", "name"}, "unknown option -x"},
        {{"--frames"}, "--frames needs a value"},
        {{"-hn"}, "-n needs a value"},
        {{"--help=3"}, "--help takes no value"},
        // A long option's fault before a short option.
        {{"--version=1", "-h"}, "--version takes no value"},
        {{"--help=3", "-h"}, "--help takes no value"},
    };
    for (const auto& [words, message] : cases)
        EXPECT_EQ(FirstFault(words), message) << words.front();
}

} // namespace
