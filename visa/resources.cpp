#include "resources.h"

#include "diagnostics.h"
#include "inprocessconnection.h"
#include "inprocessinstrument.h"
#include "resourceexpression.h"
#include "resourcename.h"
#include "usbtmc.h"

#include <algorithm>
#include <cctype>
#include <mutex>

namespace visa {

namespace {

const char *const DefaultSysfsClassDir = "/sys/class/usbmisc";
const char *const DefaultDevDir = "/dev";

struct Registry
{
    std::mutex mutex;
    std::vector<std::shared_ptr<InProcessInstrument>> instruments;
    std::string sysfsClassDir = DefaultSysfsClassDir;
    std::string devDir = DefaultDevDir;
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

std::vector<std::shared_ptr<InProcessInstrument>> inProcessInstruments()
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.instruments;
}

std::vector<usbtmc::Device> kernelDevices()
{
    Registry &r = registry();
    std::string sysfsClassDir;
    std::string devDir;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        sysfsClassDir = r.sysfsClassDir;
        devDir = r.devDir;
    }
    return usbtmc::scan(sysfsClassDir, devDir);
}

// Something the layer can open, under the name it is listed by.
struct Resource
{
    std::string name;
    std::shared_ptr<InProcessInstrument> instrument; // or else
    std::string node;                                // a kernel device's node
};

bool taken(const std::vector<Resource> &listed, const std::string &name)
{
    return std::any_of(listed.begin(), listed.end(),
                       [&name](const Resource &resource) { return sameResourceName(resource.name, name); });
}

// `name` with the first board number not yet taken, such as USB1::... for a
// second USB0::... (two instruments without serial numbers); empty when the
// name has no board number to change.
std::string withFreeBoard(const std::vector<Resource> &listed, const std::string &name)
{
    std::size_t letters = 0;
    while (letters < name.size() && std::isalpha(static_cast<unsigned char>(name[letters])))
        ++letters;
    std::size_t digits = letters;
    while (digits < name.size() && std::isdigit(static_cast<unsigned char>(name[digits])))
        ++digits;
    if (letters == 0 || name.compare(digits, 2, "::") != 0)
        return {};
    for (std::size_t board = 1; board <= listed.size(); ++board) {
        const std::string candidate = name.substr(0, letters) + std::to_string(board) + name.substr(digits);
        if (!taken(listed, candidate))
            return candidate;
    }
    return {};
}

// Lists `resource` under a name no resource listed before it has, and only
// when that name fits the standard's VI_FIND_BUFLEN buffer with its NUL: a
// name cut there could never be opened.
void addUnique(std::vector<Resource> &listed, Resource resource)
{
    const std::string given = resource.name;
    if (taken(listed, resource.name))
        resource.name = withFreeBoard(listed, resource.name);
    if (resource.name.empty()) {
        reportOnce("skipped a second resource named " + given);
        return;
    }
    if (resource.name.size() >= VI_FIND_BUFLEN) {
        reportOnce("skipped a resource whose name is longer than " + std::to_string(VI_FIND_BUFLEN - 1)
                   + " bytes: " + resource.name.substr(0, 60) + "...");
        return;
    }
    listed.push_back(std::move(resource));
}

// Every resource, in-process instruments first, each under a name of its own.
std::vector<Resource> resources()
{
    std::vector<Resource> listed;
    for (auto &instrument : inProcessInstruments()) {
        if (instrument->attached())
            addUnique(listed, Resource{instrument->resourceName(), instrument, {}});
    }
    for (auto &device : kernelDevices())
        addUnique(listed, Resource{std::move(device.resourceName), nullptr, std::move(device.node)});
    return listed;
}

} // namespace

void addInProcessInstrument(std::shared_ptr<InProcessInstrument> instrument)
{
    if (!instrument)
        return;
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.instruments.push_back(std::move(instrument));
}

void removeInProcessInstrument(const InProcessInstrument *instrument)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.instruments.erase(std::remove_if(r.instruments.begin(), r.instruments.end(),
                                       [instrument](const auto &listed) { return listed.get() == instrument; }),
                        r.instruments.end());
}

void setUsbtmcRoots(const std::string &sysfsClassDir, const std::string &devDir)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.sysfsClassDir = sysfsClassDir.empty() ? DefaultSysfsClassDir : sysfsClassDir;
    r.devDir = devDir.empty() ? DefaultDevDir : devDir;
}

std::vector<std::string> listResources()
{
    std::vector<std::string> names;
    for (auto &resource : resources())
        names.push_back(std::move(resource.name));
    return names;
}

ViStatus openResource(const std::string &name, std::unique_ptr<Connection> &connection, std::string &sessionName)
{
    const std::vector<Resource> listed = resources();
    const ResourceName parsed = ResourceName::parse(name);
    auto match = std::find_if(listed.begin(), listed.end(), [&parsed](const Resource &resource) {
        return parsed.sameResource(ResourceName::parse(resource.name));
    });
    sessionName = match != listed.end() ? match->name : name;
    if (match == listed.end())
        match = std::find_if(listed.begin(), listed.end(),
                             [&name](const Resource &resource) { return sameResourceName(resource.name, name); });
    if (match == listed.end())
        return VI_ERROR_RSRC_NFOUND;
    if (match->instrument) {
        connection = std::make_unique<InProcessConnection>(match->instrument);
        return VI_SUCCESS;
    }
    return usbtmc::open(match->node, connection);
}

} // namespace visa
