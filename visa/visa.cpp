// The VISA C functions over a table of open objects: resource managers,
// instrument sessions and find lists.

#include "visa.h"

#include "connection.h"
#include "inprocessinstrument.h"
#include "resourceexpression.h"
#include "resources.h"
#include "session.h"
#include "visatext.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

namespace {

using namespace visa;
using Clock = MessageBudget::Clock;

struct ResourceManager
{
};

struct FindList
{
    std::vector<std::string> names;
    std::size_t next = 1; // the first was returned by viFindRsrc
};

using Object = std::variant<ResourceManager, std::shared_ptr<InstrumentSession>, FindList>;

struct Entry
{
    ViSession owner; // resource manager it was opened through; 0 for a resource manager
    Object object;
};

// Open objects by handle. Handles count up and are not reused, so a stale
// handle finds nothing rather than someone else's session.
class ObjectTable
{
public:
    ViObject add(ViSession owner, Object object)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return addLocked(owner, std::move(object));
    }

    // Adds an object opened through `owner` unless `owner` was closed meanwhile.
    bool addUnder(ViSession owner, Object object, ViObject &handle)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!isResourceManagerLocked(owner))
            return false;
        handle = addLocked(owner, std::move(object));
        return true;
    }

    bool isResourceManager(ViObject handle)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return isResourceManagerLocked(handle);
    }

    bool exists(ViObject handle)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entries.count(handle) != 0;
    }

    std::shared_ptr<InstrumentSession> instrument(ViObject handle)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_entries.find(handle);
        if (it == m_entries.end())
            return nullptr;
        const auto *session = std::get_if<std::shared_ptr<InstrumentSession>>(&it->second.object);
        return session ? *session : nullptr;
    }

    // Next name of a find list into `desc`.
    ViStatus findNext(ViFindList handle, ViChar desc[])
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_entries.find(handle);
        FindList *list = it == m_entries.end() ? nullptr : std::get_if<FindList>(&it->second.object);
        if (!list)
            return VI_ERROR_INV_OBJECT;
        if (list->next >= list->names.size())
            return VI_ERROR_RSRC_NFOUND;
        copyToVisaBuffer(list->names[list->next++], desc);
        return VI_SUCCESS;
    }

    // Closes `handle` and, for a resource manager, everything opened through it.
    bool close(ViObject handle)
    {
        std::vector<Object> closing; // destroyed after the lock is released
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const auto it = m_entries.find(handle);
            if (it == m_entries.end())
                return false;
            closing.push_back(std::move(it->second.object));
            m_entries.erase(it);
            for (auto child = m_entries.begin(); child != m_entries.end();) {
                if (child->second.owner == handle) {
                    closing.push_back(std::move(child->second.object));
                    child = m_entries.erase(child);
                } else {
                    ++child;
                }
            }
        }
        return true;
    }

    std::size_t count()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entries.size();
    }

private:
    ViObject addLocked(ViSession owner, Object object)
    {
        do {
            ++m_lastHandle;
        } while (m_lastHandle == VI_NULL || m_entries.count(m_lastHandle));
        m_entries.emplace(m_lastHandle, Entry{owner, std::move(object)});
        return m_lastHandle;
    }

    bool isResourceManagerLocked(ViObject handle) const
    {
        const auto it = m_entries.find(handle);
        return it != m_entries.end() && std::holds_alternative<ResourceManager>(it->second.object);
    }

    std::mutex m_mutex;
    std::map<ViObject, Entry> m_entries;
    ViObject m_lastHandle = VI_NULL;
};

ObjectTable &objects()
{
    static ObjectTable table;
    return table;
}

// Fails the message under way with `status`, dropping its rest.
ViStatus abandonMessage(InstrumentSession &session, ViStatus status)
{
    session.connection->clear();
    session.message.open = false;
    return status;
}

