#include "visaquerytool.h"

#include "diagnostics.h"
#include "visa.h"

#include <cstdlib>

namespace {

const char *const Usage =
    "usage: visaquery --list\n"
    "       visaquery [--resource PATTERN] [--timeout MS] COMMAND...\n"
    "Sends each COMMAND with a line feed to the first resource matching PATTERN\n"
    "('?' any one character, '*' any run; default \"USB?*INSTR\") and prints the\n"
    "answer of each query (a command containing '?').\n";

const char *statusText(ViStatus status)
{
    switch (status) {
    case VI_ERROR_INV_OBJECT: return "invalid session";
    case VI_ERROR_INV_EXPR: return "invalid resource pattern";
    case VI_ERROR_RSRC_NFOUND: return "no matching resource";
    case VI_ERROR_INV_RSRC_NAME: return "invalid resource name";
    case VI_ERROR_TMO: return "time-out, the instrument did not answer";
    case VI_ERROR_NSUP_ATTR: return "attribute not supported";
    case VI_ERROR_NSUP_ATTR_STATE: return "attribute value not supported";
    case VI_ERROR_IO: return "I/O error (for a USB device, check that the udev rule gives you access to its /dev/usbtmc node)";
    case VI_ERROR_INV_FMT: return "invalid format";
    case VI_ERROR_USER_BUF: return "invalid buffer";
    case VI_ERROR_CONN_LOST: return "connection lost";
    default: return "VISA error";
    }
}

std::ostream &reportFailure(std::ostream &err, const std::string &what, ViStatus status)
{
    return err << "visaquery: " << what << ": " << statusText(status) << " (status 0x" << std::hex
               << static_cast<ViUInt32>(status) << std::dec << ")\n";
}

// Closes the resource manager, and with it every session, on every way out.
class ResourceManager
{
public:
    ResourceManager() { m_status = viOpenDefaultRM(&m_session); }
    ~ResourceManager()
    {
        if (m_status == VI_SUCCESS)
            viClose(m_session);
    }
    ResourceManager(const ResourceManager &) = delete;
    ResourceManager &operator=(const ResourceManager &) = delete;

    ViStatus status() const { return m_status; }
    ViSession session() const { return m_session; }

private:
    ViSession m_session = VI_NULL;
    ViStatus m_status;
};

int list(ViSession rm, std::ostream &out, std::ostream &err)
{
    ViFindList found = VI_NULL;
    ViUInt32 count = 0;
    ViChar name[VI_FIND_BUFLEN];
    const ViStatus status = viFindRsrc(rm, "?*", &found, &count, name);
    if (status == VI_ERROR_RSRC_NFOUND) {
        err << "visaquery: no resources found\n";
        return EXIT_SUCCESS;
    }
    if (status < VI_SUCCESS) {
        reportFailure(err, "listing resources", status);
        return EXIT_FAILURE;
    }
    for (ViUInt32 i = 0; i < count; ++i) {
        if (i > 0 && viFindNext(found, name) < VI_SUCCESS)
            break;
        out << visa::printable(name) << '\n';
    }
    return EXIT_SUCCESS;
}

// Reads one whole answer, however long.
ViStatus readAnswer(ViSession instrument, std::string &answer)
{
    ViStatus status = VI_SUCCESS_MAX_CNT;
    while (status == VI_SUCCESS_MAX_CNT) {
        ViByte chunk[VI_FIND_BUFLEN];
        ViUInt32 got = 0;
        status = viRead(instrument, chunk, sizeof chunk, &got);
        answer.append(reinterpret_cast<const char *>(chunk), got);
    }
    return status;
}

// The answer without the line feed that ends it, or the CR LF of a meter
// that ends its lines so.
std::string withoutLineEnd(std::string answer)
{
    if (!answer.empty() && answer.back() == '\n')
        answer.pop_back();
    if (!answer.empty() && answer.back() == '\r')
        answer.pop_back();
    return answer;
}

int query(ViSession rm, const std::string &pattern, ViUInt32 timeoutMs, const std::vector<std::string> &commands,
          std::ostream &out, std::ostream &err)
{
    ViChar name[VI_FIND_BUFLEN];
    ViStatus status = viFindRsrc(rm, pattern.c_str(), VI_NULL, VI_NULL, name);
    if (status < VI_SUCCESS) {
        reportFailure(err, "finding \"" + visa::printable(pattern) + "\"", status);
        return EXIT_FAILURE;
    }
    ViSession instrument = VI_NULL;
    status = viOpen(rm, name, VI_NO_LOCK, timeoutMs, &instrument);
    if (status >= VI_SUCCESS)
        status = viSetAttribute(instrument, VI_ATTR_TMO_VALUE, timeoutMs);
    if (status < VI_SUCCESS) {
        reportFailure(err, "opening " + visa::printable(name), status);
        return EXIT_FAILURE;
    }
    for (const std::string &command : commands) {
        const std::string line = command + '\n';
        status = viWrite(instrument, reinterpret_cast<const ViByte *>(line.data()),
                         static_cast<ViUInt32>(line.size()), VI_NULL);
        std::string answer;
        if (status >= VI_SUCCESS && command.find('?') != std::string::npos) {
            status = readAnswer(instrument, answer);
            if (status >= VI_SUCCESS)
                out << visa::printable(withoutLineEnd(answer)) << '\n';
        }
        if (status < VI_SUCCESS) {
            reportFailure(err, visa::printable(name) + ": \"" + visa::printable(command) + "\"", status);
            return EXIT_FAILURE;
        }
    }
    return EXIT_SUCCESS;
}

bool parseTimeout(const std::string &text, ViUInt32 &timeoutMs)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    timeoutMs = static_cast<ViUInt32>(std::stoul(text));
    return true;
}

} // namespace

int runVisaQuery(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    bool listing = false;
    std::string pattern = "USB?*INSTR";
    ViUInt32 timeoutMs = 2000;
    std::vector<std::string> commands;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--help" || arg == "-h") {
            out << Usage;
            return EXIT_SUCCESS;
        } else if (arg == "--list") {
            listing = true;
        } else if (arg == "--resource" && hasValue) {
            pattern = args[++i];
        } else if (arg == "--timeout" && hasValue && parseTimeout(args[i + 1], timeoutMs)) {
            ++i;
        } else if (arg.rfind('-', 0) == 0) {
            err << "visaquery: bad option or missing value: " << visa::printable(arg) << '\n' << Usage;
            return EXIT_FAILURE;
        } else if (arg.find('\n') != std::string::npos) {
            // Its second line would be a command of its own, and every answer
            // after it would be printed against the wrong command.
            err << "visaquery: a command must not contain a line feed: \"" << visa::printable(arg) << "\"\n";
            return EXIT_FAILURE;
        } else {
            commands.push_back(arg);
        }
    }
    if (listing == !commands.empty()) {
        err << Usage;
        return EXIT_FAILURE;
    }
    ResourceManager rm;
    if (rm.status() < VI_SUCCESS) {
        reportFailure(err, "opening the resource manager", rm.status());
        return EXIT_FAILURE;
    }
    return listing ? list(rm.session(), out, err) : query(rm.session(), pattern, timeoutMs, commands, out, err);
}
