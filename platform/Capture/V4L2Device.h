// Typed wrappers over the V4L2 ioctls the capture layer uses, through the system-call seam.
// Each returns 0 or a negative errno value and logs nothing: the caller knows the context.
#pragma once

#include <cstdint>
#include <linux/videodev2.h>
#include <string>
#include <vector>

namespace V4L2 {

int Open(const char* in_node, int* out_fd); // read-write, non-blocking
void Close(int& io_fd);                     // -1 afterwards
int QueryCapability(int in_fd, v4l2_capability& out_cap);
// Whether a node delivers video frames (metadata-only and output nodes do not).
bool IsVideoCapture(const v4l2_capability& in_cap);
// Whether a node takes video frames (a v4l2loopback device before a program reads it).
bool IsVideoOutput(const v4l2_capability& in_cap);
// The capabilities of the node itself, not of the whole device.
uint32_t NodeCapabilities(const v4l2_capability& in_cap);
// The kernel's NUL-terminated fixed field as a string, never reading past it.
std::string FieldText(const uint8_t* in_field, size_t in_size);

int EnumInput(int in_fd, uint32_t in_index, v4l2_input& out_input);
int SetInput(int in_fd, int in_index);
int EnumFormat(int in_fd, uint32_t in_index, uint32_t* out_fourcc,
               uint32_t in_type = V4L2_BUF_TYPE_VIDEO_CAPTURE);
int EnumFrameSize(int in_fd, uint32_t in_fourcc, uint32_t in_index, v4l2_frmsizeenum& out_size);
// Asks for width x height in fourcc; out_format holds what the device answered.
int SetFormat(int in_fd, uint32_t in_fourcc, uint32_t in_width, uint32_t in_height,
              v4l2_format& out_format);
// The format of one buffer type, and setting it: io_format.type says which.
int GetFormat(int in_fd, uint32_t in_type, v4l2_format& out_format);
int SetFormat(int in_fd, v4l2_format& io_format);
// One frame every 1/in_framesPerSecond seconds, for capture or output.
int SetFrameRate(int in_fd, uint32_t in_type, int in_framesPerSecond);
// Memory-mapped buffers of a buffer type, capture unless said.
int RequestBuffers(int in_fd, uint32_t* io_count, uint32_t in_type = V4L2_BUF_TYPE_VIDEO_CAPTURE);
int QueryBuffer(int in_fd, uint32_t in_index, v4l2_buffer& out_buffer,
                uint32_t in_type = V4L2_BUF_TYPE_VIDEO_CAPTURE);
int QueueBuffer(int in_fd, uint32_t in_index, uint32_t in_type = V4L2_BUF_TYPE_VIDEO_CAPTURE);
int DequeueBuffer(int in_fd, v4l2_buffer& out_buffer,
                  uint32_t in_type = V4L2_BUF_TYPE_VIDEO_CAPTURE);
int StreamOn(int in_fd); // capture
int StreamOff(int in_fd);
int StreamOn(int in_fd, uint32_t in_type);
int StreamOff(int in_fd, uint32_t in_type);

} // namespace V4L2
