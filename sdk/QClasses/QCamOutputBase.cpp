#include "QCamOutputBase.h"

bool QCamOutputBase::FormatNamed(std::string_view in_name, QCamOutputFormat& out_format)
{
    for (const QCamOutputFormat& format : sBroadcastFormats)
        if (in_name == FormatName(format)) {
            out_format = format;
            return true;
        }
    return false;
}

std::string QCamOutputBase::FormatName(const QCamOutputFormat& in_format)
{
    return std::to_string(in_format.width) + "x" + std::to_string(in_format.height);
}

std::string QCamOutputBase::OfferedNames()
{
    std::string names;
    for (const QCamOutputFormat& format : sBroadcastFormats)
        names += (names.empty() ? "" : " or ") + FormatName(format);
    return names;
}

bool import_QCamOutputBase()
{
    return true;
}
