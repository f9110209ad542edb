#include "FileFrameOutput.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <utility>

namespace {

bool IsStandardOutput(const std::string& path)
{
    return path == "-";
}

} // namespace

FileFrameOutput::FileFrameOutput(std::string in_path, const std::atomic<bool>* in_stop)
    : mPath(std::move(in_path)), mStop(in_stop)
{
}

FileFrameOutput::~FileFrameOutput()
{
    if (mOwnsFd && mFd >= 0)
        ::close(mFd);
}

std::string FileFrameOutput::Description() const
{
    return IsStandardOutput(mPath) ? "standard output" : mPath;
}

bool FileFrameOutput::Open(const OutputSettings& in_settings, std::string& out_error,
                           std::string& out_notice)
{
    out_error.clear();
    out_notice.clear();
    if (OutputFrameBytes(in_settings.format, in_settings.width, in_settings.height) == 0) {
        out_error = "a frame of " + std::to_string(in_settings.width) + " x " +
                    std::to_string(in_settings.height) + " pixels is not something to write";
        return false;
    }
    if (mOwnsFd && mFd >= 0)
        ::close(mFd);
    mFd = -1;
    mOwnsFd = false;

    if (IsStandardOutput(mPath)) {
        mFd = STDOUT_FILENO;
        return true;
    }
    if (mPath.empty()) {
        out_error = "no file name given; give one with --output";
        return false;
    }

    int fd;
    do {
        // A named pipe blocks here until a program opens it for reading.
        fd = ::open(mPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR && !(mStop && mStop->load()));
    if (fd < 0) {
        const int error = errno;
        switch (error) {
        case EINTR: // asked to stop while waiting for a reader: nothing to tell
            break;
        case EISDIR:
            out_error = mPath + " is a folder; give a file name with --output";
            break;
        case ENOENT:
        case ENOTDIR:
            out_error = "the folder for " + mPath +
                        " does not exist; create it first or give another path with --output";
            break;
        case EACCES:
        case EPERM:
        case EROFS:
            out_error = "no permission to write " + mPath +
                        "; choose a place you may write to with --output";
            break;
        case ENOSPC:
            out_error = "no space left for " + mPath + "; free some space or write elsewhere";
            break;
        default:
            out_error = "cannot open " + mPath + " for writing: " + std::strerror(error);
            break;
        }
        return false;
    }
    mFd = fd;
    mOwnsFd = true;
    return true;
}

bool FileFrameOutput::Write(const uint8_t* in_frame, size_t in_bytes, std::string& out_error)
{
    if (mFd < 0) {
        out_error = Description() + " is not open";
        return false;
    }
    const uint8_t* data = in_frame;
    size_t left = in_bytes;
    while (left > 0) {
        const ssize_t written = ::write(mFd, data, left);
        if (written > 0) {
            data += written;
            left -= size_t(written);
            continue;
        }
        const int error = written < 0 ? errno : EIO;
        if (error == EINTR || error == EAGAIN || error == EWOULDBLOCK) {
            // The run is ending: leave the rest of the frame, it has no reader that matters.
            if (mStop && mStop->load())
                return true;
            if (error != EINTR) {
                // A standard output left non-blocking by the parent: wait, as a file would.
                pollfd wait{mFd, POLLOUT, 0};
                ::poll(&wait, 1, -1);
            }
            continue;
        }
        switch (error) {
        case EPIPE:
            out_error = "the program reading " + Description() + " went away";
            break;
        case ENOSPC:
        case EDQUOT:
            out_error =
                "no space left for " + Description() + "; free some space or write elsewhere";
            break;
        default:
            out_error = "writing to " + Description() + " failed: " + std::strerror(error);
            break;
        }
        return false;
    }
    return true;
}
