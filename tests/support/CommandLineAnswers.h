// What a program answers a command line, as a user sees it. Every program answers in one
// manner: a bad command line (status 2) is one line and a pointer to --help, never the usage.
#pragma once

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace p3dtest {

struct CommandLineAnswer
{
    std::vector<std::string> args;
    int status;
    // Of standard output for status 0; of standard error, after "<program>: ", otherwise.
    std::string firstLine;
    std::string further = ""; // words that follow the first line
};

inline void ExpectAnswers(const std::string& in_program,
                          const std::vector<CommandLineAnswer>& in_answers,
                          const std::vector<std::string>& in_env = {})
{
    const std::string name = in_program.substr(in_program.rfind('/') + 1);
    for (const CommandLineAnswer& answer : in_answers) {
        std::vector<std::string> args = answer.args;
        args.insert(args.begin(), in_program);
        Child child(args, in_env);
        const std::string what = testing::PrintToString(answer.args);
        EXPECT_EQ(child.wait(30000), answer.status) << what << "\n" << child.err();
        const std::string& text = answer.status == 0 ? child.out() : child.err();
        const std::string first = (answer.status == 0 ? "" : name + ": ") + answer.firstLine;
        EXPECT_EQ(text.substr(0, text.find('\n')), first) << what;
        EXPECT_NE(text.find(answer.further, first.size()), std::string::npos) << what << text;
        if (answer.status == 2) {
            EXPECT_EQ(text, first + "\nTry \"" + name + " --help\".\n") << what;
        }
    }
}

} // namespace p3dtest
