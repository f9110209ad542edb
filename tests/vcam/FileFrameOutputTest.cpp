// Raw frames into files, named pipes and standard output, and the words for what goes wrong.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "FileFrameOutput.h"
#include "TestSupport.h"

namespace {

const std::string kFrame = [] {
    std::string frame(OutputFrameBytes(OutputFormat::kARGB, 16, 8), '\0');
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = char(i * 7 + i / 256);
    return frame;
}();

bool Open(FileFrameOutput& output, std::string& error)
{
    OutputSettings settings;
    settings.width = 16;
    settings.height = 8;
    settings.format = OutputFormat::kARGB;
    std::string notice;
    return output.Open(settings, error, notice);
}

bool Write(FileFrameOutput& output, std::string& error)
{
    return output.Write(reinterpret_cast<const uint8_t*>(kFrame.data()), kFrame.size(), error);
}

// A write into a pipe without reader fails with EPIPE instead of ending the test program.
struct IgnoreSIGPIPE
{
    struct sigaction old = {};
    IgnoreSIGPIPE()
    {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &old);
    }
    ~IgnoreSIGPIPE() { sigaction(SIGPIPE, &old, nullptr); }
};

} // namespace

TEST(FileFrameOutputTest, WritesWholeFramesIntoAFreshFile)
{
    p3dtest::TempDir dir;
    const std::string path = dir.file("frames.argb");
    p3dtest::WriteFile(path, std::string(10000, 'x')); // an older, longer run's frames
    FileFrameOutput output(path);
    std::string error;
    ASSERT_TRUE(Open(output, error)) << error;
    EXPECT_EQ(output.Description(), path);
    ASSERT_TRUE(Write(output, error) && Write(output, error)) << error;
    EXPECT_EQ(p3dtest::ReadFile(path), kFrame + kFrame);
}

TEST(FileFrameOutputTest, FailuresSayWhatWentWrongAndWhatToDo)
{
    p3dtest::TempDir dir;
    std::string error;
    FileFrameOutput folder(dir.path());
    EXPECT_FALSE(Open(folder, error));
    EXPECT_EQ(error, dir.path() + " is a folder; give a file name with --output");

    const std::string missing = dir.file("no-such-folder/frames.yuv");
    FileFrameOutput noParent(missing);
    EXPECT_FALSE(Open(noParent, error));
    EXPECT_NE(error.find("the folder for " + missing + " does not exist"), std::string::npos);

    // Settings that make no frame are refused before any file is made.
    FileFrameOutput output(dir.file("never"));
    std::string notice;
    EXPECT_FALSE(output.Open(OutputSettings{"x", 0, 480, OutputFormat::kYUYV, 30}, error, notice));
    EXPECT_FALSE(error.empty());
    EXPECT_NE(access(dir.file("never").c_str(), F_OK), 0);
    EXPECT_FALSE(Write(output, error)) << "wrote while not open";

    FileFrameOutput full("/dev/full");
    ASSERT_TRUE(Open(full, error)) << error;
    EXPECT_FALSE(Write(full, error));
    EXPECT_EQ(error, "no space left for /dev/full; free some space or write elsewhere");

    // A named pipe whose reader went away.
    IgnoreSIGPIPE ignore;
    const std::string fifo = dir.file("frames.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK); // so the writer opens at once
    FileFrameOutput piped(fifo);
    ASSERT_TRUE(Open(piped, error)) << error;
    EXPECT_TRUE(Write(piped, error)) << error;
    close(reader);
    EXPECT_FALSE(Write(piped, error));
    EXPECT_EQ(error, "the program reading " + fifo + " went away");
}

TEST(FileFrameOutputTest, DashIsStandardOutputAndStaysOpen)
{
    IgnoreSIGPIPE ignore;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(fds[1], STDOUT_FILENO);
    close(fds[1]);
    // Checked once standard output is back, so a failure's message is not lost in the pipe.
    std::string description, error, goneError, written(kFrame.size() * 2 + 1, '\0');
    bool wrote = false, wroteToNobody = true;
    {
        FileFrameOutput output("-");
        description = output.Description();
        wrote = Open(output, error) && Write(output, error) && Write(output, error);
    }
    const bool stillOpen = write(STDOUT_FILENO, "!", 1) == 1;
    written.resize(size_t(std::max<ssize_t>(0, read(fds[0], written.data(), written.size()))));
    {
        FileFrameOutput output("-");
        close(fds[0]);
        wroteToNobody = Open(output, goneError) && Write(output, goneError);
    }
    dup2(saved, STDOUT_FILENO);
    close(saved);

    EXPECT_EQ(description, "standard output");
    EXPECT_TRUE(wrote) << error;
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(written, kFrame + kFrame + "!");
    EXPECT_FALSE(wroteToNobody);
    EXPECT_EQ(goneError, "the program reading standard output went away");
}
