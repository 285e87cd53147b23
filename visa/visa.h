/* The part of the VISA C interface that this library offers: what dmmpanel
 * uses, and what a general VISA client needs for message-based USB INSTR
 * resources. The IVI standard's names, type widths, status codes and
 * attribute ids. Implemented by this directory's library on Linux: USBTMC
 * instruments through the kernel driver, and in-process instruments
 * (inprocessinstrument.h). */
#ifndef DMMPANEL_VISA_H
#define DMMPANEL_VISA_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t ViStatus;
typedef uint32_t ViUInt32;
typedef int32_t ViInt32;
typedef uint16_t ViUInt16;
typedef int16_t ViInt16;
typedef uint8_t ViUInt8;
typedef ViUInt16 ViBoolean;
typedef ViUInt32 ViObject;
typedef ViObject ViSession;
typedef ViObject ViFindList;
typedef ViUInt32 ViAccessMode;
typedef ViUInt32 ViAttr;
typedef uint64_t ViAttrState; /* ULONG_PTR width on 64-bit systems */
typedef char ViChar;
typedef ViChar *ViString;
typedef const ViChar *ViConstString;
typedef ViString ViRsrc;
typedef ViConstString ViConstRsrc;
typedef unsigned char ViByte;
typedef ViByte *ViBuf;
typedef const ViByte *ViConstBuf;
typedef ViUInt32 *ViPUInt32;
typedef ViUInt16 *ViPUInt16;
typedef ViSession *ViPSession;
typedef ViFindList *ViPFindList;
typedef ViUInt32 ViVersion;
typedef ViUInt32 ViEventType;
typedef ViEventType *ViPEventType;
typedef ViObject ViEvent;
typedef ViEvent *ViPEvent;
typedef ViUInt32 ViEventFilter;
typedef void *ViAddr;
typedef ViUInt32 ViJobId;
typedef ViJobId *ViPJobId;
typedef ViConstString ViConstKeyId;
typedef ViStatus (*ViHndlr)(ViSession vi, ViEventType eventType, ViEvent event, ViAddr userHandle);

#define VI_NULL 0
#define VI_TRUE 1
#define VI_FALSE 0
#define VI_FIND_BUFLEN 256
#define VI_NO_LOCK ((ViAccessMode)0)
#define VI_TMO_IMMEDIATE 0UL
#define VI_TMO_INFINITE 0xFFFFFFFFUL
#define VI_EXCLUSIVE_LOCK ((ViAccessMode)1)
#define VI_SHARED_LOCK ((ViAccessMode)2)
#define VI_LOAD_CONFIG ((ViAccessMode)4)
#define VI_INTF_USB 7
#define VI_PROT_NORMAL 1
#define VI_ALL_ENABLED_EVENTS 0x3FFF7FFFUL

/* viFlush masks */
#define VI_READ_BUF 1
#define VI_WRITE_BUF 2
#define VI_READ_BUF_DISCARD 4
#define VI_WRITE_BUF_DISCARD 8
#define VI_IO_IN_BUF 16
#define VI_IO_OUT_BUF 32
#define VI_IO_IN_BUF_DISCARD 64
#define VI_IO_OUT_BUF_DISCARD 128

#define VI_SUCCESS ((ViStatus)0)
#define VI_SUCCESS_EVENT_DIS ((ViStatus)0x3FFF0003)
#define VI_SUCCESS_QUEUE_EMPTY ((ViStatus)0x3FFF0004)
#define VI_SUCCESS_TERM_CHAR ((ViStatus)0x3FFF0005)
#define VI_SUCCESS_MAX_CNT ((ViStatus)0x3FFF0006)
#define VI_WARN_UNKNOWN_STATUS ((ViStatus)0x3FFF0085)

