#include <cmath>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CoreMappedFile.h"
#include "TestSupport.h"

namespace {

bool AllZero(const void* base, size_t size)
{
    const UInt8* bytes = static_cast<const UInt8*>(base);
    for (size_t i = 0; i < size; ++i)
        if (bytes[i])
            return false;
    return true;
}

TEST(CoreMappedFile, CreateTruncatesAnExistingFileToZeros)
{
    p3dtest::TempDir dir;
    const std::string path = dir.file("frame");
    p3dtest::WriteFile(path, std::string(10000, 'x'));
    CoreMappedFile file;
    ASSERT_TRUE(file.CreateReadWrite(path.c_str(), 4096 + 63));
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(file.GetSize(), 4096u + 63u);
    EXPECT_EQ(file.GetProtection(), CoreMappedFile::kProtectReadWrite);
    EXPECT_TRUE(AllZero(file.GetBase(), file.GetSize()));
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 4096 + 63);
}

TEST(CoreMappedFile, OpenReadMapsTheFilesLengthAndOpenReadWriteTheGivenSize)
{
    p3dtest::TempDir dir;
    const std::string path = dir.file("data");
    p3dtest::WriteFile(path, std::string(5000, 'a'));

    CoreMappedFile reader;
    ASSERT_TRUE(reader.OpenRead(path.c_str()));
    EXPECT_EQ(reader.GetSize(), 5000u);
    EXPECT_EQ(reader.GetProtection(), CoreMappedFile::kProtectReadOnly);
    EXPECT_EQ(static_cast<const char*>(reader.GetBase())[4999], 'a');

    CoreMappedFile writer;
    ASSERT_TRUE(writer.OpenReadWrite(path.c_str(), 100));
    EXPECT_EQ(writer.GetSize(), 100u);
    static_cast<char*>(writer.GetBase())[0] = 'b';
    EXPECT_EQ(static_cast<const char*>(reader.GetBase())[0], 'b');

    // The descriptor's position is left where it was.
    const int fd = writer.GetFileDescriptor();
    ASSERT_EQ(lseek(fd, 17, SEEK_SET), 17);
    EXPECT_EQ(CoreMappedFile::DiskFile_GetSizeBytes(fd), 5000);
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 17);
}

TEST(CoreMappedFile, RefusesMissingOrUnwritableFilesAndStaysClosed)
{
    p3dtest::TempDir dir;
    CoreMappedFile file;
    EXPECT_FALSE(file.OpenReadWrite(dir.file("missing").c_str(), 100));
    EXPECT_FALSE(file.OpenRead(dir.file("missing").c_str()));
    EXPECT_FALSE(file.OpenRead(nullptr));
    EXPECT_FALSE(file.CreateReadWrite(nullptr, 10));
    EXPECT_FALSE(file.OpenRead(std::string(5000, 'p').c_str()));
    EXPECT_EQ(file.GetFileDescriptor(), -1);
    EXPECT_FALSE(file.IsOpen());

    if (geteuid() != 0) { // root writes anything
        const std::string readOnly = dir.file("readonly");
        p3dtest::WriteFile(readOnly, "data");
        ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
        EXPECT_FALSE(file.OpenReadWrite(readOnly.c_str(), 4));
        EXPECT_EQ(file.GetFileDescriptor(), -1);
    }
}

TEST(CoreMappedFile, SecondOpenIsRefusedAndTheFirstMappingStaysUsable)
{
    p3dtest::TempDir dir;
    const std::string first = dir.file("first");
    const std::string second = dir.file("second");
    p3dtest::WriteFile(second, "second");
    CoreMappedFile file;
    ASSERT_TRUE(file.CreateReadWrite(first.c_str(), 64));
    void* base = file.GetBase();
    EXPECT_FALSE(file.OpenRead(second.c_str()));
    EXPECT_FALSE(file.OpenReadWrite(second.c_str(), 6));
    EXPECT_FALSE(file.CreateReadWrite(second.c_str(), 6));
    EXPECT_FALSE(file.MemReadWrite(64)); // a second mapping would be lost
    EXPECT_EQ(file.GetBase(), base);
    static_cast<char*>(base)[63] = 'z';
    EXPECT_EQ(p3dtest::ReadFile(second), "second");

    file.Close();
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.GetBase(), nullptr);
    EXPECT_EQ(file.GetSize(), 0u);
    EXPECT_EQ(file.GetProtection(), CoreMappedFile::kProtectReadWrite); // kept by Close
}

