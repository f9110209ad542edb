#include "Frei0rPlugIn.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <sys/stat.h>

#include <frei0r.h>

#include "Diagnostics.h"
#include "Frei0rFunctions.h"

#ifndef P3D_MULTIARCH
#define P3D_MULTIARCH "x86_64-linux-gnu"
#endif

namespace CoreImage {

namespace {

// More than this is a broken info record rather than a filter.
constexpr int kMaxParameters = 256;

std::string Text(const char* text)
{
    return text ? std::string(text) : std::string();
}

bool IsDirectory(const std::string& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The .so files of one folder and of its vendor folders, each group in name order.
void CollectLibraries(const std::string& folder, int depth, std::vector<std::string>& found)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.')
            names.emplace_back(entry->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    std::vector<std::string> vendors;
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        if (IsDirectory(path))
            vendors.push_back(path);
        else if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0)
            found.push_back(path);
    }
    if (depth > 0)
        for (const std::string& vendor : vendors)
            CollectLibraries(vendor, depth - 1, found);
}

} // namespace

std::vector<std::string> Frei0rPlugIn::SearchPath()
{
    std::vector<std::string> folders;
    if (const char* list = std::getenv("FREI0R_PATH")) {
        std::string_view rest(list);
        while (!rest.empty()) {
            const size_t colon = rest.find(':');
            const std::string_view folder = rest.substr(0, colon);
            if (!folder.empty())
                folders.emplace_back(folder);
            if (colon == std::string_view::npos)
                break;
            rest.remove_prefix(colon + 1);
        }
        return folders;
    }
    if (const char* home = std::getenv("HOME"); home && *home)
        folders.push_back(std::string(home) + "/.frei0r-1/lib");
    folders.push_back("/usr/local/lib/frei0r-1");
    folders.push_back("/usr/lib/frei0r-1");
    folders.push_back("/usr/lib/" P3D_MULTIARCH "/frei0r-1");
    return folders;
}

std::vector<std::shared_ptr<Frei0rPlugIn>> Frei0rPlugIn::LoadAllPlugIns()
{
    std::vector<std::shared_ptr<Frei0rPlugIn>> plugIns;
    std::set<std::string> names;
    for (const std::string& folder : SearchPath()) {
        std::vector<std::string> libraries;
        CollectLibraries(folder, 1, libraries);
        for (const std::string& library : libraries) {
            std::shared_ptr<Frei0rPlugIn> plugIn = Load(library);
            if (!plugIn)
                continue;
            if (!names.insert(plugIn->name()).second) {
                DIAG_REPORT("Frei0rPlugIn: %s is hidden by an earlier plug-in named \"%s\"",
                            library.c_str(), plugIn->name().c_str());
                continue;
            }
            plugIns.push_back(std::move(plugIn));
        }
    }
    std::sort(plugIns.begin(), plugIns.end(),
              [](const auto& a, const auto& b) { return a->name() < b->name(); });
    return plugIns;
}

