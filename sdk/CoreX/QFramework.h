// Late-bound media calls. There is no such media framework on Linux: the holder never loads,
// and every wrapper takes its failure path.
#pragma once

#include "Folders.h"
#include "I_CFBundleDLL.h"
#include "T_CFBaseDLL.h"

typedef struct MediaRecord* Media;
typedef SInt64 TimeValue64;
typedef char** Handle;

class QFramework
{
public:
    // True when the call was made and reported no error.
    static bool SampleNumToMediaDecodeTime(Media in_media, SInt64 in_sample_number,
                                           TimeValue64* out_decode_time,
                                           TimeValue64* out_decode_duration);
    // paramErr when the framework cannot be loaded or lacks the function.
    static OSErr NewDataReferenceFromFSRefCFString(const FSRef* in_ref, CFStringRef in_name,
                                                   UInt32 in_flags, Handle* out_data_ref,
                                                   OSType* out_data_ref_type);
    static OSErr NewDataReferenceFromFSRef(const FSRef* in_ref, UInt32 in_flags,
                                           Handle* out_data_ref, OSType* out_data_ref_type);

    static T_CFBaseDLL<I_CFBundleDLL> sQuickTime;

private:
    static bool BindQuickTime();
};

bool import_QFramework();
