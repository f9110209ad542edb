#include "CoreUnixPath.h"

#include <cctype>
#include <climits>
#include <string_view>
#include <unistd.h>

#include "CoreMachDebugLog.h"
#include "TCFString.h"

const char* const CoreUnixPath::s_slash_str_const = "/";

// Positions as signed numbers, -1 for "not found", so that comparisons read naturally.
static long FindLast(const std::string& text, char c)
{
    const size_t at = text.rfind(c);
    return at == std::string::npos ? -1 : long(at);
}

CoreUnixPath::CoreUnixPath() = default;

CoreUnixPath::CoreUnixPath(const char* in_path)
{
    Construct(in_path);
}

CoreUnixPath::CoreUnixPath(const CoreUnixPath& in_path) : mPath(in_path.mPath) {}

CoreUnixPath::CoreUnixPath(CFStringRef unix_file_path)
{
    Construct(unix_file_path);
}

CoreUnixPath::CoreUnixPath(CFURLRef unix_file_url)
{
    Construct(unix_file_url);
}

CoreUnixPath::~CoreUnixPath() = default;

bool CoreUnixPath::Construct(const char* in_path)
{
    if (in_path)
        mPath = in_path;
    else
        mPath.clear();
    return !mPath.empty();
}

bool CoreUnixPath::Construct(CFStringRef unix_file_path)
{
    mPath.clear();
    if (!VERIFY(unix_file_path))
        return false;
    bool fOk;
    VERIFY(fOk = TCFString(unix_file_path).GetValue(mPath));
    return fOk;
}

bool CoreUnixPath::Construct(CFURLRef unix_file_url)
{
    if (!VERIFY(unix_file_url)) {
        mPath.clear();
        return false;
    }
    CFStringRef posix_file_path = CFURLCopyFileSystemPath(unix_file_url, kCFURLPOSIXPathStyle);
    if (!VERIFY(posix_file_path))
        return false;
    const bool fOk = Construct(posix_file_path);
    CFRelease(posix_file_path);
    return fOk;
}

CoreUnixPath& CoreUnixPath::operator=(const CoreUnixPath& in_path)
{
    mPath = in_path.mPath;
    return *this;
}

bool CoreUnixPath::IsRootPath(const char* in_path)
{
    if (!in_path || !*in_path)
        return false;
    for (const char* c = in_path; *c; ++c)
        if (*c != '/')
            return false;
    return true;
}

bool CoreUnixPath::IsRoot() const
{
    return IsRootPath(mPath.c_str());
}

bool CoreUnixPath::AddTrailingSlash(std::string& path)
{
    if (!path.empty() && path.back() == '/')
        return false;
    path += s_slash_str_const;
    return true;
}

bool CoreUnixPath::RemoveTrailingSlash(std::string& path)
{
    if (path.empty() || path.back() != '/')
        return false;
    path.pop_back();
    return true;
}

bool CoreUnixPath::RemoveTrailingSlash()
{
    return RemoveTrailingSlash(mPath);
}

bool CoreUnixPath::GetPathParent(const std::string& path, std::string& parent_path)
{
    parent_path.clear();
    if (IsRootPath(path.c_str()))
        return false;
    std::string trimmed = path;
    RemoveTrailingSlash(trimmed);
    const long slash = FindLast(trimmed, '/');
    if (slash < 1)
        return false;
    parent_path = trimmed.substr(0, size_t(slash)) + s_slash_str_const;
    return true;
}

bool CoreUnixPath::GetParent(std::string& parent_path) const
{
    return GetPathParent(mPath, parent_path);
}

bool CoreUnixPath::GetParent(CoreUnixPath& out_parent) const
{
    std::string parent_path;
    if (!VERIFY(GetParent(parent_path)))
        return false;
    return out_parent.Construct(parent_path.c_str());
}

bool CoreUnixPath::GetPathJustName(const std::string& path, std::string& name, bool inReport)
{
    name.clear();
    if (!(inReport ? VERIFY(!IsRootPath(path.c_str())) : !IsRootPath(path.c_str())))
        return false;
    std::string trimmed = path;
    RemoveTrailingSlash(trimmed);
    const long slash = FindLast(trimmed, '/');
    if (slash < 1)
        return false;
    name = trimmed.substr(size_t(slash) + 1);
    return true;
}