#define VI_ERROR_SYSTEM_ERROR ((ViStatus)0xBFFF0000UL)
#define VI_ERROR_INV_OBJECT ((ViStatus)0xBFFF000EUL)
#define VI_ERROR_INV_EXPR ((ViStatus)0xBFFF0010UL)
#define VI_ERROR_RSRC_NFOUND ((ViStatus)0xBFFF0011UL)
#define VI_ERROR_INV_RSRC_NAME ((ViStatus)0xBFFF0012UL)
#define VI_ERROR_INV_ACC_MODE ((ViStatus)0xBFFF0013UL)
#define VI_ERROR_TMO ((ViStatus)0xBFFF0015UL)
#define VI_ERROR_NSUP_ATTR ((ViStatus)0xBFFF001DUL)
#define VI_ERROR_NSUP_ATTR_STATE ((ViStatus)0xBFFF001EUL)
#define VI_ERROR_ATTR_READONLY ((ViStatus)0xBFFF001FUL)
#define VI_ERROR_INV_MASK ((ViStatus)0xBFFF003DUL)
#define VI_ERROR_IO ((ViStatus)0xBFFF003EUL)
#define VI_ERROR_INV_FMT ((ViStatus)0xBFFF003FUL)
#define VI_ERROR_NSUP_OPER ((ViStatus)0xBFFF0067UL)
#define VI_ERROR_USER_BUF ((ViStatus)0xBFFF0071UL)
#define VI_ERROR_INTF_NUM_NCONFIG ((ViStatus)0xBFFF00A5UL)
#define VI_ERROR_CONN_LOST ((ViStatus)0xBFFF00A6UL)

#define VI_ATTR_RSRC_CLASS ((ViAttr)0xBFFF0001UL)
#define VI_ATTR_RSRC_NAME ((ViAttr)0xBFFF0002UL)
#define VI_ATTR_RSRC_IMPL_VERSION ((ViAttr)0x3FFF0003UL)
#define VI_ATTR_RSRC_LOCK_STATE ((ViAttr)0x3FFF0004UL)
#define VI_ATTR_RSRC_SPEC_VERSION ((ViAttr)0x3FFF0170UL)
#define VI_ATTR_RSRC_MANF_NAME ((ViAttr)0xBFFF0174UL)
#define VI_ATTR_INTF_TYPE ((ViAttr)0x3FFF0171UL)
#define VI_ATTR_INTF_NUM ((ViAttr)0x3FFF0176UL)
#define VI_ATTR_SEND_END_EN ((ViAttr)0x3FFF0016UL)
#define VI_ATTR_TERMCHAR ((ViAttr)0x3FFF0018UL)
#define VI_ATTR_TMO_VALUE ((ViAttr)0x3FFF001AUL)
#define VI_ATTR_IO_PROT ((ViAttr)0x3FFF001CUL)
#define VI_ATTR_SUPPRESS_END_EN ((ViAttr)0x3FFF0036UL)
#define VI_ATTR_TERMCHAR_EN ((ViAttr)0x3FFF0038UL)
#define VI_ATTR_MANF_ID ((ViAttr)0x3FFF00D9UL)
#define VI_ATTR_MODEL_CODE ((ViAttr)0x3FFF00DFUL)
#define VI_ATTR_USB_SERIAL_NUM ((ViAttr)0xBFFF01A0UL)
#define VI_ATTR_USB_INTFC_NUM ((ViAttr)0x3FFF01A1UL)

ViStatus viOpenDefaultRM(ViPSession vi);
ViStatus viFindRsrc(ViSession sesn, ViConstString expr, ViPFindList vi, ViPUInt32 retCnt, ViChar desc[]);
ViStatus viFindNext(ViFindList vi, ViChar desc[]);
ViStatus viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout, ViPSession vi);
ViStatus viClose(ViObject vi);
ViStatus viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue);
ViStatus viRead(ViSession vi, ViBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);
ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);
/* The write format is sent as text ("%%" stands for one "%"); the read format
 * is "%t" or "%Nt": read to the end of the message into a char buffer. With a
 * width N at most N-1 characters and a NUL are stored; a bare "%t" stores at
 * most VI_FIND_BUFLEN-1 characters and a NUL. Characters beyond are read and
 * discarded, so the next query never sees the rest of this answer. With a
 * termination character enabled, the read stops after it, as viRead does, and
 * the rest of the message is left for the next read. */