TEST(CoreMappedFile, HalfOpenObjectReleasesItsDescriptorOnTheNextOpen)
{
    p3dtest::TempDir dir;
    const std::string empty = dir.file("empty");
    const std::string data = dir.file("data");
    p3dtest::WriteFile(empty, "");
    p3dtest::WriteFile(data, "data");
    CoreMappedFile file;
    EXPECT_FALSE(file.OpenRead(empty.c_str())); // nothing to map
    const int held = file.GetFileDescriptor();
    ASSERT_NE(held, -1);
    EXPECT_FALSE(file.IsOpen());

    ASSERT_TRUE(file.OpenRead(data.c_str()));
    // The half-open descriptor was closed, so the new open could reuse its number.
    EXPECT_EQ(file.GetFileDescriptor(), held);
}

TEST(CoreMappedFile, ZeroFillReportsAFailedWrite)
{
    // /dev/full refuses every write, as a full disk does.
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_NE(full, -1);
    EXPECT_FALSE(CoreMappedFile::DiskFile_ZeroFillData(full, 4096));
    EXPECT_FALSE(CoreMappedFile::DiskFile_ZeroFillData(full, 3));
    EXPECT_TRUE(CoreMappedFile::DiskFile_ZeroFillData(full, 0));
    close(full);
}