std::shared_ptr<Frei0rPlugIn> Frei0rPlugIn::Load(const std::string& path)
{
    // A library reached twice (a second call, a link) is one plug-in: f0r_init and
    // f0r_deinit must pair once per library, not once per path.
    static std::mutex sMutex;
    static std::map<void*, std::weak_ptr<Frei0rPlugIn>> sLoaded;
    const std::lock_guard<std::mutex> lock(sMutex);

    // Never unmapped: plug-ins built on cairo, OpenCV and the like leave threads, caches and
    // exit handlers behind after f0r_deinit, which would run into unmapped code.
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library) {
        const char* why = dlerror();
        DIAG_REPORT("Frei0rPlugIn: %s does not load: %s", path.c_str(), why ? why : "?");
        return nullptr;
    }
    if (std::shared_ptr<Frei0rPlugIn> loaded = sLoaded[library].lock()) {
        dlclose(library);
        return loaded;
    }
    // From here on the destructor unloads the library.
    std::shared_ptr<Frei0rPlugIn> plugIn(new Frei0rPlugIn);
    plugIn->mLibrary = library;
    plugIn->mPath = path;
    plugIn->mFunctions = std::make_unique<Frei0rFunctions>();
    Frei0rFunctions& f = *plugIn->mFunctions;

    const char* missing = nullptr;
    auto find = [&](auto& function, const char* symbol) {
        function =
            reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, symbol));
        if (!function && !missing)
            missing = symbol;
    };
    find(f.init, "f0r_init");
    find(f.deinit, "f0r_deinit");
    find(f.getPlugInInfo, "f0r_get_plugin_info");
    find(f.getParamInfo, "f0r_get_param_info");
    find(f.construct, "f0r_construct");
    find(f.destruct, "f0r_destruct");
    find(f.setParamValue, "f0r_set_param_value");
    if (missing) {
        DIAG_REPORT("Frei0rPlugIn: %s is not a frei0r plug-in: no %s", path.c_str(), missing);
        return nullptr;
    }

    if (f.init() < 0) {
        DIAG_REPORT("Frei0rPlugIn: %s failed to initialise", path.c_str());
        return nullptr;
    }
    plugIn->mInitialized = true;

    f0r_plugin_info_t info{};
    f.getPlugInInfo(&info);
    if (!info.name || !*info.name) {
        DIAG_REPORT("Frei0rPlugIn: %s has no name", path.c_str());
        return nullptr;
    }
    // Sources and mixers sit beside the filters in every frei0r folder: not a fault, no report.
    if (info.plugin_type != F0R_PLUGIN_TYPE_FILTER)
        return nullptr;
    // Mixers may have only f0r_update2, so this one is looked for once the type is known.
    find(f.update, "f0r_update");
    if (missing) {
        DIAG_REPORT("Frei0rPlugIn: %s (\"%s\") skipped: no %s", path.c_str(), info.name, missing);
        return nullptr;
    }
    if (info.color_model != F0R_COLOR_MODEL_BGRA8888 &&
        info.color_model != F0R_COLOR_MODEL_RGBA8888 &&
        info.color_model != F0R_COLOR_MODEL_PACKED32) {
        DIAG_REPORT("Frei0rPlugIn: %s (\"%s\") skipped: unknown colour model %d", path.c_str(),
                    info.name, info.color_model);
        return nullptr;
    }
    if (info.num_params < 0 || info.num_params > kMaxParameters) {
        DIAG_REPORT("Frei0rPlugIn: %s (\"%s\") skipped: %d parameters", path.c_str(), info.name,
                    info.num_params);
        return nullptr;
    }
    plugIn->mName = info.name;
    plugIn->mAuthor = Text(info.author);
    plugIn->mExplanation = Text(info.explanation);
    plugIn->mColorModel = info.color_model;
    for (int index = 0; index < info.num_params; ++index) {
        f0r_param_info_t param{};
        f.getParamInfo(&param, index);
        if (!param.name || param.type < F0R_PARAM_BOOL || param.type > F0R_PARAM_STRING) {
            DIAG_REPORT("Frei0rPlugIn: %s (\"%s\") skipped: parameter %d is malformed",
                        path.c_str(), info.name, index);
            return nullptr;
        }
        plugIn->mParameters.push_back(Frei0rParameter{param.name, Frei0rParameter::Type(param.type),
                                                      Text(param.explanation)});
    }
    sLoaded[library] = plugIn;
    return plugIn;
}

Frei0rPlugIn::~Frei0rPlugIn()
{
    if (mInitialized)
        mFunctions->deinit();
    if (mLibrary)
        DIAG_CHECK(dlclose(mLibrary) == 0);
}

int Frei0rPlugIn::parameterIndex(std::string_view name) const
{
    for (size_t index = 0; index < mParameters.size(); ++index)
        if (mParameters[index].name == name)
            return int(index);
    return -1;
}

} // namespace CoreImage

bool import_Frei0rPlugIn()
{
    return true;
}
