#include "gpib/driver.h"

#include <algorithm>

namespace {
// Left in ibcntl when the driver would not register our status variables, so that a
// count read afterwards is recognisably not a transfer count (ibcnt then reads 14320).
constexpr int32_t RegistrationFailedMarker = static_cast<int32_t>(0xDEAD37F0u);
} // namespace

int16_t LongToInt16(const int32_t &value)
{
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFFu));
}

void GpibDriver::RegisterStatusGlobals()
{
    const int rc = m_backend.RegisterGpibGlobalsForThread(&m_DriverIbsta, &m_DriverIberr,
                                                          &m_DriverIbcnt, &m_ibcntl);
    if (rc == 0) {
        m_statusGlobalsRegistered = true;
        return;
    }
    if (rc == 1) {
        // Registered earlier for this thread, perhaps with variables that no longer
        // exist: register ours afresh.
        m_backend.UnregisterGpibGlobalsForThread();
        m_backend.RegisterGpibGlobalsForThread(&m_DriverIbsta, &m_DriverIberr, &m_DriverIbcnt,
                                               &m_ibcntl);
        m_statusGlobalsRegistered = true;
        return;
    }
    if (rc == 2 || rc == 3)
        m_backend.UnregisterGpibGlobalsForThread();
    // Left unregistered, so that the next wrapper call tries again.
    m_ibsta = static_cast<int16_t>(gpib::ERR);
    m_iberr = static_cast<int16_t>(gpib::EDVR);
    m_ibcntl = RegistrationFailedMarker;
}

void GpibDriver::RefreshGpibStatus()
{
    if (!m_statusGlobalsRegistered) {
        // The driver could not deliver this call's status anywhere: what the variables
        // hold is an older call's status. Report the registration failure instead of
        // passing a stale success on to the caller.
        m_ibsta = static_cast<int16_t>(gpib::ERR);
        m_iberr = static_cast<int16_t>(gpib::EDVR);
        m_ibcnt = LongToInt16(m_ibcntl);
        return;
    }
    m_ibsta = LongToInt16(m_DriverIbsta);
    m_iberr = static_cast<int16_t>(m_DriverIberr);
    m_ibcnt = LongToInt16(m_ibcntl);
}

template<class Call> void GpibDriver::call(Call &&driverCall)
{
    // Registration is per thread: it happens where the calls run.
    const auto onBus = [&] {
        if (!m_statusGlobalsRegistered)
            RegisterStatusGlobals();
        driverCall();
        RefreshGpibStatus();
    };
    if (m_bus)
        m_bus->run(onBus);
    else
        onBus();
}

void GpibDriver::SendIFC(int16_t board)
{
    call([&] { m_backend.SendIFC(board); });
}

void GpibDriver::ibsre(int16_t board, int16_t value)
{
    call([&] { m_backend.ibsre(board, value); });
}

void GpibDriver::FindLstn(int16_t board, std::span<const int16_t> addressList,
                          std::span<int16_t> resultList, int16_t limit)
{
    // The driver reads the list up to its marker and writes up to `limit` results: both
    // must stay inside the tables they were given.
    const bool terminated =
        std::find(addressList.begin(), addressList.end(), static_cast<int16_t>(gpib::NOADDR)) !=
        addressList.end();
    const int capacity = static_cast<int>(std::min<size_t>(resultList.size(), 0x7FFF));
    const int safeLimit = std::clamp<int>(limit, 0, capacity);
    call([&] {
        if (!terminated) {
            // Mirrors the driver's answer to a bad argument.
            m_DriverIbsta = gpib::ERR | gpib::CMPL;
            m_DriverIberr = gpib::EARG;
            return;
        }
        // int16_t and uint16_t may alias each other: the driver's address type is the
        // unsigned 16-bit word and the no-address marker -1 is its 0xFFFF.
        m_backend.FindLstn(board, reinterpret_cast<const uint16_t *>(addressList.data()),
                           reinterpret_cast<uint16_t *>(resultList.data()), safeLimit);
    });
}

int16_t GpibDriver::ibdev(int16_t board, int16_t pad, int16_t sad, int16_t tmo, int16_t eot,
                          int16_t eos)
{
    int16_t handle = 0;
    call([&] {
        const int32_t ud = m_backend.ibdev(board, pad, sad, tmo, eot, eos);
        handle = LongToInt16(ud);
    });
    return handle;
}

void GpibDriver::ibpad(int16_t handle, int16_t pad)
{
    call([&] { m_backend.ibpad(handle, pad); });
}

void GpibDriver::ibclr(int16_t handle)
{
    call([&] { m_backend.ibclr(handle); });
}

void GpibDriver::ibrsp(int16_t handle, int16_t &statusByte)
{
    call([&] {
        char spr = 0;
        m_backend.ibrsp(handle, &spr);
        statusByte = static_cast<int16_t>(static_cast<unsigned char>(spr));
    });
}

void GpibDriver::ibtmo(int16_t handle, int16_t code)
{
    call([&] { m_backend.ibtmo(handle, code); });
}

int16_t GpibDriver::ibask(int16_t handle, int16_t option)
{
    int16_t result = 0;
    call([&] {
        int value = 0;
        m_backend.ibask(handle, option, &value);
        const int32_t wide = value;
        result = LongToInt16(wide);
    });
    return result;
}

void GpibDriver::ibwait(int16_t handle, int16_t mask)
{
    call([&] { m_backend.ibwait(handle, mask); });
}

void GpibDriver::ibwrt(int16_t handle, const std::string &text)
{
    call([&] { m_backend.ibwrt(handle, text.data(), static_cast<long>(text.size())); });
}

void GpibDriver::ibrd(int16_t handle, std::string &buffer)
{
    call([&] { m_backend.ibrd(handle, buffer.data(), static_cast<long>(buffer.size())); });
}
