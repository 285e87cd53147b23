// viClear and viFlush on instrument sessions.

#include "visa.h"

#include "session.h"

using namespace visa;

ViStatus viClear(ViSession vi)
{
    const auto session = instrumentSession(vi);
    if (!session)
        return unsupportedOperationOn(vi);
    std::lock_guard<std::mutex> lock(session->io);
    return session->connection->clear();
}

// Writes go out at once and formatted reads take whole messages, so the
// formatted I/O buffers are always empty. The only buffered input is what a
// read kept after a termination character: the read and receive buffers.
ViStatus viFlush(ViSession vi, ViUInt16 mask)
{
    const auto session = instrumentSession(vi);
    if (!session)
        return unsupportedOperationOn(vi);
    constexpr ViUInt16 all = VI_READ_BUF | VI_WRITE_BUF | VI_READ_BUF_DISCARD | VI_WRITE_BUF_DISCARD | VI_IO_IN_BUF
                             | VI_IO_OUT_BUF | VI_IO_IN_BUF_DISCARD | VI_IO_OUT_BUF_DISCARD;
    const auto both = [mask](ViUInt16 a, ViUInt16 b) { return (mask & a) && (mask & b); };
    if (mask == 0 || (mask & ~all) || both(VI_READ_BUF, VI_READ_BUF_DISCARD) || both(VI_WRITE_BUF, VI_WRITE_BUF_DISCARD)
        || both(VI_IO_IN_BUF, VI_IO_IN_BUF_DISCARD))
        return VI_ERROR_INV_MASK;
    if (mask & (VI_READ_BUF | VI_READ_BUF_DISCARD | VI_IO_IN_BUF | VI_IO_IN_BUF_DISCARD)) {
        std::lock_guard<std::mutex> lock(session->io);
        session->connection->discardHeldInput();
    }
    return VI_SUCCESS;
}
