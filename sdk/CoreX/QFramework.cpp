#include "QFramework.h"

#include "CoreMachDebugLog.h"

T_CFBaseDLL<I_CFBundleDLL> QFramework::sQuickTime(CFSTR("QuickTime.framework"));

bool QFramework::BindQuickTime()
{
    if (!sQuickTime.IsLoaded())
        VERIFY(sQuickTime.LoadSystemFramework());
    return VERIFY(sQuickTime.IsLoaded());
}

bool QFramework::SampleNumToMediaDecodeTime(Media in_media, SInt64 in_sample_number,
                                            TimeValue64* out_decode_time,
                                            TimeValue64* out_decode_duration)
{
    if (!BindQuickTime())
        return false;
    bool fOk;
    VERIFY(fOk = sQuickTime.Call<void>(CFSTR("SampleNumToMediaDecodeTime"), nullptr, in_media,
                                       in_sample_number, out_decode_time, out_decode_duration));
    if (!fOk)
        return false;
    OSErr error = noErr;
    if (!sQuickTime.Call(CFSTR("GetMoviesError"), &error))
        return false;
    // clang-format off
    VERIFY(fOk = (error==noErr));
    // clang-format on
    if (!fOk)
        CoreMachDebugLog("%d=SampleNumToMediaDecodeTime()\n", error);
    return fOk;
}

OSErr QFramework::NewDataReferenceFromFSRefCFString(const FSRef* in_ref, CFStringRef in_name,
                                                    UInt32 in_flags, Handle* out_data_ref,
                                                    OSType* out_data_ref_type)
{
    if (!BindQuickTime())
        return paramErr;
    OSErr error = paramErr;
    if (!sQuickTime.Call(CFSTR("QTNewDataReferenceFromFSRefCFString"), &error, in_ref, in_name,
                         in_flags, out_data_ref, out_data_ref_type))
        return paramErr; // loaded, but without the function
    return error;
}

OSErr QFramework::NewDataReferenceFromFSRef(const FSRef*, UInt32, Handle*, OSType*)
{
    // Directly linked where the framework exists; here there is nothing to link against.
    return paramErr;
}

bool import_QFramework()
{
    return import_I_CFBundleDLL();
}
