#pragma once

#include "connection.h"
#include "inprocessinstrument.h"

#include <memory>
#include <string>

namespace visa {

// Connection to a software instrument: hands its answer messages out in
// pieces as viRead asks for them.
class InProcessConnection : public Connection
{
public:
    explicit InProcessConnection(std::shared_ptr<InProcessInstrument> instrument);

    ViStatus write(const ViByte *buf, ViUInt32 cnt, ViUInt32 &written, ViUInt32 timeoutMs) override;
    ViStatus read(ViByte *buf, ViUInt32 cnt, ViUInt32 &got, ViUInt32 timeoutMs) override;
    ViStatus clear() override;
    bool inProcess() const override { return true; }

private:
    std::shared_ptr<InProcessInstrument> m_instrument;
    std::string m_message;       // answer being handed out
    std::size_t m_delivered = 0; // bytes of m_message already handed out
    bool m_inMessage = false;
};

} // namespace visa
