#include "V4L2Device.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

#include "V4L2System.h"

namespace V4L2 {

int Open(const char* in_node, int* out_fd)
{
    const int fd = V4L2Sys().Open(in_node, O_RDWR | O_NONBLOCK);
    *out_fd = fd < 0 ? -1 : fd;
    return fd < 0 ? fd : 0;
}

void Close(int& io_fd)
{
    if (io_fd >= 0)
        V4L2Sys().Close(io_fd);
    io_fd = -1;
}

int QueryCapability(int in_fd, v4l2_capability& out_cap)
{
    out_cap = {};
    return V4L2Sys().Ioctl(in_fd, VIDIOC_QUERYCAP, &out_cap);
}

uint32_t NodeCapabilities(const v4l2_capability& in_cap)
{
    return (in_cap.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? in_cap.device_caps
                                                             : in_cap.capabilities;
}

bool IsVideoCapture(const v4l2_capability& in_cap)
{
    return (NodeCapabilities(in_cap) & V4L2_CAP_VIDEO_CAPTURE) != 0;
}

bool IsVideoOutput(const v4l2_capability& in_cap)
{
    return (NodeCapabilities(in_cap) & V4L2_CAP_VIDEO_OUTPUT) != 0;
}

std::string FieldText(const uint8_t* in_field, size_t in_size)
{
    const void* end = memchr(in_field, 0, in_size);
    const size_t length =
        end != nullptr ? size_t(static_cast<const uint8_t*>(end) - in_field) : in_size;
    return std::string(reinterpret_cast<const char*>(in_field), length);
}

int EnumInput(int in_fd, uint32_t in_index, v4l2_input& out_input)
{
    out_input = {};
    out_input.index = in_index;
    return V4L2Sys().Ioctl(in_fd, VIDIOC_ENUMINPUT, &out_input);
}

int SetInput(int in_fd, int in_index)
{
    int index = in_index;
    return V4L2Sys().Ioctl(in_fd, VIDIOC_S_INPUT, &index);
}

int EnumFormat(int in_fd, uint32_t in_index, uint32_t* out_fourcc, uint32_t in_type)
{
    struct v4l2_fmtdesc desc = {};
    desc.index = in_index;
    desc.type = in_type;
    const int err = V4L2Sys().Ioctl(in_fd, VIDIOC_ENUM_FMT, &desc);
    *out_fourcc = err == 0 ? desc.pixelformat : 0;
    return err;
}

int EnumFrameSize(int in_fd, uint32_t in_fourcc, uint32_t in_index, v4l2_frmsizeenum& out_size)
{
    out_size = {};
    out_size.index = in_index;
    out_size.pixel_format = in_fourcc;
    return V4L2Sys().Ioctl(in_fd, VIDIOC_ENUM_FRAMESIZES, &out_size);
}

int SetFormat(int in_fd, uint32_t in_fourcc, uint32_t in_width, uint32_t in_height,
              v4l2_format& out_format)
{
    out_format = {};
    out_format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    out_format.fmt.pix.width = in_width;
    out_format.fmt.pix.height = in_height;
    out_format.fmt.pix.pixelformat = in_fourcc;
    out_format.fmt.pix.field = V4L2_FIELD_NONE;
    return V4L2Sys().Ioctl(in_fd, VIDIOC_S_FMT, &out_format);
}

int GetFormat(int in_fd, uint32_t in_type, v4l2_format& out_format)
{
    out_format = {};
    out_format.type = in_type;
    return V4L2Sys().Ioctl(in_fd, VIDIOC_G_FMT, &out_format);
}

int SetFormat(int in_fd, v4l2_format& io_format)
{
    return V4L2Sys().Ioctl(in_fd, VIDIOC_S_FMT, &io_format);
}

int SetFrameRate(int in_fd, uint32_t in_type, int in_framesPerSecond)
{
    if (in_framesPerSecond <= 0)
        return -EINVAL;
    struct v4l2_streamparm parm = {};
    parm.type = in_type;
    v4l2_fract& interval = in_type == V4L2_BUF_TYPE_VIDEO_OUTPUT ? parm.parm.output.timeperframe
                                                                 : parm.parm.capture.timeperframe;
    interval.numerator = 1;
    interval.denominator = uint32_t(in_framesPerSecond);
    return V4L2Sys().Ioctl(in_fd, VIDIOC_S_PARM, &parm);
}

int RequestBuffers(int in_fd, uint32_t* io_count, uint32_t in_type)
{
    struct v4l2_requestbuffers req = {};
    req.count = *io_count;
    req.type = in_type;
    req.memory = V4L2_MEMORY_MMAP;
    const int err = V4L2Sys().Ioctl(in_fd, VIDIOC_REQBUFS, &req);
    *io_count = err == 0 ? req.count : 0;
    return err;
}

int QueryBuffer(int in_fd, uint32_t in_index, v4l2_buffer& out_buffer, uint32_t in_type)
{
    out_buffer = {};
    out_buffer.index = in_index;
    out_buffer.type = in_type;
    out_buffer.memory = V4L2_MEMORY_MMAP;
    return V4L2Sys().Ioctl(in_fd, VIDIOC_QUERYBUF, &out_buffer);
}

int QueueBuffer(int in_fd, uint32_t in_index, uint32_t in_type)
{
    struct v4l2_buffer buf = {};
    buf.index = in_index;
    buf.type = in_type;
    buf.memory = V4L2_MEMORY_MMAP;
    return V4L2Sys().Ioctl(in_fd, VIDIOC_QBUF, &buf);
}

int DequeueBuffer(int in_fd, v4l2_buffer& out_buffer, uint32_t in_type)
{
    out_buffer = {};
    out_buffer.type = in_type;
    out_buffer.memory = V4L2_MEMORY_MMAP;
    return V4L2Sys().Ioctl(in_fd, VIDIOC_DQBUF, &out_buffer);
}

int StreamOn(int in_fd)
{
    return StreamOn(in_fd, V4L2_BUF_TYPE_VIDEO_CAPTURE);
}

int StreamOff(int in_fd)
{
    return StreamOff(in_fd, V4L2_BUF_TYPE_VIDEO_CAPTURE);
}

int StreamOn(int in_fd, uint32_t in_type)
{
    int type = int(in_type);
    return V4L2Sys().Ioctl(in_fd, VIDIOC_STREAMON, &type);
}

int StreamOff(int in_fd, uint32_t in_type)
{
    int type = int(in_type);
    return V4L2Sys().Ioctl(in_fd, VIDIOC_STREAMOFF, &type);
}

} // namespace V4L2
