#include "QCameraGrabberBase.h"

#include <cerrno>
#include <cstring>

#include "CoreMachDebugLog.h"
#include "QAspectFit.h"

namespace {

// Frames never go to a screen device; the port alone says where they land.
GDHandle GetMainDevice()
{
    return nullptr;
}

bool IsLostCamera(OSErr err)
{
    return err == -ENODEV || err == -EIO;
}

} // namespace

QCameraGrabberBase::QCameraGrabberBase()
    : mFrameBufferPixelFormat(0), mVideoChannel(nullptr), mAutoOpenCameraPluggedIn(true),
      mAutoOpenRetrySeconds(1.0f)
{
    mAutoOpenRetryElapsed.Restart();
}

QCameraGrabberBase::~QCameraGrabberBase()
{
    // The component takes its channel with it.
    mVideoChannel = nullptr;
}

OSErr QCameraGrabberBase::OnThisDataProc(SGChannel, char* in_data, long in_data_size, long*, long,
                                         long in_timeUs, short)
{
    OSErr err = 0;
    // clang-format off
    VERIFY_ERR(err=DefaultDataProc(in_data,in_data_size));
    // clang-format on
    if (err == 0) {
        mFrameTimeUs = uint64_t(in_timeUs);
        ++mFramesTaken;
    }
    return err;
}

OSErr QCameraGrabberBase::DecodeHeldFrame(int n)
{
    UInt32 passedOver = 0;
    const OSErr err = TakeHeldFrame(n, &passedOver);
    mFramesTaken += passedOver;
    return err;
}

// ---- frame buffer hooks

bool QCameraGrabberBase::IsFrameBufferConstructed() const
{
    return GetFrameBufferGWorldPtr() != nullptr;
}

GWorldPtr QCameraGrabberBase::GetFrameBufferGWorldPtr() const
{
    return nullptr;
}

bool QCameraGrabberBase::GetFrameBufferImageDescription(QImageDescription&) const
{
    return false;
}

void QCameraGrabberBase::DrawCameraStatusInFrameBuffer(CameraStatus) const {}

bool QCameraGrabberBase::CreateFrameBuffer(const QRect&, unsigned long)
{
    return CreateFrameBufferSelf();
}

bool QCameraGrabberBase::CreateFrameBufferSelf()
{
    return true;
}

OSErr QCameraGrabberBase::OpenInitializeSelf()
{
    return 0;
}

OSErr QCameraGrabberBase::BeginDecompressionSequence(const QImageDescription&, const QRect&,
                                                     const QRect&)
{
    return 0;
}

OSErr QCameraGrabberBase::DefaultDataProc(char*, long) const
{
    return 0;
}

// ---- settings

bool QCameraGrabberBase::SetCameraVDIGRequestRect(const Rect& rect)
{
    mVDIGRequestRect = rect;
    return true;
}

void QCameraGrabberBase::SetAutoOpenCameraPluggedIn(bool enable, float retrySeconds)
{
    mAutoOpenCameraPluggedIn = enable;
    mAutoOpenRetrySeconds = retrySeconds;
    mAutoOpenRetryElapsed.Restart();
}

// ---- open

OSErr QCameraGrabberBase::OpenInitialize(const Rect& in_frame,
                                         unsigned long inFrameBufferPixelFormat,
                                         const InputIterator* inCameraInput)
{
    if (!VERIFY(CreateFrameBuffer(in_frame, inFrameBufferPixelFormat)))
        return paramErr;
    if (mVDIGRequestRect.Width() == 0 && mVDIGRequestRect.Height() == 0)
        mVDIGRequestRect = in_frame;
    // Reopening closes the component, and the channel goes with it.
    mVideoChannel = nullptr;
    OSErr err = superclass_t::OpenInitialize();
    if (err != 0)
        return err;
    // Frames only go to the data callback; no movie is ever written.
    err = SetDataRef(nullptr, 0, seqGrabDontMakeMovie);
    if (err != 0)
        return err;
    return OpenInitializeCamera(in_frame, inFrameBufferPixelFormat, inCameraInput);
}

