// Path texts and the seat file are parsed from outside input: every operation must hold its
// invariants for any bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "CoreUnixPath.h"
#include "LUnixPath.h"
#include "SCDynamicStore.h"

static void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string text = input.substr(0, input.find('\0'));

    uid_t uid;
    SCParseSeatActiveUID(text.c_str(), &uid);

    std::string out, base, name;
    if (CoreUnixPath::GetPathParent(text, out))
        Check(!out.empty() && out.back() == '/' && out.size() <= text.size());
    if (CoreUnixPath::GetPathJustName(text, out))
        Check(out.find('/') == std::string::npos && out.size() < text.size());
    if (CoreUnixPath::GetPathExtension(text, out))
        Check(out.size() < text.size());
    std::string lout;
    Check(LUnixPath::GetPathExtension(text, lout) == CoreUnixPath::GetPathExtension(text, out) &&
          lout == out);
    CoreUnixPath::HasValidFileExtension(text);
    CoreUnixPath::HasPathExtension(text, "jpg");

    std::string changed = text;
    CoreUnixPath::ReplacePathExtension(changed, "png");
    changed = text;
    CoreUnixPath::AddTrailingSlash(changed);
    CoreUnixPath::RemoveTrailingSlash(changed);

    if (CoreUnixPath::GetPathBasePartAndNamePart(text, base, name))
        Check(base.size() + name.size() <= text.size() + 1);

    // The walk always ends, and only ever grows its base along the path.
    CoreUnixPath path(text.c_str());
    if (path.GetFirstPair(base, name)) {
        size_t steps = 0;
        while (path.GetNextPair(base, name)) {
            Check(++steps <= text.size());
            Check(text.compare(0, base.size(), base) == 0);
        }
    }
    CoreUnixPath::IsQualified(text.c_str());
    CoreUnixPath::IsJustName(text.c_str());
    return 0;
}
