// A frei0r plug-in whose effect is known exactly: in its B,G,R,A frame it clears the byte at
// offset 2 (red) and sets blue to the "blue" parameter times 255, so a host that mixes up the
// byte order sees the wrong channel change. Built as a source plug-in too, which hosts of
// filters must skip, and as a pixel-only (PACKED32) filter, which must get the host's bytes.
#include <cstdint>
#include <cstring>
// The header declares the entry points without C linkage.
extern "C" {
#include <frei0r.h>
}

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {
struct Instance
{
    unsigned width, height;
    double blue;
};
} // namespace

EXPORT int f0r_init()
{
    return 1;
}

EXPORT void f0r_deinit() {}

EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info)
{
#ifdef P3D_FIXTURE_SOURCE
    info->name = "p3d fixture source";
    info->plugin_type = F0R_PLUGIN_TYPE_SOURCE;
#else
    info->name = "p3d fixture filter";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
#endif
    info->author = "Parallax3D tests";
#ifdef P3D_FIXTURE_PACKED
    info->name = "p3d fixture packed";
    info->color_model = F0R_COLOR_MODEL_PACKED32;
#else
    info->color_model = F0R_COLOR_MODEL_BGRA8888;
#endif
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 1;
    info->minor_version = 0;
    info->num_params = 1;
    info->explanation = "Clears red, sets blue";
}

EXPORT void f0r_get_param_info(f0r_param_info_t* info, int)
{
    info->name = "blue";
    info->type = F0R_PARAM_DOUBLE;
    info->explanation = "Blue level, 0 to 1";
}

EXPORT f0r_instance_t f0r_construct(unsigned width, unsigned height)
{
    // frei0r frames have sides in multiples of 8: refuse anything else, as strict plug-ins do.
    if (width == 0 || height == 0 || width % 8 || height % 8)
        return nullptr;
    return new Instance{width, height, 0.0};
}

EXPORT void f0r_destruct(f0r_instance_t instance)
{
    delete static_cast<Instance*>(instance);
}

EXPORT void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int)
{
    static_cast<Instance*>(instance)->blue = *static_cast<double*>(param);
}

EXPORT void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int)
{
    *static_cast<double*>(param) = static_cast<Instance*>(instance)->blue;
}

EXPORT void f0r_update(f0r_instance_t instance, double, const uint32_t* in, uint32_t* out)
{
    const auto* self = static_cast<Instance*>(instance);
    // Misaligned frames would break vectorised plug-ins: make that visible.
    if ((reinterpret_cast<uintptr_t>(in) | reinterpret_cast<uintptr_t>(out)) & 15)
        __builtin_trap();
    const size_t bytes = size_t(self->width) * self->height * 4;
    const auto* s = reinterpret_cast<const uint8_t*>(in);
    auto* d = reinterpret_cast<uint8_t*>(out);
    for (size_t n = 0; n < bytes; n += 4) {
        d[n] = uint8_t(self->blue * 255 + 0.5);
        d[n + 1] = s[n + 1];
        d[n + 2] = 0;
        d[n + 3] = s[n + 3];
    }
}