OSErr QCameraGrabberBase::OpenInitializeCamera(const Rect& in_frame,
                                               unsigned long inFrameBufferPixelFormat,
                                               const InputIterator* inCameraInput)
{
    if (mVideoChannel != nullptr)
        CloseVideoChannel();
    OSErr result = paramErr;
    if (mComponent != nullptr) {
        SGChannel newVideoChannel = nullptr;
        result = OSErr(VERIFY_ERR(SGNewVideoChannel(mComponent, &newVideoChannel)));
        if (result == 0 && newVideoChannel != nullptr) {
            DrawCameraStatusInFrameBuffer(kCameraStatusOpening);
            InitializeVideoChannel(newVideoChannel, inCameraInput);
            mVideoChannel = newVideoChannel;
        }
    }
    if (mVideoChannel != nullptr && mComponent != nullptr) {
        OSErr err = InitializeSequenceGrabToOffscreenWorld(in_frame, inFrameBufferPixelFormat);
        if (err == 0)
            err = Prepare();
        if (err == 0)
            err = OpenInitializeSelf();
        if (err != 0)
            return err; // the channel stays for the next Idle, OpenCameraInput or Close
        DrawCameraStatusInFrameBuffer(kCameraStatusReady);
        return 0;
    }
    DrawCameraStatusInFrameBuffer(kCameraStatusUnavailable);
    return result;
}

OSErr QCameraGrabberBase::InitializeVideoChannel(SGChannel newVideoChannel,
                                                 const InputIterator* inCameraInput)
{
    // Without a camera the channel keeps the platform's default device.
    if (inCameraInput == nullptr)
        return 0;
    OSErr result = 0;
    VERIFY_ERR(BeginChannelSettingsChange(newVideoChannel));
    // clang-format off
    VERIFY_ERR(result = SetChannelDevice(newVideoChannel, (StringPtr)inCameraInput->deviceName ));
    if (result == 0)
        VERIFY_ERR(result = SetChannelDeviceInput(newVideoChannel, inCameraInput->input ));
    // clang-format on
    VERIFY_ERR(ChannelChangedSource(newVideoChannel));
    VERIFY_ERR(EndChannelSettingsChange(newVideoChannel));
    // A camera that cannot be selected leaves the channel on whatever the platform chose.
    return 0;
}

OSErr QCameraGrabberBase::InitializeSequenceGrabToOffscreenWorld(
    const QRect& in_bounds, unsigned long inFrameBufferPixelFormat)
{
    // clang-format off
    if (!VERIFY(CreateFrameBuffer(in_bounds,inFrameBufferPixelFormat)))
        return paramErr;
    // clang-format on
    OSErr err = 0;
    if (VERIFY_ERR(err = SetChannelBounds(mVDIGRequestRect)) != 0)
        return err;
    if (VERIFY_ERR(err = superclass_t::SetGWorld(GetFrameBufferGWorldPtr(), GetMainDevice())) != 0)
        return err;
    // Again once the port is set, as the digitizer may have changed its mind with it.
    if (VERIFY_ERR(err = SetChannelBounds(mVDIGRequestRect)) != 0)
        return err;
    // clang-format off
    if (VERIFY_ERR(err = SetChannelUsage( VideoChannel(), seqGrabRecord)) != 0)
        return err;
    // clang-format on
    if (VERIFY_ERR(err = SetThisDataProc()) != 0)
        return err;
    return 0;
}

OSErr QCameraGrabberBase::SetChannelBounds(const Rect& bounds)
{
    if (!VERIFY(mComponent) || !VERIFY(mVideoChannel))
        return paramErr;
    return superclass_t::SetChannelBounds(mVideoChannel, bounds);
}

