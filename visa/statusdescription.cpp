// viStatusDesc: every status this library returns, in words.

#include "visa.h"

#include "visatext.h"

#include <cstdio>

namespace {

struct Description
{
    ViStatus status;
    const char *text;
};

const Description Descriptions[] = {
    {VI_SUCCESS, "VI_SUCCESS: Operation completed successfully."},
    {VI_SUCCESS_EVENT_DIS, "VI_SUCCESS_EVENT_DIS: The event was already disabled."},
    {VI_SUCCESS_QUEUE_EMPTY, "VI_SUCCESS_QUEUE_EMPTY: No event was queued."},
    {VI_SUCCESS_TERM_CHAR, "VI_SUCCESS_TERM_CHAR: The termination character was read."},
    {VI_SUCCESS_MAX_CNT, "VI_SUCCESS_MAX_CNT: The number of bytes asked for was read; the message goes on."},
    {VI_WARN_UNKNOWN_STATUS, "VI_WARN_UNKNOWN_STATUS: The status code has no description."},
    {VI_ERROR_SYSTEM_ERROR, "VI_ERROR_SYSTEM_ERROR: Unknown system error."},
    {VI_ERROR_INV_OBJECT, "VI_ERROR_INV_OBJECT: The session or object reference is not open."},
    {VI_ERROR_INV_EXPR, "VI_ERROR_INV_EXPR: The search expression is not valid."},
    {VI_ERROR_RSRC_NFOUND, "VI_ERROR_RSRC_NFOUND: No such resource is present."},
    {VI_ERROR_INV_RSRC_NAME, "VI_ERROR_INV_RSRC_NAME: The resource name is not valid."},
    {VI_ERROR_INV_ACC_MODE, "VI_ERROR_INV_ACC_MODE: The access mode is not valid."},
    {VI_ERROR_TMO, "VI_ERROR_TMO: The time-out expired before the operation completed."},
    {VI_ERROR_NSUP_ATTR, "VI_ERROR_NSUP_ATTR: The attribute is not supported by this resource."},
    {VI_ERROR_NSUP_ATTR_STATE, "VI_ERROR_NSUP_ATTR_STATE: The attribute value is not supported."},
    {VI_ERROR_ATTR_READONLY, "VI_ERROR_ATTR_READONLY: The attribute is read-only."},
    {VI_ERROR_INV_MASK, "VI_ERROR_INV_MASK: The mask is not valid."},
    {VI_ERROR_IO, "VI_ERROR_IO: An I/O error occurred."},
    {VI_ERROR_INV_FMT, "VI_ERROR_INV_FMT: The format string is not valid."},
    {VI_ERROR_NSUP_OPER, "VI_ERROR_NSUP_OPER: The operation is not supported by this resource."},
    {VI_ERROR_USER_BUF, "VI_ERROR_USER_BUF: A buffer or pointer argument is not valid."},
    {VI_ERROR_INTF_NUM_NCONFIG, "VI_ERROR_INTF_NUM_NCONFIG: The interface type is valid but this interface is not configured."},
    {VI_ERROR_CONN_LOST, "VI_ERROR_CONN_LOST: The connection to the instrument was lost."},
};

} // namespace

ViStatus viStatusDesc(ViObject, ViStatus status, ViChar desc[])
{
    if (!desc)
        return VI_ERROR_USER_BUF;
    for (const Description &d : Descriptions) {
        if (d.status == status) {
            visa::copyToVisaBuffer(d.text, desc);
            return VI_SUCCESS;
        }
    }
    char unknown[64];
    std::snprintf(unknown, sizeof unknown, "Unknown status code 0x%08X.", static_cast<unsigned>(status));
    visa::copyToVisaBuffer(unknown, desc);
    return VI_WARN_UNKNOWN_STATUS;
}