// Reads the next piece of the current answer message within its budget:
// past the time-out or the byte cap the rest is discarded and the read fails
// with VI_ERROR_TMO or VI_ERROR_IO. Called with the session's io lock held.
ViStatus readPiece(InstrumentSession &session, ViByte *buf, ViUInt32 cnt, ViUInt32 &got)
{
    got = 0;
    MessageBudget &message = session.message;
    const bool first = !message.open;
    if (first) {
        const ViUInt32 timeoutMs = session.timeoutMs;
        message.timed = timeoutMs != VI_TMO_INFINITE;
        message.deadline = Clock::now() + std::chrono::milliseconds(message.timed ? timeoutMs : 0);
        message.bytes = 0;
    }
    ViUInt32 waitMs = VI_TMO_INFINITE;
    if (message.timed) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(message.deadline - Clock::now()).count();
        if (left <= 0 && !first)
            return abandonMessage(session, VI_ERROR_TMO);
        waitMs = static_cast<ViUInt32>(std::max<long long>(left, 0));
    }
    // One byte beyond the cap tells a message that is too long from one that fits exactly.
    const auto asked = static_cast<ViUInt32>(std::min<std::size_t>(cnt, MaxMessageBytes - message.bytes + 1));
    const ViStatus status = session.connection->read(buf, asked, got, waitMs);
    message.bytes += got;
    message.open = status == VI_SUCCESS_MAX_CNT;
    if (message.bytes > MaxMessageBytes)
        return message.open ? abandonMessage(session, VI_ERROR_IO) : VI_ERROR_IO;
    return status;
}

// A new command ends whatever was left unread of the previous answer.
void startExchange(InstrumentSession &session)
{
    if (session.message.open)
        abandonMessage(session, VI_SUCCESS);
}

// Reads one whole answer message, storing at most capacity-1 bytes and a NUL
// in `out` and discarding the rest.
ViStatus readMessage(InstrumentSession &session, char *out, std::size_t capacity)
{
    std::size_t stored = 0;
    ViStatus status = VI_SUCCESS_MAX_CNT;
    while (status == VI_SUCCESS_MAX_CNT) {
        ViByte chunk[4096];
        ViUInt32 got = 0;
        status = readPiece(session, chunk, sizeof chunk, got);
        const std::size_t kept = std::min<std::size_t>(got, capacity - 1 - stored);
        std::memcpy(out + stored, chunk, kept);
        stored += kept;
    }
    out[stored] = '\0';
    return status;
}

// Capacity of the buffer that a "%t" or "%Nt" read format names, or 0 for
// any other format.
std::size_t readFormatCapacity(const char *format)
{
    if (!format || format[0] != '%')
        return 0;
    if (std::strcmp(format, "%t") == 0)
        return VI_FIND_BUFLEN;
    std::size_t width = 0;
    const char *p = format + 1;
    for (; *p >= '0' && *p <= '9'; ++p) {
        width = width * 10 + static_cast<std::size_t>(*p - '0');
        if (width > 0x7FFFFFFF)
            return 0;
    }
    return p != format + 1 && p[0] == 't' && p[1] == '\0' ? width : 0;
}

// The text a write format stands for, or false when it holds a conversion.
bool expandWriteFormat(const char *format, std::string &text)
{
    for (const char *p = format; *p; ++p) {
        if (*p == '%') {
            if (p[1] != '%')
                return false;
            ++p;
        }
        text += *p;
    }
    return true;
}

} // namespace

namespace visa {

std::size_t openObjectCount()
{
    return objects().count();
}

std::shared_ptr<InstrumentSession> instrumentSession(ViObject handle)
{
    return objects().instrument(handle);
}

bool isResourceManager(ViObject handle)
{
    return objects().isResourceManager(handle);
}

bool isOpenObject(ViObject handle)
{
    return objects().exists(handle);
}

} // namespace visa

ViUInt32 dmmvisaOpenObjectCount(void)
{
    return static_cast<ViUInt32>(visa::openObjectCount());
}

ViStatus viOpenDefaultRM(ViPSession vi)
{
    if (!vi)
        return VI_ERROR_USER_BUF;
    *vi = objects().add(VI_NULL, ResourceManager{});
    return VI_SUCCESS;
}