OSErr QCameraGrabberBase::GetVideoSampleDescription(QImageDescription& description)
{
    if (mVideoChannel == nullptr || mComponent == nullptr)
        return paramErr;
    SGSampleDescription sample = {};
    const OSErr err = GetChannelSampleDescription(mVideoChannel, sample);
    if (err != 0)
        return err;
    ImageDescriptionHandle handle = NewImageDescriptionHandle();
    (*handle)->cType = sample.fourcc;
    (*handle)->width = sample.width;
    (*handle)->height = sample.height;
    return description.Construct(handle, true) ? OSErr(0) : OSErr(paramErr);
}

// ---- record

OSErr QCameraGrabberBase::InitializeDecompressionToOffscreenWorld()
{
    OSErr err = 0;
    // clang-format off
    if (VERIFY_ERR(err=GetVideoSampleDescription( mCameraImageDesc )) != 0)
        return err;
    // clang-format on
    const Point size = mCameraImageDesc.Dimensions();
    // A camera of another shape than the frame keeps its aspect, with black bars: scaled once,
    // never stretched.
    const QAspectFit fit =
        QAspectFit::Inside(size.h, size.v, mFrameBufferRect.Width(), mFrameBufferRect.Height());
    if (!fit.fills(mFrameBufferRect.Width(), mFrameBufferRect.Height()))
        ClearFrameBuffer();
    const QRect picture(SInt16(mFrameBufferRect.top + fit.y), SInt16(mFrameBufferRect.left + fit.x),
                        SInt16(mFrameBufferRect.top + fit.y + fit.height),
                        SInt16(mFrameBufferRect.left + fit.x + fit.width));
    return BeginDecompressionSequence(mCameraImageDesc, QRect(0, 0, size.v, size.h), picture);
}

void QCameraGrabberBase::ClearFrameBuffer()
{
    const GWorldPtr port = GetFrameBufferGWorldPtr();
    if (port == nullptr || port->pixMap.pixelFormat != k32ARGBPixelFormat)
        return;
    const PixMap& map = port->pixMap;
    const int width = map.bounds.right - map.bounds.left;
    for (int y = 0; y < map.bounds.bottom - map.bounds.top; ++y) {
        auto* row = reinterpret_cast<UInt8*>(map.baseAddr) + size_t(y) * size_t(map.rowBytes);
        for (int x = 0; x < width; ++x, row += 4) {
            row[0] = 0xFF; // A: opaque black
            row[1] = row[2] = row[3] = 0;
        }
    }
}

OSErr QCameraGrabberBase::ChangeFrameSize(const Rect& in_frame)
{
    mVDIGRequestRect = in_frame;
    InputIterator camera;
    if (mVideoChannel == nullptr || !GetCurrentCamera(camera)) {
        // Nothing runs: whatever opens next, auto-open or a menu choice, opens at this size.
        mFrameBufferRect = in_frame;
        if (mFrameBufferPixelFormat == 0 || !IsFrameBufferConstructed())
            return 0;
        if (!VERIFY(CreateFrameBuffer(in_frame, mFrameBufferPixelFormat)))
            return paramErr;
        ClearFrameBuffer();
        return 0;
    }
    OSErr err = 0;
    if (VERIFY_ERR(err = StopRecord()) != 0)
        return err;
    if (VERIFY_ERR(err = OpenInitialize(in_frame, mFrameBufferPixelFormat, &camera)) != 0)
        return err;
    return StartRecord();
}

OSErr QCameraGrabberBase::StartRecord()
{
    OSErr err = 0;
    if (VERIFY_ERR(err = InitializeDecompressionToOffscreenWorld()) != 0)
        return err;
    return superclass_t::StartRecord();
}

OSErr QCameraGrabberBase::StopRecord()
{
    if (mVideoChannel == nullptr)
        return paramErr;
    if (!VERIFY(mComponent))
        return paramErr;
    const OSErr err = Stop();
    if (err != 0)
        return err;
    return CloseVideoChannel();
}

OSErr QCameraGrabberBase::CloseVideoChannel()
{
    if (mVideoChannel == nullptr)
        return 0;
    OSErr result = 0;
    // clang-format off
    VERIFY_ERR(result=DisposeChannel(mVideoChannel));
    // clang-format on
    mVideoChannel = nullptr;
    mFrameTimeUs = 0; // the frame buffer shows the camera's status next, not a capture
    return result;
}

