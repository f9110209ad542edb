// The cameras of the machine: every V4L2 capture node in node order, with its inputs.
//
// A camera is a device and one of its inputs. Each has one name that is human, unique on the
// machine and stable, because cameras are chosen and found by it (USB webcams all call their one
// input "Camera 1"): the card for a device with one input, "card: input" for one of several,
// and " (2)", " (3)", ... after names that would otherwise be equal, in the order of the
// devices' bus positions, so that the same port gives the same name after a replug or a reboot.
// Devices get unique names from their cards the same way. Names fit kMaxNameBytes: the text is
// cut at a character boundary before a suffix is added, so a suffix never goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct V4L2Camera
{
    uint32_t input = 0;
    std::string inputName; // as the driver names the input
    std::string name;
};

struct V4L2CameraDevice
{
    std::string node;
    std::string card;
    std::string busInfo;
    std::string name;
    std::vector<V4L2Camera> cameras; // one per input; none for a device without inputs
};

class V4L2CameraList
{
public:
    static constexpr size_t kMaxNameBytes = 63;

    // The capture nodes of the seam in force; nodes that do not open or do not capture video
    // are left out.
    static V4L2CameraList Enumerate();

    // Names the devices and their cameras from cards, input names and bus positions; the
    // names given in in_devices are replaced.
    explicit V4L2CameraList(std::vector<V4L2CameraDevice> in_devices);

    const std::vector<V4L2CameraDevice>& Devices() const { return mDevices; }
    const V4L2CameraDevice* FindDevice(std::string_view in_name) const;
    const V4L2CameraDevice* FindNode(std::string_view in_node) const;
    // The device and camera of that camera name, or two nulls.
    std::pair<const V4L2CameraDevice*, const V4L2Camera*>
    FindCamera(std::string_view in_name) const;

    // At most in_maxBytes of in_text, never splitting a UTF-8 character.
    static std::string Cut(std::string_view in_text, size_t in_maxBytes);

private:
    std::vector<V4L2CameraDevice> mDevices;
};
