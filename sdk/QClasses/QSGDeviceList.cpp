#include "QSGDeviceList.h"

#include <cstdio>
#include <cstring>

#include "CoreMachDebugLog.h"

namespace {

bool SamePascal(const unsigned char* a, const unsigned char* b)
{
    return a[0] == b[0] && memcmp(a + 1, b + 1, a[0]) == 0;
}

void CopyPascal(unsigned char* to, const unsigned char* from)
{
    const unsigned char length = from[0] > 63 ? 63 : from[0];
    to[0] = length;
    memcpy(to + 1, from + 1, length);
}

} // namespace

void QSGDeviceList::InputIterator::Empty()
{
    EmptyDevice();
    EmptyInput();
}

void QSGDeviceList::InputIterator::EmptyDevice()
{
    device = 0;
    memset(deviceName, 0, sizeof(deviceName));
}

void QSGDeviceList::InputIterator::EmptyInput()
{
    input = 0;
    memset(inputName, 0, sizeof(inputName));
}

bool QSGDeviceList::InputIterator::IsDeviceEmpty() const
{
    return device == 0 && deviceName[0] == 0;
}

bool QSGDeviceList::InputIterator::IsInputEmpty() const
{
    return input == 0 && inputName[0] == 0;
}

bool QSGDeviceList::InputIterator::operator==(const InputIterator& other) const
{
    return device == other.device && input == other.input &&
           SamePascal(deviceName, other.deviceName) && SamePascal(inputName, other.inputName);
}

const char* QSGDeviceList::InputIterator::GetNameForUI() const
{
    static char sName[192];
    char device_name[64], input_name[64];
    snprintf(device_name, sizeof(device_name), "%.*s", int(deviceName[0] > 63 ? 63 : deviceName[0]),
             reinterpret_cast<const char*>(deviceName + 1));
    snprintf(input_name, sizeof(input_name), "%.*s", int(inputName[0] > 63 ? 63 : inputName[0]),
             reinterpret_cast<const char*>(inputName + 1));
    snprintf(sName, sizeof(sName), "Camera Device[%d]:'%s' Input[%d]:'%s' \n", device, device_name,
             input, input_name);
    return sName;
}

void QSGDeviceList::InputIterator::CoreDebugLog(const char* title) const
{
    CoreMachDebugLog("QSGDeviceList::InputIterator %s:%s\n", title ? title : "", GetNameForUI());
}

QSGDeviceList::QSGDeviceList() : mDeviceList(nullptr), mComponent(nullptr) {}

QSGDeviceList::~QSGDeviceList()
{
    if (mDeviceList && mComponent)
        SGDisposeDeviceList(mComponent, mDeviceList);
}

void QSGDeviceList::Adopt(SeqGrabComponent component, SGDeviceList list)
{
    if (mDeviceList && mComponent)
        SGDisposeDeviceList(mComponent, mDeviceList);
    mComponent = component;
    mDeviceList = list;
}

bool QSGDeviceList::IsValid() const
{
    return mDeviceList != nullptr && mComponent != nullptr;
}

short QSGDeviceList::DeviceCount() const
{
    if (!VERIFY(IsValid()) || !*mDeviceList)
        return -1;
    const short count = (*mDeviceList)->count;
    if (count > 0 && !VERIFY((*mDeviceList)->entry))
        return -1;
    return count < 0 ? -1 : count;
}

short QSGDeviceList::InputCount(short device) const
{
    const short count = DeviceCount();
    if (device < 0 || device >= count)
        return -1;
    SGDeviceInputList deviceInputList = (*mDeviceList)->entry[device].inputs;
    if (!deviceInputList || !*deviceInputList)
        return 0;
    const short inputs = (*deviceInputList)->count;
    return inputs > 0 && (*deviceInputList)->entry ? inputs : 0;
}

bool QSGDeviceList::CheckDevice(short device) const
{
    const short deviceCount = DeviceCount();
    if (deviceCount < 0)
        return false; // reported
    // clang-format off
    return VERIFY(0<=device && device<deviceCount);
    // clang-format on
}

bool QSGDeviceList::GetDeviceNameCount(short& count) const
{
    const short devices = DeviceCount();
    if (devices < 0)
        return false;
    count = devices;
    return true;
}

bool QSGDeviceList::IsValidDevice(short device) const
{
    return device >= 0 && device < DeviceCount();
}

bool QSGDeviceList::IsValidDevice(const InputIterator& iterator) const
{
    const short count = DeviceCount();
    return count >= 1 && iterator.device >= 0 && iterator.device < count;
}

bool QSGDeviceList::GetDeviceName(SGDeviceName& name, short device) const
{
    if (!CheckDevice(device))
        return false;
    name = (*mDeviceList)->entry[device];
    return true;
}

bool QSGDeviceList::GetDeviceName(unsigned char* name, short device) const
{
    if (!name || !CheckDevice(device))
        return false;
    memcpy(name, (*mDeviceList)->entry[device].name, sizeof(Str63));
    return true;
}

bool QSGDeviceList::GetDeviceInputNameCount(short device, short& count) const
{
    count = 0;
    if (!CheckDevice(device))
        return false;
    const short inputs = InputCount(device);
    if (inputs < 0)
        return false;
    count = inputs;
    return true;
}

bool QSGDeviceList::GetDeviceInputName(short device, SGDeviceInputName& name,
                                       short in_deviceNameIndex) const
{
    if (!CheckDevice(device))
        return false;
    SGDeviceInputList deviceInputList = (*mDeviceList)->entry[device].inputs;
    if (!VERIFY(deviceInputList) || !*deviceInputList)
        return false;
    const short deviceInputNameCount = InputCount(device);
    // clang-format off
    if (in_deviceNameIndex < 0 || !VERIFY(in_deviceNameIndex<deviceInputNameCount))
        return false;
    // clang-format on
    name = (*deviceInputList)->entry[in_deviceNameIndex];
    return true;
}