void QCameraGrabberBase::DisposeChannels()
{
    if (mVideoChannel != nullptr)
        DisposeChannel(mVideoChannel);
    mVideoChannel = nullptr;
    mFrameTimeUs = 0;
}

void QCameraGrabberBase::Close()
{
    // Closing the component disposes its channel.
    superclass_t::Close();
    mVideoChannel = nullptr;
}

bool QCameraGrabberBase::CloseCameraInput()
{
    mLostCameraName.clear(); // stopped on purpose: nothing to bring back
    return StopRecord() == 0;
}

OSErr QCameraGrabberBase::OpenCameraInput(const InputIterator* inCameraInput)
{
    if (mComponent == nullptr)
        return OpenInitialize(mFrameBufferRect, mFrameBufferPixelFormat, inCameraInput);
    if (mVideoChannel == nullptr) {
        if (OpenInitializeCamera(mFrameBufferRect, mFrameBufferPixelFormat, inCameraInput) == 0)
            return QCameraGrabberBase::StartRecord();
        return 0; // auto-open tries again later
    }
    if (inCameraInput != nullptr)
        return SwitchToCamera(*inCameraInput);
    return 0;
}

OSErr QCameraGrabberBase::Idle()
{
    if (mVideoChannel != nullptr && mComponent != nullptr) {
        const OSErr err = superclass_t::Idle();
        if (IsLostCamera(err)) {
            // The device is gone: let the channel go so auto-open can bring the camera back,
            // that camera and not whichever comes first (the other eye's, say).
            CoreCString device, input;
            short inputNumber = 0;
            mLostCameraName = GetChannelDeviceAndInputNames(device, input, inputNumber) == 0
                                  ? std::string(input.c_str())
                                  : std::string();
            CloseVideoChannel();
            mAutoOpenRetryElapsed.Restart();
        }
        return err;
    }
    if (IsFrameBufferConstructed() && mAutoOpenCameraPluggedIn &&
        mAutoOpenRetryElapsed.ElapsedSeconds() > mAutoOpenRetrySeconds) {
        mAutoOpenRetryElapsed.Restart();
        InputIterator lost;
        if (!mLostCameraName.empty() && !FindCamera(mLostCameraName, lost)) {
            DrawCameraStatusInFrameBuffer(kCameraStatusUnavailable); // not back yet
            return 0;
        }
        const OSErr err = OpenCameraInput(mLostCameraName.empty() ? nullptr : &lost);
        if (err != 0)
            return err;
        if (mVideoChannel)
            mLostCameraName.clear();
        return superclass_t::Idle();
    }
    return 0;
}

// ---- camera selection

bool QCameraGrabberBase::GetActiveCameraDeviceList(QSGDeviceList& deviceList) const
{
    if (mVideoChannel == nullptr)
        return false;
    const long selectionFlags = sgDeviceListIncludeInputs;
    // clang-format off
    if (VERIFY_ERR(QSequenceGrabber::GetChannelDeviceList(mVideoChannel,selectionFlags,deviceList)) != 0)
        return false;
    short deviceCount = 0;
    deviceList.GetDeviceNameCount(deviceCount);
    return VERIFY(deviceCount>0);
    // clang-format on
}

bool QCameraGrabberBase::GetCameraInputList(QSGDeviceList& deviceList) const
{
    bool fOk = false;
    if (mVideoChannel != nullptr) {
        VERIFY(fOk = GetActiveCameraDeviceList(deviceList));
        return fOk;
    }
    if (mComponent == nullptr)
        return false;
    // No camera is open: a channel made only to ask for the list.
    SGChannel temporary = nullptr;
    if (SGNewVideoChannel(mComponent, &temporary) != 0 || temporary == nullptr)
        return false;
    const long selectionFlags = sgDeviceListIncludeInputs;
    if (superclass_t::GetChannelDeviceList(temporary, selectionFlags, deviceList) == 0) {
        short deviceCount = 0;
        deviceList.GetDeviceNameCount(deviceCount);
        // clang-format off
        fOk = VERIFY(deviceCount>0);
        // clang-format on
    }
    SGDisposeChannel(mComponent, temporary);
    return fOk;
}

