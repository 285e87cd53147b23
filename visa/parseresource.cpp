// viParseRsrc and viParseRsrcEx: what a resource name says, without opening it.

#include "visa.h"

#include "resourcename.h"
#include "session.h"
#include "visatext.h"


namespace {

using namespace visa;

// Only board 0 exists for USB; other interfaces are valid names this library
// has no board for, and USB RAW resources are not offered.
ViStatus parse(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType, ViPUInt16 intfNum, ResourceName &name)
{
    if (!isResourceManager(rmSesn))
        return VI_ERROR_INV_OBJECT;
    if (!rsrcName)
        return VI_ERROR_INV_RSRC_NAME;
    name = ResourceName::parse(rsrcName);
    switch (name.kind) {
    case ResourceName::Kind::Invalid:
        return VI_ERROR_INV_RSRC_NAME;
    case ResourceName::Kind::OtherInterface:
        return VI_ERROR_INTF_NUM_NCONFIG;
    case ResourceName::Kind::UsbRaw:
        return VI_ERROR_RSRC_NFOUND;
    case ResourceName::Kind::UsbInstr:
        break;
    }
    if (name.board != 0)
        return VI_ERROR_INTF_NUM_NCONFIG;
    if (intfType)
        *intfType = VI_INTF_USB;
    if (intfNum)
        *intfNum = name.board;
    return VI_SUCCESS;
}

} // namespace

ViStatus viParseRsrc(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType, ViPUInt16 intfNum)
{
    ResourceName name;
    return parse(rmSesn, rsrcName, intfType, intfNum, name);
}

ViStatus viParseRsrcEx(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType, ViPUInt16 intfNum,
                       ViChar rsrcClass[], ViChar expandedUnaliasedName[], ViChar aliasIfExists[])
{
    ResourceName name;
    const ViStatus status = parse(rmSesn, rsrcName, intfType, intfNum, name);
    if (status < VI_SUCCESS)
        return status;
    copyToVisaBuffer("INSTR", rsrcClass);
    copyToVisaBuffer(listedName(name).value_or(name.canonical()), expandedUnaliasedName);
    copyToVisaBuffer("", aliasIfExists);
    return VI_SUCCESS;
}
