#include "protocol_MouseCapture.h"

void self_MouseCapture_Construct(self_MouseCapture& record, const NSUIMouseEvent& event)
{
    record = self_MouseCapture();
    record.event = event;
}

void protocol_MouseCapture::mouseCaptureDown(self_MouseCapture& record, const NSUIMouseEvent& down)
{
    record.event = down;
    record.downLocation = record.location = down.location;
    record.shiftDown = down.shift;
    if (record.shiftDown)
        record.anchorLocation = record.idleLocation = down.location;
    mouseCaptureBegin(record);
}

bool protocol_MouseCapture::mouseCaptureEvent(self_MouseCapture& record,
                                              const NSUIMouseEvent& event)
{
    record.idle = false;
    record.event = event;
    record.location = event.location;
    if (!record.shiftDown)
        mouseCaptureMove(record);
    if (event.type != NSUIMouseEvent::kLeftMouseUp)
        return true;
    mouseCaptureUp(record);
    record.shiftDown = false;
    mouseCaptureEnd(record);
    return false;
}

void protocol_MouseCapture::mouseCaptureNoEvent(self_MouseCapture& record)
{
    if (record.shiftDown)
        record.idleLocation = record.location;
    else
        record.idle = true;
    mouseCaptureIdle(record);
}

bool import_protocol_MouseCapture()
{
    return true;
}
