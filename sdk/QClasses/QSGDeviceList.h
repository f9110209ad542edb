// A snapshot of the capture devices with their inputs, and the iterator that names one camera:
// one input of one device. Cameras are ordered by device, then input; devices without inputs
// are skipped.
#pragma once

#include "SequenceGrabber.h"

class QSGDeviceList
{
public:
    struct InputIterator
    {
        SInt16 device = 0;
        Str63 deviceName = {};
        SInt16 input = 0;
        Str63 inputName = {};

        void Empty();
        void EmptyDevice();
        void EmptyInput();
        bool IsDeviceEmpty() const;
        bool IsEmpty() const { return IsDeviceEmpty(); }
        bool IsInputEmpty() const;
        // Both indices and both names, length byte included.
        bool operator==(const InputIterator& other) const;
        bool operator!=(const InputIterator& other) const { return !(*this == other); }

        // "Camera Device[%d]:'%s' Input[%d]:'%s' \n" in one buffer the next call overwrites.
        const char* GetNameForUI() const;
        void CoreDebugLog(const char* title) const;
    };

    QSGDeviceList();
    ~QSGDeviceList();
    QSGDeviceList(const QSGDeviceList&) = delete;
    QSGDeviceList& operator=(const QSGDeviceList&) = delete;

    // Takes over a list the grabber made; the component is needed again to dispose it.
    void Adopt(SeqGrabComponent component, SGDeviceList list);
    bool IsValid() const;

    bool GetDeviceNameCount(short& count) const;
    bool IsValidDevice(short device) const;
    bool IsValidDevice(const InputIterator& iterator) const;
    bool GetDeviceName(SGDeviceName& name, short device) const;
    bool GetDeviceName(unsigned char* name, short device) const;
    bool GetDeviceInputNameCount(short device, short& count) const;
    bool GetDeviceInputName(short device, SGDeviceInputName& name, short in_deviceNameIndex) const;
    bool GetDeviceInputName(short device, unsigned char* name, short in_deviceNameIndex) const;
    bool IsValidDeviceInput(const InputIterator& iterator) const;
    bool DeviceHasInputs(InputIterator& iterator) const;
    bool GetDeviceInputNames(InputIterator& iterator) const;

    // Within one device; indices only.
    bool GetFirstDeviceInput(InputIterator& iterator) const;
    bool GetNextDeviceInput(InputIterator& iterator) const;
    bool GetPrevDeviceInput(InputIterator& iterator) const;
    bool GetLastDeviceInput(InputIterator& iterator) const;
    // Across devices; indices only.
    bool GetNextDeviceWithInputs(InputIterator& iterator) const;
    bool GetPrevDeviceWithInputs(InputIterator& iterator) const;

    // Cameras; each fills both names.
    bool GetFirstInput(InputIterator& iterator) const;
    bool GetNextInput(InputIterator& iterator) const;
    bool GetPrevInput(InputIterator& iterator) const;
    // The first input of the last device that has inputs: "the last camera".
    bool GetLastInput(InputIterator& iterator) const;
    // The first camera whose input name equals the Pascal string, byte for byte.
    bool FindInputNamed(const unsigned char* name, InputIterator& iterator) const;

    SGDeviceList mDeviceList;
    SeqGrabComponent mComponent;

private:
    // The device count when the list is valid and readable, else -1 (reported).
    short DeviceCount() const;
    // The device's input count, 0 for a device without an input list; -1 for a bad device.
    short InputCount(short device) const;
    // Whether the device is in the list, reporting when it is not: the callers name devices
    // the list gave them, so one out of range means the list changed under them.
    bool CheckDevice(short device) const;
};

bool import_QSGDeviceList();