bool CoreUnixPath::GetPathJustName(const std::string& path, std::string& name)
{
    return GetPathJustName(path, name, true);
}

bool CoreUnixPath::GetJustName(std::string& name) const
{
    return GetPathJustName(mPath, name);
}

bool CoreUnixPath::AddPathExtension(std::string& path, const std::string& extension)
{
    if (!VERIFY(!IsRootPath(path.c_str())))
        return false;
    if (extension.empty() || extension[0] != '.')
        path += '.';
    path += extension;
    return true;
}

bool CoreUnixPath::HasValidFileExtension(const std::string& path)
{
    const long rfound_dot_at = FindLast(path, '.');
    const long rfound_slash_at = FindLast(path, '/');
    if (rfound_dot_at < 1)
        return false;
    // clang-format off
    return VERIFY(rfound_dot_at>rfound_slash_at);
    // clang-format on
}

bool CoreUnixPath::GetPathExtension(const std::string& path, std::string& extension, bool inReport)
{
    extension.clear();
    if (!(inReport ? VERIFY(!IsRootPath(path.c_str())) : !IsRootPath(path.c_str())))
        return false;
    const long rfound_dot_at = FindLast(path, '.');
    // clang-format off
    if (!(inReport ? VERIFY(int(rfound_dot_at)>0) : rfound_dot_at > 0))
        return false;
    // clang-format on
    extension = path.substr(size_t(rfound_dot_at) + 1);
    return true;
}

bool CoreUnixPath::GetPathExtension(const std::string& path, std::string& extension)
{
    return GetPathExtension(path, extension, true);
}

bool CoreUnixPath::GetExtension(std::string& extension) const
{
    return GetPathExtension(mPath, extension);
}

bool CoreUnixPath::HasPathExtension(const std::string& path, const std::string& extension)
{
    std::string s_extension;
    if (!VERIFY(GetPathExtension(path, s_extension)))
        return false;
    const size_t skip = (!extension.empty() && extension[0] == '.') ? 1 : 0;
    const std::string wanted = extension.substr(skip);
    if (wanted.size() != s_extension.size())
        return false;
    for (size_t i = 0; i < wanted.size(); ++i)
        if (tolower(UInt8(wanted[i])) != tolower(UInt8(s_extension[i])))
            return false;
    return true;
}

bool CoreUnixPath::HasExtension(const std::string& extension) const
{
    return HasValidFileExtension(mPath) && HasPathExtension(mPath, extension);
}

bool CoreUnixPath::ReplacePathExtension(std::string& path, const std::string& extension)
{
    if (!VERIFY(!IsRootPath(path.c_str())))
        return false;
    if (HasValidFileExtension(path))
        path.erase(path.rfind('.'));
    return AddPathExtension(path, extension);
}

bool CoreUnixPath::ReplaceExtension(const std::string& extension)
{
    return ReplacePathExtension(mPath, extension);
}

bool CoreUnixPath::IsFullyQualified(const char* in_path)
{
    const bool CoreUnixPath_NotNull = in_path != nullptr;
    if (!VERIFY(CoreUnixPath_NotNull))
        return false;
    return in_path[0] == '/';
}

bool CoreUnixPath::IsPartiallyQualified(const char* in_path)
{
    const bool CoreUnixPath_NotNull = in_path != nullptr;
    if (!VERIFY(CoreUnixPath_NotNull))
        return false;
    return in_path[0] && in_path[0] != '/' &&
           std::string_view(in_path).find('/') != std::string_view::npos;
}

bool CoreUnixPath::IsQualified(const char* in_path)
{
    return IsFullyQualified(in_path) || IsPartiallyQualified(in_path);
}

bool CoreUnixPath::IsJustName(const char* in_path)
{
    return in_path && in_path[0] && std::string_view(in_path).find('/') == std::string_view::npos;
}

bool CoreUnixPath::IsFullyQualified() const
{
    return VERIFY(!IsEmpty()) && IsFullyQualified(mPath.c_str());
}

