#include "resources.h"

#include "inprocessconnection.h"
#include "inprocessinstrument.h"
#include "resourceexpression.h"
#include "usbtmc.h"

#include <algorithm>
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
    for (const auto &instrument : inProcessInstruments()) {
        if (instrument->attached())
            names.push_back(instrument->resourceName());
    }
    for (const auto &device : kernelDevices())
        names.push_back(device.resourceName);
    return names;
}

ViStatus openResource(const std::string &name, std::unique_ptr<Connection> &connection)
{
    for (const auto &instrument : inProcessInstruments()) {
        if (instrument->attached() && sameResourceName(instrument->resourceName(), name)) {
            connection = std::make_unique<InProcessConnection>(instrument);
            return VI_SUCCESS;
        }
    }
    for (const auto &device : kernelDevices()) {
        if (sameResourceName(device.resourceName, name))
            return usbtmc::open(device.node, connection);
    }
    return VI_ERROR_RSRC_NFOUND;
}

} // namespace visa
