// Operations of a USB INSTR resource that this library does not offer. Each
// says so with VI_ERROR_NSUP_OPER rather than leaving a client without the
// symbol or pretending to have done it.

#include "visa.h"

#include "session.h"

using namespace visa;

ViStatus visa::unsupportedOperationOn(ViObject handle)
{
    return isOpenObject(handle) ? VI_ERROR_NSUP_OPER : VI_ERROR_INV_OBJECT;
}

ViStatus viLock(ViSession vi, ViAccessMode, ViUInt32, ViConstKeyId, ViChar accessKey[])
{
    if (accessKey)
        accessKey[0] = '\0';
    return unsupportedOperationOn(vi);
}

ViStatus viUnlock(ViSession vi)
{
    return unsupportedOperationOn(vi);
}

ViStatus viReadSTB(ViSession vi, ViPUInt16)
{
    return unsupportedOperationOn(vi);
}

ViStatus viAssertTrigger(ViSession vi, ViUInt16)
{
    return unsupportedOperationOn(vi);
}

ViStatus viGpibControlREN(ViSession vi, ViUInt16)
{
    return unsupportedOperationOn(vi);
}

ViStatus viUsbControlIn(ViSession vi, ViInt16, ViInt16, ViUInt16, ViUInt16, ViUInt16, ViBuf, ViPUInt16 retCnt)
{
    if (retCnt)
        *retCnt = 0;
    return unsupportedOperationOn(vi);
}

ViStatus viUsbControlOut(ViSession vi, ViInt16, ViInt16, ViUInt16, ViUInt16, ViUInt16, ViConstBuf)
{
    return unsupportedOperationOn(vi);
}

ViStatus viSetBuf(ViSession vi, ViUInt16, ViUInt32)
{
    return unsupportedOperationOn(vi);
}

ViStatus viReadAsync(ViSession vi, ViBuf, ViUInt32, ViPJobId)
{
    return unsupportedOperationOn(vi);
}

ViStatus viWriteAsync(ViSession vi, ViConstBuf, ViUInt32, ViPJobId)
{
    return unsupportedOperationOn(vi);
}

ViStatus viTerminate(ViObject vi, ViUInt16, ViJobId)
{
    return unsupportedOperationOn(vi);
}