bool CoreUnixPath::IsPartiallyQualified() const
{
    return VERIFY(!IsEmpty()) && IsPartiallyQualified(mPath.c_str());
}

bool CoreUnixPath::IsQualified() const
{
    return VERIFY(!IsEmpty()) && IsQualified(mPath.c_str());
}

bool CoreUnixPath::IsJustName() const
{
    return VERIFY(!IsEmpty()) && !IsQualified(mPath.c_str());
}

bool CoreUnixPath::GetPathBasePartAndNamePart(const std::string& path, std::string& base,
                                              std::string& name)
{
    base.clear();
    name.clear();
    const size_t path_length = path.size();
    if (!VERIFY(path_length))
        return false;
    if (IsFullyQualified(path.c_str())) {
        base = s_slash_str_const;
        name = path.substr(1);
    } else if (IsJustName(path.c_str())) {
        base = path;
    } else {
        const size_t slash = path.find('/');
        base = path.substr(0, slash + 1);
        name = path.substr(slash + 1);
    }
    return true;
}

bool CoreUnixPath::GetFirstPair(std::string& base, std::string& name) const
{
    if (!VERIFY(!IsEmpty()))
        return false;
    if (IsJustName(mPath.c_str())) {
        base = "./";
        name = mPath;
        return true;
    }
    return GetPathBasePartAndNamePart(mPath, base, name);
}

bool CoreUnixPath::GetNextPair(std::string& base, std::string& name) const
{
    const size_t base_length = base.size();
    // clang-format off
    if (!VERIFY(!IsEmpty() && (base_length>0)))
        return false;
    // clang-format on
    if (!IsPartiallyQualified(name.c_str()) || base_length > mPath.size() ||
        mPath.compare(0, base_length, base) != 0)
        return false;
    std::string next_base;
    std::string next_name;
    if (!GetPathBasePartAndNamePart(mPath.substr(base_length), next_base, next_name))
        return false;
    base += next_base;
    name = next_name;
    return true;
}

bool CoreUnixPath::chdir() const
{
    if (!VERIFY(!IsEmpty()))
        return false;
    bool fOk;
    // clang-format off
    VERIFY(fOk = (0==::chdir(mPath.c_str())));
    // clang-format on
    return fOk;
}

bool CoreUnixPath::getcwd()
{
    char buffer[1025];
    const char* cwd = ::getcwd(buffer, sizeof(buffer));
    if (!VERIFY(cwd))
        return false;
    return VERIFY(Construct(cwd));
}

bool CoreUnixPath::FileExists(const char* in_path)
{
    return in_path && access(in_path, F_OK) == 0;
}

bool CoreUnixPath::FileExistsRead(const char* in_path)
{
    return in_path && access(in_path, R_OK) == 0;
}

bool CoreUnixPath::FileExistsWrite(const char* in_path)
{
    return FileExistsReadWrite(in_path);
}

bool CoreUnixPath::FileExistsReadWrite(const char* in_path)
{
    return in_path && access(in_path, R_OK | W_OK) == 0;
}

bool CoreUnixPath::FileDelete(const char* in_path)
{
    if (!in_path)
        return false;
    bool fOk;
    // clang-format off
    VERIFY(fOk = (0==unlink(in_path)));
    // clang-format on
    return fOk;
}

bool CoreUnixPath::FolderDelete(const char* in_path)
{
    if (!in_path)
        return false;
    bool fOk;
    // clang-format off
    VERIFY(fOk = (0==rmdir(in_path)));
    // clang-format on
    return fOk;
}

bool CoreUnixPath::MakeSymbolicLinkFromTo(const char* in_from_path, const char* in_to_path)
{
    if (!in_to_path || !FileExistsRead(in_from_path))
        return false;
    std::string from = in_from_path;
    std::string to = in_to_path;
    RemoveTrailingSlash(from);
    RemoveTrailingSlash(to);
    const int posix_result = symlink(from.c_str(), to.c_str());
    bool fOk;
    // clang-format off
    VERIFY(fOk = (0==posix_result));
    // clang-format on
    return fOk;
}

bool import_CoreUnixPath()
{
    return import_CoreMachDebugLog() && import_TCFString();
}
