#include "bus/backend.h"

#include <array>
#include <utility>

namespace gpib {

int64_t TimeoutMicroseconds(int code)
{
    static constexpr std::array<int64_t, 18> table = {
        0,      10,      30,      100,      300,       1000,      3000,      10000,      30000,
        100000, 300000,  1000000, 3000000,  10000000,  30000000,  100000000, 300000000, 1000000000};
    if (code < 0 || code >= static_cast<int>(table.size()))
        return -1;
    return table[static_cast<size_t>(code)];
}

int SetTimeoutCode(DeviceHandleSettings *h, int code)
{
    if (!h)
        return EDVR;
    if (TimeoutMicroseconds(code) < 0)
        return EARG;
    h->timeoutCode = code;
    return NoError;
}

int AskOption(const DeviceHandleSettings *h, int option, int *value)
{
    if (!h)
        return EDVR;
    if (!value)
        return EARG;
    switch (option) {
    case IbaPAD:
        *value = h->pad;
        return NoError;
    case IbaTMO:
        *value = h->timeoutCode;
        return NoError;
    default:
        return EARG;
    }
}

} // namespace gpib

int StatusRegistry::registerThread(int32_t *ibsta, int32_t *iberr, int32_t *ibcnt,
                                   int32_t *ibcntl)
{
    const Variables wanted{ibsta, iberr, ibcnt, ibcntl};
    const auto [it, inserted] = m_threads.try_emplace(std::this_thread::get_id(), wanted);
    if (inserted)
        return 0;
    const Variables &have = it->second;
    const bool same = have.ibsta == ibsta && have.iberr == iberr && have.ibcnt == ibcnt &&
                      have.ibcntl == ibcntl;
    return same ? 1 : 2;
}

int StatusRegistry::unregisterThread()
{
    return m_threads.erase(std::this_thread::get_id()) == 1 ? 0 : 1;
}

void StatusRegistry::deliver(int32_t status, int32_t error, int32_t count)
{
    const auto it = m_threads.find(std::this_thread::get_id());
    if (it == m_threads.end())
        return;
    const Variables &v = it->second;
    *v.ibsta = status;
    if (status & gpib::ERR)
        *v.iberr = error;
    *v.ibcnt = count;
    *v.ibcntl = count;
}

std::optional<gpib::StatusVariables> StatusRegistry::current() const
{
    const auto it = m_threads.find(std::this_thread::get_id());
    if (it == m_threads.end())
        return std::nullopt;
    const Variables &v = it->second;
    return gpib::StatusVariables{*v.ibsta, *v.iberr, *v.ibcnt, *v.ibcntl};
}

StatusRegistry::Scope::Scope(StatusRegistry &registry, gpib::StatusVariables &own)
    : m_registry(registry)
{
    const Variables mine{&own.ibsta, &own.iberr, &own.ibcnt, &own.ibcntl};
    const auto [it, fresh] = registry.m_threads.try_emplace(std::this_thread::get_id(), mine);
    if (!fresh)
        m_saved = std::exchange(it->second, mine);
}

StatusRegistry::Scope::~Scope()
{
    const std::thread::id thread = std::this_thread::get_id();
    if (m_saved)
        m_registry.m_threads.insert_or_assign(thread, *m_saved);
    else
        m_registry.m_threads.erase(thread);
}
