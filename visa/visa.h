/* The part of the VISA C interface that dmmpanel uses, with the IVI
 * standard's names, type widths, status codes and attribute ids.
 * Implemented by this directory's library on Linux: USBTMC instruments
 * through the kernel driver, and in-process instruments (inprocessinstrument.h). */
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
typedef ViSession *ViPSession;
typedef ViFindList *ViPFindList;

#define VI_NULL 0
#define VI_TRUE 1
#define VI_FALSE 0
#define VI_FIND_BUFLEN 256
#define VI_NO_LOCK ((ViAccessMode)0)
#define VI_TMO_IMMEDIATE 0UL
#define VI_TMO_INFINITE 0xFFFFFFFFUL

#define VI_SUCCESS ((ViStatus)0)
#define VI_SUCCESS_TERM_CHAR ((ViStatus)0x3FFF0005)
#define VI_SUCCESS_MAX_CNT ((ViStatus)0x3FFF0006)

#define VI_ERROR_INV_OBJECT ((ViStatus)0xBFFF000EUL)
#define VI_ERROR_INV_EXPR ((ViStatus)0xBFFF0010UL)
#define VI_ERROR_RSRC_NFOUND ((ViStatus)0xBFFF0011UL)
#define VI_ERROR_INV_RSRC_NAME ((ViStatus)0xBFFF0012UL)
#define VI_ERROR_TMO ((ViStatus)0xBFFF0015UL)
#define VI_ERROR_NSUP_ATTR ((ViStatus)0xBFFF001DUL)
#define VI_ERROR_NSUP_ATTR_STATE ((ViStatus)0xBFFF001EUL)
#define VI_ERROR_IO ((ViStatus)0xBFFF003EUL)
#define VI_ERROR_INV_FMT ((ViStatus)0xBFFF003FUL)
#define VI_ERROR_USER_BUF ((ViStatus)0xBFFF0071UL)
#define VI_ERROR_CONN_LOST ((ViStatus)0xBFFF00A6UL)

#define VI_ATTR_TMO_VALUE ((ViAttr)0x3FFF001AUL)

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
 * discarded, so the next query never sees the rest of this answer. */
ViStatus viQueryf(ViSession vi, ViConstString writeFmt, ViConstString readFmt, ...);

#ifdef __cplusplus
}
#endif

#endif
