// viGetAttribute and viSetAttribute: the attributes of resource managers and
// USB INSTR sessions. Any other attribute answers VI_ERROR_NSUP_ATTR. Also
// whether a session is to an in-process instrument.

#include "visa.h"

#include "inprocessinstrument.h"
#include "resourcename.h"
#include "session.h"
#include "visatext.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <variant>

namespace {

using namespace visa;

// Each attribute's value in the standard's type for it.
using AttributeValue = std::variant<std::string, ViUInt8, ViUInt16, ViInt16, ViUInt32>;

const char *const ManufacturerName = "dmmpanel";
constexpr ViVersion SpecVersion = 0x00500800; // the standard's version 5.8, as the standard encodes it
constexpr ViVersion ImplementationVersion =
    (ViVersion(DMMVISA_VERSION_MAJOR) << 20) | (ViVersion(DMMVISA_VERSION_MINOR) << 8);

// Attributes every resource has, the resource manager included.
std::optional<AttributeValue> resourceAttribute(ViAttr attr)
{
    switch (attr) {
    case VI_ATTR_RSRC_MANF_NAME:
        return std::string(ManufacturerName);
    case VI_ATTR_RSRC_SPEC_VERSION:
        return SpecVersion;
    case VI_ATTR_RSRC_IMPL_VERSION:
        return ImplementationVersion;
    case VI_ATTR_RSRC_LOCK_STATE:
        return ViUInt32(VI_NO_LOCK);
    default:
        return std::nullopt;
    }
}

std::optional<AttributeValue> instrumentAttribute(const InstrumentSession &session, ViAttr attr)
{
    const ResourceName name = ResourceName::parse(session.resourceName);
    const bool usb = name.kind == ResourceName::Kind::UsbInstr;
    switch (attr) {
    case VI_ATTR_RSRC_CLASS:
        return std::string("INSTR");
    case VI_ATTR_RSRC_NAME:
        return session.resourceName;
    case VI_ATTR_TMO_VALUE:
        return ViUInt32(session.timeoutMs);
    case VI_ATTR_TERMCHAR:
        return ViUInt8(session.termination.character);
    case VI_ATTR_TERMCHAR_EN:
        return ViUInt16(session.termination.enabled ? VI_TRUE : VI_FALSE);
    case VI_ATTR_SEND_END_EN:
        return ViUInt16(VI_TRUE);
    case VI_ATTR_SUPPRESS_END_EN:
        return ViUInt16(VI_FALSE);
    case VI_ATTR_IO_PROT:
        return ViUInt16(VI_PROT_NORMAL);
    default:
        break;
    }
    if (!usb)
        return resourceAttribute(attr);
    switch (attr) {
    case VI_ATTR_INTF_TYPE:
        return ViUInt16(VI_INTF_USB);
    case VI_ATTR_INTF_NUM:
        return name.board;
    case VI_ATTR_MANF_ID:
        return name.vendorId;
    case VI_ATTR_MODEL_CODE:
        return name.productId;
    case VI_ATTR_USB_SERIAL_NUM:
        return name.serial;
    case VI_ATTR_USB_INTFC_NUM:
        return ViInt16(std::max(name.interfaceNumber, 0));
    default:
        return resourceAttribute(attr);
    }
}

struct CopyOut
{
    void *out;
    void operator()(const std::string &text) const { copyToVisaBuffer(text, static_cast<ViChar *>(out)); }
    template<typename Number>
    void operator()(Number number) const
    {
        std::memcpy(out, &number, sizeof number);
    }
};

bool isBoolean(ViAttrState value)
{
    return value == VI_TRUE || value == VI_FALSE;
}

ViStatus setInstrumentAttribute(InstrumentSession &session, ViAttr attr, ViAttrState value)
{
    switch (attr) {
    case VI_ATTR_TMO_VALUE:
        if (value > VI_TMO_INFINITE)
            return VI_ERROR_NSUP_ATTR_STATE;
        session.timeoutMs = static_cast<ViUInt32>(value);
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR:
        if (value > 0xFF)
            return VI_ERROR_NSUP_ATTR_STATE;
        session.termination.character = static_cast<ViUInt8>(value);
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR_EN:
        if (!isBoolean(value))
            return VI_ERROR_NSUP_ATTR_STATE;
        session.termination.enabled = value == VI_TRUE;
        return VI_SUCCESS;
    // Every write ends its message, no read suppresses the end, and the
    // protocol is the normal one: only those states can be set.
    case VI_ATTR_SEND_END_EN:
        return value == VI_TRUE ? VI_SUCCESS : VI_ERROR_NSUP_ATTR_STATE;
    case VI_ATTR_SUPPRESS_END_EN:
        return value == VI_FALSE ? VI_SUCCESS : VI_ERROR_NSUP_ATTR_STATE;
    case VI_ATTR_IO_PROT:
        return value == VI_PROT_NORMAL ? VI_SUCCESS : VI_ERROR_NSUP_ATTR_STATE;
    default:
        return instrumentAttribute(session, attr) ? VI_ERROR_ATTR_READONLY : VI_ERROR_NSUP_ATTR;
    }
}

} // namespace

ViStatus viGetAttribute(ViObject vi, ViAttr attrName, void *attrState)
{
    std::optional<AttributeValue> value;
    if (const auto session = instrumentSession(vi))
        value = instrumentAttribute(*session, attrName);
    else if (isResourceManager(vi))
        value = resourceAttribute(attrName);
    else if (!isOpenObject(vi))
        return VI_ERROR_INV_OBJECT;
    if (!value)
        return VI_ERROR_NSUP_ATTR;
    if (!attrState)
        return VI_ERROR_USER_BUF;
    std::visit(CopyOut{attrState}, *value);
    return VI_SUCCESS;
}

ViStatus viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue)
{
    if (const auto session = instrumentSession(vi))
        return setInstrumentAttribute(*session, attrName, attrValue);
    if (isResourceManager(vi))
        return resourceAttribute(attrName) ? VI_ERROR_ATTR_READONLY : VI_ERROR_NSUP_ATTR;
    return isOpenObject(vi) ? VI_ERROR_NSUP_ATTR : VI_ERROR_INV_OBJECT;
}

bool visa::isInProcessSession(ViSession session)
{
    const auto instrument = instrumentSession(session);
    return instrument && instrument->connection->inProcess();
}
