#include "CoreCommandLine.h"

#include <cstdio>
#include <cstring>
#include <getopt.h>

#include "Processor/InstructionSet.h"

namespace CoreCommandLine {

const char* Version()
{
    return PARALLAX3D_VERSION;
}

int PrintVersion(const char* in_program)
{
    printf("%s %s\n%s\n", in_program, Version(), Processor::ChosenLine());
    return 0;
}

int UsageError(const char* in_program, const std::string& in_message)
{
    fprintf(stderr, "%s: %s\nTry \"%s --help\".\n", in_program, in_message.c_str(), in_program);
    return 2;
}

namespace {

// getopt_long leaves optind past the word it complained about, except at a letter inside a group
// of short options ("-xc"), where it still points at the group. (A long option's fault followed
// by a group holding the same letter further in reads as the group's.)
bool InGroup(int argc, char* const* argv)
{
    // Long options' own codes (256 and up) are no letters.
    if (optopt <= 0 || optopt > 255 || optind >= argc || argv[optind][0] != '-' ||
        argv[optind][1] == '-')
        return false;
    const char* letter = strchr(argv[optind] + 1, optopt);
    return letter != nullptr && letter[1] != '\0';
}

} // namespace

std::string GetoptError(int in_result, int argc, char* const* argv)
{
    const char* word = optind > 0 && optind <= argc ? argv[optind - 1] : "";
    if (InGroup(argc, argv) || strncmp(word, "--", 2) != 0) {
        const std::string option = std::string("-") + char(optopt);
        return in_result == ':' ? option + " needs a value" : "unknown option " + option;
    }
    const std::string option(word, strcspn(word, "="));
    if (in_result == ':')
        return option + " needs a value";
    // A known long option given a value it does not take.
    return optopt != 0 ? option + " takes no value" : "unknown option " + option;
}

} // namespace CoreCommandLine
