// The picture the virtual camera shows before anything was broadcast: the device's name and
// "NO BROADCAST" on a dark ground, so a consumer sees at once why there is no stereo image.
#pragma once

#include <cstdint>
#include <string>

// Draws width x height pixels of A, R, G, B bytes, rows width * 4 apart.
void DrawNoBroadcastPicture(uint8_t* out_argb, int in_width, int in_height,
                            const std::string& in_deviceName);
