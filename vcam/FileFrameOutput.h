// Raw frames, one after the other, into a file, a named pipe or standard output ("-").
#pragma once

#include <atomic>

#include "FrameOutput.h"

class FileFrameOutput : public FrameOutput
{
public:
    // in_stop, when given, ends a write that a signal interrupted instead of resuming it.
    explicit FileFrameOutput(std::string in_path, const std::atomic<bool>* in_stop = nullptr);
    ~FileFrameOutput() override;
    FileFrameOutput(const FileFrameOutput&) = delete;
    FileFrameOutput& operator=(const FileFrameOutput&) = delete;

    bool Open(const OutputSettings& in_settings, std::string& out_error,
              std::string& out_notice) override;
    bool Write(const uint8_t* in_frame, size_t in_bytes, std::string& out_error) override;
    std::string Description() const override;

private:
    std::string mPath;
    const std::atomic<bool>* mStop;
    int mFd = -1;
    bool mOwnsFd = false; // standard output is not ours to close
};
