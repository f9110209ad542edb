// The frei0r entry points: how ffmpeg, MLT and GStreamer reach the camera input filter. Hosts
// load and construct plug-ins while they scan, so only the first update touches the channel.
// While the stamped channel's writer lives, its frames (at the broadcast's size) are taken
// instead of the classic channel's, fitted to the host's size.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

// The header has no C++ guards of its own.
extern "C" {
#include <frei0r.h>
}

#include "CFNumber.h"
#include "CGPixelOrder.h"
#include "CIContext.h"
#include "CIParallax3DInput.h"
#include "ChannelFrameFit.h"
#include "CoreGraphicsBitmapContext.h"
#include "CoreMachDebugLog.h"
#include "StampedChannelReader.h"
#include "shared_camera_bundle.h"

#define P3D_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Beyond this a host frame is not a video frame but a mistake.
constexpr unsigned kMaxSide = 16384;

struct Instance
{
    CFPtr<CIFilter> filter;
    unsigned width = 0;
    unsigned height = 0;
    double clock = 0;
    CFPtr<CIContext> context;
    uint32_t contextPixel = 0; // the context renders into the host's frame, not here
    // The frame as last read under its lock: the host sees this copy, never the live buffer,
    // and keeps seeing it while the lock cannot be had.
    std::unique_ptr<CoreGraphics::BitmapContext> lastFrame;
    CFPtr<CIImage> lastFrameImage; // over lastFrame's pixels
    StampedChannelReader stamped;
    bool stampedAlive = false; // its writer was alive at the last update
};

// Instances alive; the component is let go only when none can still show its memory.
std::atomic<int> sInstances{0};

void RegisterFilter()
{
    static std::once_flag sOnce;
    std::call_once(sOnce, [] { CIParallax3DInputLoader().load(nullptr); });
}

CIParallax3DInput* Filter(const Instance& in_instance)
{
    return static_cast<CIParallax3DInput*>(in_instance.filter.get());
}

// The instance's own bitmap of width x height, over which lastFrameImage lies; null when it
// cannot be made. Only the first, or one of another size, allocates.
CoreGraphics::BitmapContext* KeptFrame(Instance& io_instance, UInt32 width, UInt32 height)
{
    CoreGraphics::BitmapContext* kept = io_instance.lastFrame.get();
    if (kept && kept->mImageWidth == width && kept->mImageHeight == height)
        return kept;
    io_instance.lastFrameImage = nullptr;
    io_instance.lastFrame.reset(new (std::nothrow) CoreGraphics::BitmapContext);
    kept = io_instance.lastFrame.get();
    // clang-format off
    if (!VERIFY(kept && kept->Construct(int(width), int(height), CoreGraphics::BitmapContext::BitmapType_Device_ARGB, 0))) {
        // clang-format on
        io_instance.lastFrame.reset();
        return nullptr;
    }
    io_instance.lastFrameImage =
        CIImage::imageWithARGBMemory(kept->mImageDataBytes, kept->mImageRowBytes, width, height);
    if (!VERIFY(io_instance.lastFrameImage)) {
        io_instance.lastFrame.reset();
        return nullptr;
    }
    return kept;
}

// Copies a shared frame into the instance's own bitmap; the caller holds the frame's lock.
bool KeepFrame(Instance& io_instance, const UInt8* in_pixels, size_t in_rowBytes, UInt32 width,
               UInt32 height)
{
    CoreGraphics::BitmapContext* kept = KeptFrame(io_instance, width, height);
    if (!kept)
        return false;
    for (size_t y = 0; y < height; ++y)
        memcpy(kept->mImageDataBytes + y * kept->mImageRowBytes, in_pixels + y * in_rowBytes,
               size_t(width) * 4);
    return true;
}

// The stamped channel's newest frame kept, or the last one kept from it; null while its writer
// is not alive or nothing was kept yet. The last frame of a writer just gone is kept too.
CIImage* StampedFrame(Instance& io_instance)
{
    const bool alive = io_instance.stamped.IsWriterAlive();
    const bool followed = std::exchange(io_instance.stampedAlive, alive);
    StampedChannelReader::Frame frame;
    if ((alive || followed) && io_instance.stamped.BeginRead(frame)) {
        // Kept at the host's size, between bars when the shapes differ, as the classic picture
        // fits the broadcast.
        if (CoreGraphics::BitmapContext* kept =
                KeptFrame(io_instance, io_instance.width, io_instance.height))
            FitChannelFrameInto(frame.pixels, frame.rowBytes, frame.width, frame.height,
                                kept->mImageDataBytes, int(kept->mImageRowBytes),
                                int(io_instance.width), int(io_instance.height));
        // A copy that may not be whole is never shown.
        if (!io_instance.stamped.EndRead()) {
            io_instance.lastFrameImage = nullptr;
            io_instance.lastFrame.reset();
        }
    }
    return alive ? io_instance.lastFrameImage.get() : nullptr;
}

// One axis of the fit: the first and last pixel centres of the image land on those of the
// frame, so an enlarged image does not fade into transparency at its edges.
void FitAxis(double in_origin, double in_size, unsigned in_frameSize, double* out_scale,
             double* out_offset)
{
    if (in_size > 1 && in_frameSize > 1) {
        *out_scale = (in_frameSize - 1) / (in_size - 1);
        *out_offset = 0.5 - *out_scale * (in_origin + 0.5);
    } else {
        *out_scale = in_frameSize / in_size;
        *out_offset = -in_origin * *out_scale;
    }
}