ViStatus viFindRsrc(ViSession sesn, ViConstString expr, ViPFindList vi, ViPUInt32 retCnt, ViChar desc[])
{
    if (vi)
        *vi = VI_NULL;
    if (retCnt)
        *retCnt = 0;
    if (!objects().isResourceManager(sesn))
        return VI_ERROR_INV_OBJECT;
    if (!expr || !*expr)
        return VI_ERROR_INV_EXPR;
    FindList list;
    for (auto &name : listResources()) {
        if (matchesResourceExpression(expr, name))
            list.names.push_back(std::move(name));
    }
    if (list.names.empty())
        return VI_ERROR_RSRC_NFOUND;
    copyToVisaBuffer(list.names.front(), desc);
    const auto found = static_cast<ViUInt32>(list.names.size());
    if (vi) {
        ViObject handle = VI_NULL;
        if (!objects().addUnder(sesn, std::move(list), handle))
            return VI_ERROR_INV_OBJECT;
        *vi = handle;
    }
    if (retCnt)
        *retCnt = found;
    return VI_SUCCESS;
}

ViStatus viFindNext(ViFindList vi, ViChar desc[])
{
    return objects().findNext(vi, desc);
}

ViStatus viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32, ViPSession vi)
{
    if (vi)
        *vi = VI_NULL;
    if (!objects().isResourceManager(sesn))
        return VI_ERROR_INV_OBJECT;
    if (!name || !*name)
        return VI_ERROR_INV_RSRC_NAME;
    if (!vi)
        return VI_ERROR_USER_BUF;
    if (mode & ~(VI_EXCLUSIVE_LOCK | VI_SHARED_LOCK | VI_LOAD_CONFIG))
        return VI_ERROR_INV_ACC_MODE;
    if (mode & (VI_EXCLUSIVE_LOCK | VI_SHARED_LOCK))
        return VI_ERROR_NSUP_OPER; // no locks; there is no configuration to load either
    std::unique_ptr<Connection> connection;
    std::string sessionName;
    const ViStatus status = openResource(name, connection, sessionName);
    if (status < VI_SUCCESS)
        return status;
    ViObject handle = VI_NULL;
    if (!objects().addUnder(sesn, std::make_shared<InstrumentSession>(sessionName, std::move(connection)), handle))
        return VI_ERROR_INV_OBJECT;
    *vi = handle;
    return VI_SUCCESS;
}

ViStatus viClose(ViObject vi)
{
    return objects().close(vi) ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
}

ViStatus viRead(ViSession vi, ViBuf buf, ViUInt32 cnt, ViPUInt32 retCnt)
{
    if (retCnt)
        *retCnt = 0;
    const auto session = objects().instrument(vi);
    if (!session)
        return VI_ERROR_INV_OBJECT;
    if (cnt == 0)
        return VI_SUCCESS_MAX_CNT;
    if (!buf)
        return VI_ERROR_USER_BUF;
    std::lock_guard<std::mutex> lock(session->io);
    ViUInt32 got = 0;
    const ViStatus status = readPiece(*session, buf, cnt, got);
    if (retCnt)
        *retCnt = got;
    return status;
}

ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt)
{
    if (retCnt)
        *retCnt = 0;
    const auto session = objects().instrument(vi);
    if (!session)
        return VI_ERROR_INV_OBJECT;
    if (!buf && cnt > 0)
        return VI_ERROR_USER_BUF;
    std::lock_guard<std::mutex> lock(session->io);
    startExchange(*session);
    ViUInt32 written = 0;
    const ViStatus status = session->connection->write(buf, cnt, written, session->timeoutMs);
    if (retCnt)
        *retCnt = written;
    return status;
}

ViStatus viQueryf(ViSession vi, ViConstString writeFmt, ViConstString readFmt, ...)
{
    const auto session = objects().instrument(vi);
    if (!session)
        return VI_ERROR_INV_OBJECT;
    std::string command;
    const std::size_t capacity = readFormatCapacity(readFmt);
    if (!writeFmt || !expandWriteFormat(writeFmt, command) || capacity == 0)
        return VI_ERROR_INV_FMT;
    va_list args;
    va_start(args, readFmt);
    char *out = va_arg(args, char *);
    va_end(args);
    if (!out)
        return VI_ERROR_USER_BUF;
    out[0] = '\0';

    std::lock_guard<std::mutex> lock(session->io);
    startExchange(*session);
    ViUInt32 written = 0;
    const ViStatus status = session->connection->write(reinterpret_cast<const ViByte *>(command.data()),
                                                       static_cast<ViUInt32>(command.size()), written,
                                                       session->timeoutMs);
    if (status < VI_SUCCESS)
        return status;
    return readMessage(*session, out, capacity);
}