bool QCameraGrabberBase::GetFirstCamera(InputIterator& iterator) const
{
    QSGDeviceList deviceList;
    if (!VERIFY(GetActiveCameraDeviceList(deviceList)))
        return false;
    bool fOk = false;
    VERIFY(fOk = deviceList.GetFirstInput(iterator));
    return fOk;
}

bool QCameraGrabberBase::GetLastCamera(InputIterator& iterator) const
{
    QSGDeviceList deviceList;
    if (!VERIFY(GetActiveCameraDeviceList(deviceList)))
        return false;
    bool fOk = false;
    VERIFY(fOk = deviceList.GetLastInput(iterator));
    return fOk;
}

bool QCameraGrabberBase::GetNextCamera(InputIterator& iterator) const
{
    QSGDeviceList deviceList;
    return GetActiveCameraDeviceList(deviceList) && deviceList.GetNextInput(iterator);
}

bool QCameraGrabberBase::GetPrevCamera(InputIterator& iterator) const
{
    QSGDeviceList deviceList;
    return GetActiveCameraDeviceList(deviceList) && deviceList.GetPrevInput(iterator);
}

SInt16 QCameraGrabberBase::GetCameraCount() const
{
    QSGDeviceList deviceList;
    if (!GetActiveCameraDeviceList(deviceList))
        return 0;
    SInt16 count = 0;
    InputIterator it;
    for (bool ok = deviceList.GetFirstInput(it); ok; ok = deviceList.GetNextInput(it))
        ++count;
    return count;
}

bool QCameraGrabberBase::GetCurrentCamera(InputIterator& cameraInput) const
{
    cameraInput.Empty();
    if (mVideoChannel == nullptr || mComponent == nullptr)
        return false;
    QSGDeviceList deviceList;
    if (!VERIFY(GetActiveCameraDeviceList(deviceList)))
        return false;
    Str255 deviceName = {};
    Str255 inputName = {};
    short inputNumber = 0;
    if (superclass_t::GetChannelDeviceAndInputNames(mVideoChannel, deviceName, inputName,
                                                    &inputNumber) != 0)
        return false;
    if (!VERIFY_TEXT(__func__, "deviceName.strlen()>0", deviceName[0] > 0))
        return false;
    // The channel names its device; the cameras are compared by input name, as the menu does.
    return VERIFY(deviceList.FindInputNamed(deviceName, cameraInput));
}

bool QCameraGrabberBase::IsThisTheCurrentCamera(const InputIterator& camera) const
{
    InputIterator currentCamera;
    if (!VERIFY(GetCurrentCamera(currentCamera)))
        return false;
    return currentCamera == camera;
}

bool QCameraGrabberBase::FindCamera(const std::string& inputName, InputIterator& iterator) const
{
    QSGDeviceList list;
    if (!GetCameraInputList(list))
        return false;
    for (bool ok = list.GetFirstInput(iterator); ok; ok = list.GetNextInput(iterator))
        if (std::string(reinterpret_cast<const char*>(iterator.inputName + 1),
                        iterator.inputName[0]) == inputName)
            return true;
    return false;
}

bool QCameraGrabberBase::GetCameraWithDeviceInputName(InputIterator& iterator,
                                                      const char* inputName) const
{
    if (inputName == nullptr)
        return false;
    Str255 name = {};
    const size_t length = strnlen(inputName, 255);
    name[0] = UInt8(length);
    memcpy(name + 1, inputName, length);
    for (bool ok = GetFirstCamera(iterator); ok; ok = GetNextCamera(iterator))
        if (iterator.inputName[0] == name[0] &&
            memcmp(iterator.inputName + 1, name + 1, name[0]) == 0)
            return true;
    return false;
}