// Fills the frame to the host's size, whatever the image's size, in the host's byte order.
bool Render(Instance& io_instance, const CIImage* in_image, uint32_t* out_frame)
{
    const CGRect extent = in_image->extent();
    if (extent.size.width <= 0 || extent.size.height <= 0)
        return false;
    const size_t width = io_instance.width, height = io_instance.height;
    auto* frame = reinterpret_cast<uint8_t*>(out_frame);
    // Pixels that already have the host's size need only their bytes reordered: one pass.
    if (in_image->kind() == CIImage::Kind::kSource && in_image->sourceBase() &&
        extent.size.width == width && extent.size.height == height)
        return CGReorderARGBPixels(in_image->sourceBase(), in_image->sourceRowBytes(), frame,
                                   width * 4, width, height, CGPixelOrder::kRGBA);

    CGAffineTransform fit = CGAffineTransformIdentity;
    FitAxis(extent.origin.x, extent.size.width, io_instance.width, &fit.a, &fit.tx);
    FitAxis(extent.origin.y, extent.size.height, io_instance.height, &fit.d, &fit.ty);
    CFPtr<CIImage> fitted = in_image->imageByApplyingTransform(fit);
    if (!fitted || !io_instance.context->render(fitted.get(), out_frame, width * 4,
                                                CGRect{{0, 0}, {double(width), double(height)}}))
        return false;
    return CGReorderARGBPixels(frame, width * 4, frame, width * 4, width, height,
                               CGPixelOrder::kRGBA);
}

} // namespace

P3D_EXPORT int f0r_init()
{
    BundleInitFunc();
    RegisterFilter();
    return 1;
}

P3D_EXPORT void f0r_deinit()
{
    // Hosts unload plug-ins they are done with; the component's view of the channel goes too.
    if (sInstances == 0)
        SharedCameraBundle::sComponent.mDLL.Unload();
}

P3D_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info)
{
    if (!info)
        return;
    info->name = "CIParallax3DInput";
    info->author = "Parallax3D";
    info->plugin_type = F0R_PLUGIN_TYPE_SOURCE;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 1;
    info->minor_version = 201;
    info->num_params = 1;
    info->explanation = "The stereo image Parallax3D broadcasts: the current frame, the last one "
                        "while the broadcast pauses, or a no-camera picture before the first";
}

P3D_EXPORT void f0r_get_param_info(f0r_param_info_t* info, int param_index)
{
    if (!info || param_index != 0)
        return;
    info->name = "inputClock";
    info->type = F0R_PARAM_DOUBLE;
    info->explanation = "Time the host sets (0 to 1000000000); a change only asks for a new "
                        "frame";
}

P3D_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height)
{
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide)
        return nullptr;
    RegisterFilter(); // a host that skips f0r_init still gets a filter
    auto instance = std::unique_ptr<Instance>(new (std::nothrow) Instance);
    if (!instance)
        return nullptr;
    instance->filter = CIFilter::filterWithName(kCIParallax3DInput_FilterName);
    instance->context = CIContext::contextWithARGBMemory(&instance->contextPixel, 4, 1, 1);
    if (!instance->filter || !instance->context)
        return nullptr;
    instance->width = width;
    instance->height = height;
    ++sInstances;
    return instance.release();
}

P3D_EXPORT void f0r_destruct(f0r_instance_t instance)
{
    if (!instance)
        return;
    delete static_cast<Instance*>(instance);
    --sInstances;
}

P3D_EXPORT void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index)
{
    if (!instance || !param || param_index != 0)
        return;
    Instance& self = *static_cast<Instance*>(instance);
    self.clock = *static_cast<const double*>(param);
    // The clock's only effect is that a new output image is asked for; its unit does not matter.
    if (CFNumberRef number = CFNumberCreate(nullptr, kCFNumberDoubleType, &self.clock)) {
        self.filter->setValue(number, kCIParallax3DInput_inputClock);
        CFRelease(number);
    }
}

P3D_EXPORT void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index)
{
    if (!instance || !param || param_index != 0)
        return;
    *static_cast<double*>(param) = static_cast<Instance*>(instance)->clock;
}

P3D_EXPORT void f0r_update(f0r_instance_t instance, double time, const uint32_t*,
                           uint32_t* outframe)
{
    if (!instance || !outframe)
        return;
    Instance& self = *static_cast<Instance*>(instance);
    self.clock = time;
    const size_t pixels = size_t(self.width) * self.height;
    if (CIImage* stamped = StampedFrame(self); stamped && Render(self, stamped, outframe))
        return;
    CIParallax3DInput* filter = Filter(self);
    CFPtr<CIImage> image = filter->outputImage();
    // Without a classic frame, the last one kept from either channel before the picture.
    if (!filter->outputIsCurrentFrame() && self.lastFrameImage)
        image = self.lastFrameImage;

    void* shared = filter->sharedFrameBuffer();
    if (shared && !CIParallax3DInput_VSharedCameraBuffer::RunningInSandboxWithNoSemaphores()) {
        // The live buffer is read only under its lock, and only for as long as a copy takes, so
        // the writer cannot fill it while it is read. Without the lock, the last copy stands in.
        if (filter->outputIsCurrentFrame() && SharedCameraBundle::LockFrameBuffer(shared)) {
            const CGRect extent = image->extent();
            KeepFrame(self, image->sourceBase(), image->sourceRowBytes(), UInt32(extent.size.width),
                      UInt32(extent.size.height));
            SharedCameraBundle::UnLockFrameBuffer(shared);
        }
        image = self.lastFrameImage ? self.lastFrameImage : filter->noCameraImage();
    }
    const bool drawn = image && Render(self, image.get(), outframe);

    if (!drawn) {
        // Nothing to show: opaque black rather than whatever the host's buffer held.
        for (size_t i = 0; i < pixels; ++i)
            outframe[i] = 0xFF000000u; // bytes 0, 0, 0, 255 as R, G, B, A
    }
}
