// Events: none is offered, so none can be enabled, queued or handled; turning
// them all off and discarding them succeeds with nothing to do, as a client
// closing a session expects.

#include "visa.h"

#include "session.h"

using namespace visa;

namespace {

ViStatus nothingToDo(ViObject vi, ViStatus done)
{
    return isOpenObject(vi) ? done : VI_ERROR_INV_OBJECT;
}

} // namespace

ViStatus viEnableEvent(ViSession vi, ViEventType, ViUInt16, ViEventFilter)
{
    return unsupportedOperationOn(vi);
}

ViStatus viDisableEvent(ViSession vi, ViEventType, ViUInt16)
{
    return nothingToDo(vi, VI_SUCCESS_EVENT_DIS);
}

ViStatus viDiscardEvents(ViSession vi, ViEventType, ViUInt16)
{
    return nothingToDo(vi, VI_SUCCESS_QUEUE_EMPTY);
}

ViStatus viWaitOnEvent(ViSession vi, ViEventType, ViUInt32, ViPEventType outEventType, ViPEvent outContext)
{
    if (outEventType)
        *outEventType = 0;
    if (outContext)
        *outContext = VI_NULL;
    return unsupportedOperationOn(vi);
}

ViStatus viInstallHandler(ViSession vi, ViEventType, ViHndlr, ViAddr)
{
    return unsupportedOperationOn(vi);
}

ViStatus viUninstallHandler(ViSession vi, ViEventType, ViHndlr, ViAddr)
{
    return unsupportedOperationOn(vi);
}