bool QSGDeviceList::GetDeviceInputName(short device, unsigned char* name,
                                       short in_deviceNameIndex) const
{
    SGDeviceInputName entry;
    if (!name || !GetDeviceInputName(device, entry, in_deviceNameIndex))
        return false;
    memcpy(name, entry.name, sizeof(Str63));
    return true;
}

bool QSGDeviceList::IsValidDeviceInput(const InputIterator& iterator) const
{
    return IsValidDevice(iterator) && InputCount(iterator.device) > 0;
}

bool QSGDeviceList::DeviceHasInputs(InputIterator& iterator) const
{
    return InputCount(iterator.device) > 0;
}

bool QSGDeviceList::GetDeviceInputNames(InputIterator& iterator) const
{
    memset(iterator.deviceName, 0, sizeof(iterator.deviceName));
    memset(iterator.inputName, 0, sizeof(iterator.inputName));
    const short deviceCount = DeviceCount();
    // clang-format off
    if (iterator.device < 0 || !VERIFY(iterator.device<deviceCount))
        return false;
    // clang-format on
    const short deviceInputCount = InputCount(iterator.device);
    if (iterator.input < 0 || !VERIFY(iterator.input < deviceInputCount))
        return false;
    SGDeviceInputList inputs = (*mDeviceList)->entry[iterator.device].inputs;
    CopyPascal(iterator.deviceName, (*mDeviceList)->entry[iterator.device].name);
    CopyPascal(iterator.inputName, (*inputs)->entry[iterator.input].name);
    return true;
}

bool QSGDeviceList::GetFirstDeviceInput(InputIterator& iterator) const
{
    iterator.input = 0;
    return InputCount(iterator.device) > 0;
}

bool QSGDeviceList::GetNextDeviceInput(InputIterator& iterator) const
{
    const short count = InputCount(iterator.device);
    if (count < 0)
        return false;
    iterator.input = SInt16(iterator.input + 1);
    return iterator.input < count;
}

bool QSGDeviceList::GetPrevDeviceInput(InputIterator& iterator) const
{
    if (iterator.input < 1)
        return false;
    iterator.input = SInt16(iterator.input - 1);
    return true;
}

bool QSGDeviceList::GetLastDeviceInput(InputIterator& iterator) const
{
    iterator.EmptyInput();
    const short count = InputCount(iterator.device);
    if (count <= 0)
        return false;
    iterator.input = SInt16(count - 1);
    return true;
}

bool QSGDeviceList::GetNextDeviceWithInputs(InputIterator& iterator) const
{
    const short count = DeviceCount();
    if (count <= 0 || iterator.device < 0 || iterator.device >= count)
        return false;
    while (true) {
        iterator.device = SInt16(iterator.device + 1);
        iterator.input = 0;
        if (iterator.device >= count)
            return false; // past the end
        if (InputCount(iterator.device) > 0)
            return true;
    }
}

bool QSGDeviceList::GetPrevDeviceWithInputs(InputIterator& iterator) const
{
    const short count = DeviceCount();
    if (count <= 0 || iterator.device >= count || iterator.device < 1)
        return false;
    while (iterator.device >= 1) {
        iterator.device = SInt16(iterator.device - 1);
        const short inputs = InputCount(iterator.device);
        iterator.input = SInt16(inputs > 0 ? inputs - 1 : 0);
        if (inputs > 0)
            return true;
    }
    return false;
}

bool QSGDeviceList::GetFirstInput(InputIterator& iterator) const
{
    iterator.Empty();
    if (DeviceCount() <= 0)
        return false;
    if (InputCount(0) > 0)
        return GetDeviceInputNames(iterator);
    return GetNextInput(iterator);
}

bool QSGDeviceList::GetNextInput(InputIterator& iterator) const
{
    const short inputs = InputCount(iterator.device);
    if (inputs > 0 && iterator.input + 1 < inputs) {
        iterator.input = SInt16(iterator.input + 1);
        return GetDeviceInputNames(iterator);
    }
    if (!GetNextDeviceWithInputs(iterator))
        return false;
    return GetDeviceInputNames(iterator);
}

bool QSGDeviceList::GetPrevInput(InputIterator& iterator) const
{
    // Within the device whatever its inputs: from input 1 of a device that lost its inputs the
    // name fill fails, rather than stepping into another device.
    if (iterator.input > 0) {
        iterator.input = SInt16(iterator.input - 1);
        return GetDeviceInputNames(iterator);
    }
    if (!GetPrevDeviceWithInputs(iterator))
        return false;
    return GetDeviceInputNames(iterator);
}

bool QSGDeviceList::GetLastInput(InputIterator& iterator) const
{
    iterator.Empty();
    const short count = DeviceCount();
    iterator.device = count < 0 ? 0 : count;
    // clang-format off
    if (!VERIFY(iterator.device>0))
        return false;
    // clang-format on
    iterator.device = SInt16(iterator.device - 1);
    if (InputCount(iterator.device) > 0)
        return GetDeviceInputNames(iterator);
    return GetPrevInput(iterator);
}

bool QSGDeviceList::FindInputNamed(const unsigned char* name, InputIterator& iterator) const
{
    if (!name)
        return false;
    for (bool found = GetFirstInput(iterator); found; found = GetNextInput(iterator))
        if (SamePascal(iterator.inputName, name))
            return true;
    return false;
}

bool import_QSGDeviceList()
{
    return import_CoreMachDebugLog();
}
