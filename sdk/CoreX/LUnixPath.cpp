#include "LUnixPath.h"

#include "CoreUnixPath.h"

// Same results as CoreUnixPath; the text rules live there only.
const char* const LUnixPath::s_slash_str_const = CoreUnixPath::s_slash_str_const;

LUnixPath::LUnixPath() = default;
LUnixPath::LUnixPath(const char* in_path)
{
    Construct(in_path);
}
LUnixPath::LUnixPath(const LUnixPath& in_path) : mPath(in_path.mPath) {}
LUnixPath::~LUnixPath() = default;

bool LUnixPath::Construct(const char* in_path)
{
    mPath = in_path ? in_path : "";
    return !mPath.empty();
}

LUnixPath& LUnixPath::operator=(const LUnixPath& in_path)
{
    mPath = in_path.mPath;
    return *this;
}

bool LUnixPath::IsRoot() const
{
    return CoreUnixPath::IsRootPath(mPath.c_str());
}

bool LUnixPath::IsRootPath(const char* in_path)
{
    return CoreUnixPath::IsRootPath(in_path);
}

bool LUnixPath::AddTrailingSlash(std::string& path)
{
    return CoreUnixPath::AddTrailingSlash(path);
}

bool LUnixPath::RemoveTrailingSlash(std::string& path)
{
    return CoreUnixPath::RemoveTrailingSlash(path);
}

bool LUnixPath::RemoveTrailingSlash()
{
    return CoreUnixPath::RemoveTrailingSlash(mPath);
}

bool LUnixPath::GetPathParent(const std::string& path, std::string& parent_path)
{
    return CoreUnixPath::GetPathParent(path, parent_path);
}

bool LUnixPath::GetParent(LUnixPath& out_parent) const
{
    std::string parent_path;
    return GetPathParent(mPath, parent_path) && out_parent.Construct(parent_path.c_str());
}

bool LUnixPath::GetPathJustName(const std::string& path, std::string& name)
{
    return CoreUnixPath::GetPathJustName(path, name, false);
}

bool LUnixPath::GetJustName(std::string& name) const
{
    return GetPathJustName(mPath, name);
}

bool LUnixPath::AddPathExtension(std::string& path, const std::string& extension)
{
    return CoreUnixPath::AddPathExtension(path, extension);
}

bool LUnixPath::HasValidFileExtension(const std::string& path)
{
    return CoreUnixPath::HasValidFileExtension(path);
}

bool LUnixPath::GetPathExtension(const std::string& path, std::string& extension)
{
    return CoreUnixPath::GetPathExtension(path, extension, false);
}

bool LUnixPath::GetExtension(std::string& extension) const
{
    return GetPathExtension(mPath, extension);
}

bool LUnixPath::HasPathExtension(const std::string& path, const std::string& extension)
{
    return CoreUnixPath::HasPathExtension(path, extension);
}

bool LUnixPath::HasExtension(const std::string& extension) const
{
    return CoreUnixPath(mPath.c_str()).HasExtension(extension);
}

bool LUnixPath::ReplacePathExtension(std::string& path, const std::string& extension)
{
    return CoreUnixPath::ReplacePathExtension(path, extension);
}

bool LUnixPath::ReplaceExtension(const std::string& extension)
{
    return ReplacePathExtension(mPath, extension);
}

bool LUnixPath::IsFullyQualified(const char* in_path)
{
    return CoreUnixPath::IsFullyQualified(in_path);
}

bool LUnixPath::IsPartiallyQualified(const char* in_path)
{
    return CoreUnixPath::IsPartiallyQualified(in_path);
}

bool LUnixPath::IsQualified(const char* in_path)
{
    return CoreUnixPath::IsQualified(in_path);
}

bool LUnixPath::IsJustName(const char* in_path)
{
    return CoreUnixPath::IsJustName(in_path);
}

bool LUnixPath::IsFullyQualified() const
{
    return CoreUnixPath(mPath.c_str()).IsFullyQualified();
}

bool LUnixPath::IsPartiallyQualified() const
{
    return CoreUnixPath(mPath.c_str()).IsPartiallyQualified();
}

bool LUnixPath::IsQualified() const
{
    return CoreUnixPath(mPath.c_str()).IsQualified();
}

bool LUnixPath::IsJustName() const
{
    return CoreUnixPath(mPath.c_str()).IsJustName();
}

bool LUnixPath::GetPathBasePartAndNamePart(const std::string& path, std::string& base,
                                           std::string& name)
{
    return CoreUnixPath::GetPathBasePartAndNamePart(path, base, name);
}

bool LUnixPath::GetFirstPair(std::string& base, std::string& name) const
{
    return CoreUnixPath(mPath.c_str()).GetFirstPair(base, name);
}

bool LUnixPath::GetNextPair(std::string& base, std::string& name) const
{
    return CoreUnixPath(mPath.c_str()).GetNextPair(base, name);
}

bool import_LUnixPath()
{
    return import_CoreUnixPath();
}