OSErr QCameraGrabberBase::SwitchToCamera(const InputIterator& camera_input)
{
    // The camera in use is refused, so the menu never restarts a running camera.
    if (IsThisTheCurrentCamera(camera_input))
        return paramErr;
    QSGDeviceList deviceList;
    if (!GetActiveCameraDeviceList(deviceList))
        return paramErr;
    if (!VERIFY(deviceList.IsValidDeviceInput(camera_input)))
        return paramErr;
    if (!VERIFY(!camera_input.IsDeviceEmpty()))
        return paramErr;
    OSErr result = 0;
    // clang-format off
    if (VERIFY_ERR(result=StopRecord()) != 0)
        return result;
    // clang-format on
    if (mVideoChannel != nullptr && mComponent != nullptr)
        return paramErr;
    const QRect useFrameBufferRect = mFrameBufferRect;
    const unsigned long usePixelFormat = mFrameBufferPixelFormat;
    // clang-format off
    if (VERIFY_ERR(result=OpenInitialize(useFrameBufferRect,usePixelFormat,&camera_input)) != 0) {
        // clang-format on
        camera_input.CoreDebugLog("QCameraGrabberBase::SwitchCameraInputTo ERROR SWITCHING");
        return result;
    }
    // clang-format off
    VERIFY_ERR(result=StartRecord());
    // clang-format on
    return result;
}

bool QCameraGrabberBase::UseNextCamera()
{
    if (GetCameraCount() < 2)
        return false;
    InputIterator currentCamera;
    if (!GetCurrentCamera(currentCamera) && !GetLastCamera(currentCamera))
        return false;
    if (!GetNextCamera(currentCamera))
        return false;
    return VERIFY_ERR(SwitchToCamera(currentCamera)) == 0;
}

bool QCameraGrabberBase::UsePrevCamera()
{
    if (GetCameraCount() < 2)
        return false;
    InputIterator currentCamera;
    if (!GetCurrentCamera(currentCamera) && !GetFirstCamera(currentCamera))
        return false;
    if (!GetPrevCamera(currentCamera))
        return false;
    return VERIFY_ERR(SwitchToCamera(currentCamera)) == 0;
}

// ---- diagnostics

OSErr QCameraGrabberBase::GetChannelDeviceAndInputNames(CoreCString& deviceName,
                                                        CoreCString& inputName,
                                                        short& inputNumber) const
{
    if (mComponent == nullptr || mVideoChannel == nullptr)
        return paramErr;
    Str255 device = {};
    Str255 input = {};
    if (superclass_t::GetChannelDeviceAndInputNames(mVideoChannel, device, input, &inputNumber) !=
        0)
        return paramErr;
    deviceName = device;
    inputName = input;
    return 0;
}

void QCameraGrabberBase::DumpRelevantInfoToLog() const
{
    CoreCString deviceName, inputName;
    short inputNumber = 0;
    GetChannelDeviceAndInputNames(deviceName, inputName, inputNumber);
    CoreMachDebugLog(
        "QCameraGrabberBase::GetVideoSampleDescription deviceName:%s inputName%s inputNumber:%d\n",
        deviceName.c_str() ? deviceName.c_str() : "", inputName.c_str() ? inputName.c_str() : "",
        inputNumber);
}

void QCameraGrabberBase::DebugDumpDeviceInputNames() const
{
    QSGDeviceList deviceList;
    if (!GetCameraInputList(deviceList))
        return;
    short deviceCount = 0;
    deviceList.GetDeviceNameCount(deviceCount);
    for (short device = 0; device < deviceCount; ++device) {
        short inputCount = 0;
        deviceList.GetDeviceInputNameCount(device, inputCount);
        for (short input = 0; input < inputCount; ++input) {
            SGDeviceInputName name;
            if (deviceList.GetDeviceInputName(device, name, input))
                CoreMachDebugLog("QCamReflecter::ChannelDialogBox deviceInput:%.*s\n",
                                 int(name.name[0]), reinterpret_cast<const char*>(name.name + 1));
        }
    }
}

bool import_QCameraGrabberBase()
{
    return import_QSequenceGrabber() && import_QImageDescription() && import_CoreElapsedTime();
}
