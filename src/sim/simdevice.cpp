#include "sim/simdevice.h"

#include "sim/simcommand.h"

uint8_t SimDevice::serialPoll()
{
    const uint8_t s = m_statusByte;
    m_statusByte = 0;
    return s;
}

void SimOtherDevice::receive(std::string_view message)
{
    output().clear();
    for (const SimCommand &c : splitCommands(message)) {
        if (c.header == "ID" && c.query && c.argument.empty())
            output() = "ID SIM/DM5120,V1.0";
        else
            flagError(SimCommandError);
    }
}