TEST(CoreMappedFile, FileSizeLimitMidFillFailsTheOpenInsteadOfMappingPastTheEnd)
{
    p3dtest::TempDir dir;
    const std::string path = dir.file("limited");
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {8192, 8192};
        setrlimit(RLIMIT_FSIZE, &limit);
        p3dtest::LogCapture log;
        CoreMappedFile file;
        const bool opened = file.CreateReadWrite(path.c_str(), 65536);
        const bool reported = log.text().find(" code : DiskFile_ZeroFillData(m_fd, in_size) in ") !=
                              std::string::npos;
        _exit(!opened && file.GetFileDescriptor() == -1 && reported ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Another process may cut the file short under a mapping. A touch past the new end turns that
// mapping, and no other, into zeros of this process's own instead of killing it; a bus error
// anywhere else still ends the process.
TEST(CoreMappedFile, AFileCutShortUnderItsMappingFaultsIntoZerosNotDeath)
{
    p3dtest::TempDir dir;
    const std::string path = dir.file("cut"), other = dir.file("other");
    const size_t size = 4 * 4096;
    CoreMappedFile file, untouched;
    ASSERT_TRUE(file.CreateReadWrite(path.c_str(), size));
    ASSERT_TRUE(untouched.CreateReadWrite(other.c_str(), size));
    memset(file.GetBase(), 0x5A, size);
    memset(untouched.GetBase(), 0x11, size);
    ASSERT_EQ(truncate(path.c_str(), 4096), 0);
    EXPECT_FALSE(file.Faulted());
    volatile UInt8* bytes = static_cast<UInt8*>(file.GetBase());
    bytes[3 * 4096] = 7; // past the end
    EXPECT_TRUE(file.Faulted());
    EXPECT_EQ(bytes[3 * 4096] + bytes[0], 7) << "the whole mapping is the process's own now";
    EXPECT_FALSE(untouched.Faulted());
    EXPECT_EQ(static_cast<UInt8*>(untouched.GetBase())[size - 1], 0x11);

    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        const int fd = open(dir.file("plain").c_str(), O_RDWR | O_CREAT, 0600);
        void* plain = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (plain == MAP_FAILED)
            _exit(2);
        static_cast<volatile UInt8*>(plain)[0] = 1; // an empty file: past its end
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    // Killed by the bus error, or ended by a sanitizer's handler of it.
    EXPECT_TRUE(WIFSIGNALED(status) ? WTERMSIG(status) == SIGBUS : WEXITSTATUS(status) == 1);
}

TEST(CoreMappedFile, CreatesFilesForTheOwnerAlone)
{
    p3dtest::TempDir dir;
    const std::string path = dir.file("private");
    const mode_t saved = umask(0);
    CoreMappedFile file;
    const bool created = file.CreateReadWrite(path.c_str(), 128);
    umask(saved);
    ASSERT_TRUE(created);
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // An existing file of ours that others could read is closed to them when recreated.
    file.Close();
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    ASSERT_TRUE(file.CreateReadWrite(path.c_str(), 128));
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(CoreMappedFile, NeverFollowsALinkNorTouchesWhatItPointsAt)
{
    p3dtest::TempDir dir;
    const std::string victim = dir.file("victim");
    const std::string link = dir.file("link");
    p3dtest::WriteFile(victim, "precious");
    ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
    CoreMappedFile file;
    EXPECT_FALSE(file.CreateReadWrite(link.c_str(), 4096));
    EXPECT_FALSE(file.OpenReadWrite(link.c_str(), 4));
    EXPECT_FALSE(file.OpenRead(link.c_str()));
    EXPECT_EQ(file.GetFileDescriptor(), -1);
    EXPECT_EQ(p3dtest::ReadFile(victim), "precious");

    // A dangling link is not created through either.
    const std::string dangling = dir.file("dangling");
    ASSERT_EQ(symlink(dir.file("target").c_str(), dangling.c_str()), 0);
    EXPECT_FALSE(file.CreateReadWrite(dangling.c_str(), 16));
    struct stat info;
    EXPECT_NE(stat(dir.file("target").c_str(), &info), 0);

    // Nor a second name of one of our files.
    const std::string hardlink = dir.file("hardlink");
    ASSERT_EQ(::link(victim.c_str(), hardlink.c_str()), 0);
    EXPECT_FALSE(file.CreateReadWrite(hardlink.c_str(), 16));
    EXPECT_FALSE(file.OpenRead(hardlink.c_str()));
    EXPECT_EQ(p3dtest::ReadFile(victim), "precious");
}

TEST(CoreMappedFile, RefusesFoldersFifosAndShortFiles)
{
    p3dtest::TempDir dir;
    const std::string folder = dir.file("folder");
    const std::string fifo = dir.file("fifo");
    const std::string shortFile = dir.file("short");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    p3dtest::WriteFile(shortFile, std::string(100, 's'));
    CoreMappedFile file;
    for (const std::string& path : {folder, fifo}) {
        EXPECT_FALSE(file.OpenRead(path.c_str())) << path;
        EXPECT_FALSE(file.OpenReadWrite(path.c_str(), 16)) << path;
        EXPECT_FALSE(file.CreateReadWrite(path.c_str(), 16)) << path;
    }
    // Never mapped past the end of the file.
    EXPECT_FALSE(file.OpenReadWrite(shortFile.c_str(), 101));
    EXPECT_TRUE(file.OpenReadWrite(shortFile.c_str(), 100));
    EXPECT_EQ(p3dtest::ReadFile(shortFile), std::string(100, 's'));
}

TEST(CoreMappedFile, RefusesAFileOfAnotherUser)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give a file away";
    p3dtest::TempDir dir;
    const std::string path = dir.file("theirs");
    p3dtest::WriteFile(path, std::string(64, 't'));
    ASSERT_EQ(chown(path.c_str(), 54321, 54321), 0);
    CoreMappedFile file;
    EXPECT_FALSE(file.OpenRead(path.c_str()));
    EXPECT_FALSE(file.OpenReadWrite(path.c_str(), 64));
    EXPECT_FALSE(file.CreateReadWrite(path.c_str(), 64));
    EXPECT_EQ(p3dtest::ReadFile(path), std::string(64, 't'));
}

TEST(CoreMappedFile, SyncMemoryDelaySleepsWholeAndFractionalSeconds)
{
    CoreMappedFile file;
    struct timespec before, after;
    clock_gettime(CLOCK_MONOTONIC, &before);
    EXPECT_TRUE(file.SyncMemoryDelay(0.05));
    clock_gettime(CLOCK_MONOTONIC, &after);
    const double slept =
        double(after.tv_sec - before.tv_sec) + double(after.tv_nsec - before.tv_nsec) / 1e9;
    EXPECT_GE(slept, 0.05);
    EXPECT_TRUE(file.SyncMemoryDelay(0.0));
    EXPECT_FALSE(file.SyncMemoryDelay(-1.0));
    EXPECT_FALSE(file.SyncMemoryDelay(1e300));
    EXPECT_FALSE(file.SyncMemoryDelay(std::nan("")));
}

TEST(CoreMappedFile, DelaysSplitIntoWholeSecondsAndNanoseconds)
{
    struct Case
    {
        double seconds;
        time_t whole;
        long nanoseconds;
    };
    for (const Case& c : {Case{1.5, 1, 500000000}, Case{2.3, 2, 300000000}, Case{0.0, 0, 0},
                          Case{0.000000001, 0, 1}, Case{3.9999999999, 4, 0}}) {
        struct timespec delay = {-1, -1};
        ASSERT_TRUE(CoreMappedFile::DelayToTimespec(c.seconds, delay)) << c.seconds;
        EXPECT_EQ(delay.tv_sec, c.whole) << c.seconds;
        EXPECT_EQ(delay.tv_nsec, c.nanoseconds) << c.seconds;
    }
    struct timespec untouched = {7, 7};
    for (double refused : {-0.5, 1e12, std::nan("")})
        EXPECT_FALSE(CoreMappedFile::DelayToTimespec(refused, untouched)) << refused;
    EXPECT_EQ(untouched.tv_sec, 7);
    EXPECT_EQ(untouched.tv_nsec, 7);
}

} // namespace