ViStatus viQueryf(ViSession vi, ViConstString writeFmt, ViConstString readFmt, ...);

/* Resource names: USB[board]::vendor::product::serial[::interface][::INSTR].
 * Aliases are not offered: aliasIfExists is always empty. */
ViStatus viParseRsrc(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType, ViPUInt16 intfNum);
ViStatus viParseRsrcEx(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType, ViPUInt16 intfNum,
                       ViChar rsrcClass[], ViChar expandedUnaliasedName[], ViChar aliasIfExists[]);
/* attrState points to a value of the attribute's own type; strings get
 * VI_FIND_BUFLEN bytes at most. */
ViStatus viGetAttribute(ViObject vi, ViAttr attrName, void *attrState);
ViStatus viStatusDesc(ViObject vi, ViStatus status, ViChar desc[]);
ViStatus viClear(ViSession vi);
ViStatus viFlush(ViSession vi, ViUInt16 mask);

/* No events are offered: nothing is ever enabled or queued. */
ViStatus viEnableEvent(ViSession vi, ViEventType eventType, ViUInt16 mechanism, ViEventFilter context);
ViStatus viDisableEvent(ViSession vi, ViEventType eventType, ViUInt16 mechanism);
ViStatus viDiscardEvents(ViSession vi, ViEventType eventType, ViUInt16 mechanism);
ViStatus viWaitOnEvent(ViSession vi, ViEventType inEventType, ViUInt32 timeout, ViPEventType outEventType,
                       ViPEvent outContext);
ViStatus viInstallHandler(ViSession vi, ViEventType eventType, ViHndlr handler, ViAddr userHandle);
ViStatus viUninstallHandler(ViSession vi, ViEventType eventType, ViHndlr handler, ViAddr userHandle);

/* Operations of a USB INSTR resource that this library does not offer:
 * each answers VI_ERROR_NSUP_OPER for an open object. */
ViStatus viLock(ViSession vi, ViAccessMode lockType, ViUInt32 timeout, ViConstKeyId requestedKey,
                ViChar accessKey[]);
ViStatus viUnlock(ViSession vi);
ViStatus viReadSTB(ViSession vi, ViPUInt16 status);
ViStatus viAssertTrigger(ViSession vi, ViUInt16 protocol);
ViStatus viGpibControlREN(ViSession vi, ViUInt16 mode);
ViStatus viUsbControlIn(ViSession vi, ViInt16 bmRequestType, ViInt16 bRequest, ViUInt16 wValue, ViUInt16 wIndex,
                        ViUInt16 wLength, ViBuf buf, ViPUInt16 retCnt);
ViStatus viUsbControlOut(ViSession vi, ViInt16 bmRequestType, ViInt16 bRequest, ViUInt16 wValue, ViUInt16 wIndex,
                         ViUInt16 wLength, ViConstBuf buf);
ViStatus viSetBuf(ViSession vi, ViUInt16 mask, ViUInt32 size);
ViStatus viReadAsync(ViSession vi, ViBuf buf, ViUInt32 cnt, ViPJobId jobId);
ViStatus viWriteAsync(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPJobId jobId);
ViStatus viTerminate(ViObject vi, ViUInt16 degree, ViJobId jobId);

/* Not part of the standard: resource managers, sessions and find lists open
 * right now, for clients that load the library by name and want to check that
 * they left nothing open (visa::openObjectCount() for C++). */
ViUInt32 dmmvisaOpenObjectCount(void);

#ifdef __cplusplus
}
#endif

#endif
