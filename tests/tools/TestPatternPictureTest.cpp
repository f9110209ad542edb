// parallax3d-test-pattern-picture as the README's picture is made with it.
#include <gtest/gtest.h>
#include <string>

#include "CommandLineAnswers.h"
#include "TestSupport.h"

namespace {

TEST(TestPatternPicture, AnswersEachCommandLineInOneManner)
{
    p3dtest::TempDir dir;
    const std::string wrongCount = "give one picture, or three: ANAGLYPH.png [LEFT.png RIGHT.png]";
    p3dtest::ExpectAnswers(
        PICTURE_TOOL_PATH,
        {
            {{"--help"},
             0,
             "Usage: parallax3d-test-pattern-picture [OPTIONS] ANAGLYPH.png [LEFT.png RIGHT.png]"},
            {{"--version"}, 0, "parallax3d-test-pattern-picture " PARALLAX3D_VERSION},
            {{"--nope"}, 2, "unknown option --nope"},
            {{"-x", dir.file("a.png")}, 2, "unknown option -x"},
            {{}, 2, wrongCount + ", not 0"},
            {{dir.file("a.png"), dir.file("b.png")}, 2, wrongCount + ", not 2"},
            {{"-"}, 2, "pictures go to files, not to standard output (-)"},
            {{"--rig", "roll=1,roll=2", dir.file("a.png")}, 2, "--rig: roll is given twice"},
            {{"--frame", "-1", dir.file("a.png")},
             2,
             "--frame takes a frame number from 0 to 1000000000, not \"-1\""},
            {{dir.file("no/such/a.png")},
             1,
             "cannot write " + dir.file("no/such/a.png") + ": No such file or directory"},
            {{dir.file("a.png"), dir.file("l.png"), dir.file("r.png")}, 0, ""},
        });
    for (const char* name : {"a.png", "l.png", "r.png"})
        EXPECT_EQ(p3dtest::ReadFile(dir.file(name)).substr(1, 3), "PNG") << name;
}

} // namespace
