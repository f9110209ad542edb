#include "StereoEncodingList.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CIORBStereoMuxFilter.h"
#include "CoreMachDebugLog.h"
#include "Folders.h"
#include "StereoMuxKernel.h"

#define P3D_ENCODING_TEXT(name)                                                                    \
    extern const uint8_t StereoEncoding_##name##_cikernel[];                                       \
    extern const size_t StereoEncoding_##name##_cikernel_length;
P3D_ENCODING_TEXT(RedCyanHalfColour)
P3D_ENCODING_TEXT(RedCyanGrey)
P3D_ENCODING_TEXT(RedGreenGrey)
P3D_ENCODING_TEXT(RedCyanColour)
P3D_ENCODING_TEXT(GreenMagentaDubois)
P3D_ENCODING_TEXT(AmberBlueDubois)
#undef P3D_ENCODING_TEXT

namespace {

constexpr const char* kFunction = "StereoEncodingList";

struct BuiltIn
{
    const char* key; // ffmpeg's stereo3d name of the same encoding
    const char* title;
    StereoEncoding::Kind kind;
    const uint8_t* text; // scrambled; null for the stored stereo mux kernel and packings
    const size_t* length;
};

#define P3D_TEXT(name) StereoEncoding_##name##_cikernel, &StereoEncoding_##name##_cikernel_length
const BuiltIn kBuiltIns[] = {
    {"arcd", "Red–Cyan Dubois", StereoEncoding::Kind::kAnaglyph, nullptr, nullptr},
    {"arch", "Red–Cyan Half Colour", StereoEncoding::Kind::kAnaglyph, P3D_TEXT(RedCyanHalfColour)},
    {"arcg", "Red–Cyan Grey", StereoEncoding::Kind::kAnaglyph, P3D_TEXT(RedCyanGrey)},
    {"arcc", "Red–Cyan Colour", StereoEncoding::Kind::kAnaglyph, P3D_TEXT(RedCyanColour)},
    {"argg", "Red–Green Grey", StereoEncoding::Kind::kAnaglyph, P3D_TEXT(RedGreenGrey)},
    {"agmd", "Green–Magenta Dubois", StereoEncoding::Kind::kAnaglyph, P3D_TEXT(GreenMagentaDubois)},
    {"aybd", "Amber–Blue Dubois", StereoEncoding::Kind::kAnaglyph, P3D_TEXT(AmberBlueDubois)},
    {"sbs2l", "Side by Side", StereoEncoding::Kind::kSideBySide, nullptr, nullptr},
    {"ab2l", "Top and Bottom", StereoEncoding::Kind::kTopAndBottom, nullptr, nullptr},
};
#undef P3D_TEXT

constexpr std::string_view kExtension = ".cikernel";

bool IsKernelFileName(std::string_view name)
{
    return name.size() > kExtension.size() && name.front() != '.' &&
           name.substr(name.size() - kExtension.size()) == kExtension;
}

std::string Describe(const CoreImage::KernelTextError& error)
{
    return "line " + std::to_string(error.line) + ", column " + std::to_string(error.column) +
           ": " + error.reason;
}

} // namespace

StereoEncodingList::StereoEncodingList(const std::string& userFolder)
{
    VERIFY_AT(kFunction, import_CIORBStereoMuxFilter(false));
    for (const BuiltIn& builtIn : kBuiltIns) {
        StereoEncoding encoding;
        encoding.key = builtIn.key;
        encoding.title = builtIn.title;
        encoding.kind = builtIn.kind;
        if (builtIn.kind == StereoEncoding::Kind::kAnaglyph) {
            // The default is the filter's own stored kernel: the same output, bit for bit.
            encoding.kernel =
                builtIn.text
                    ? WithUnscrambledText(
                          builtIn.text, *builtIn.length,
                          [](std::string_view text) { return CIKernel::kernelWithText(text); })
                    : CFPtr<CIKernel>(const_cast<CIKernel*>(CIORBStereoMuxFilter::kernel()));
            VERIFY_AT(kFunction, encoding.kernel != nullptr);
        }
        mEncodings.push_back(std::move(encoding));
    }

    if (userFolder.empty())
        return;
    DIR* folder = opendir(userFolder.c_str());
    if (!folder)
        return; // no folder, no user kernels
    std::vector<std::string> names;
    while (const dirent* entry = readdir(folder))
        if (IsKernelFileName(entry->d_name))
            names.push_back(entry->d_name);
    closedir(folder);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        StereoEncoding encoding;
        encoding.key = kUserKeyPrefix + name;
        encoding.title = name;
        encoding.kernel = CompileUserFile(userFolder + "/" + name, &encoding.error);
        mEncodings.push_back(std::move(encoding));
    }
}

std::string StereoEncodingList::UserKernelFolder()
{
    char path[PATH_MAX];
    return FolderPathForDomain(kUserDomain, kStereoKernelsFolderType, path, sizeof path)
               ? std::string(path)
               : std::string();
}

const StereoEncoding& StereoEncodingList::find(std::string_view key) const
{
    for (const StereoEncoding& encoding : mEncodings)
        if (encoding.key == key && encoding.usable())
            return encoding;
    return mEncodings.front();
}

CFPtr<CIKernel> StereoEncodingList::CompileUserText(std::string_view text, std::string* error)
{
    CoreImage::KernelTextError fault;
    CFPtr<CIKernel> kernel = CIKernel::kernelWithText(text, &fault);
    if (!kernel && error)
        *error = Describe(fault);
    return kernel;
}

CFPtr<CIKernel> StereoEncodingList::CompileUserFile(const std::string& path, std::string* error)
{
    // Not blocking on a pipe or a device that merely carries the name.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int code = fd < 0 ? errno : EINVAL;
        if (fd >= 0)
            close(fd);
        if (error)
            *error = std::string("cannot be read: ") + strerror(code);
        return nullptr;
    }
    // One byte past the limit is enough for the compiler to refuse a long text where it ends.
    std::string text(CoreImage::ColorMatrixKernel::kMaxTextBytes + 1, '\0');
    size_t filled = 0;
    int code = 0;
    while (filled < text.size()) {
        const ssize_t got = read(fd, text.data() + filled, text.size() - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            code = errno;
        if (got <= 0)
            break;
        filled += size_t(got);
    }
    close(fd);
    if (code != 0) {
        if (error)
            *error = std::string("cannot be read: ") + strerror(code);
        return nullptr;
    }
    text.resize(filled);
    return CompileUserText(text, error);
}

bool import_StereoEncodingList()
{
    return true;
}
