#include "gpib/gpibmodule.h"
#include "gpib/messagebox.h"
#include "text/trim.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr int16_t ProbeTimeoutCode = 11; // 1 s while probing listeners
constexpr int16_t IdentifiedTimeoutCode = 12; // 3 s for the identified instrument
constexpr size_t IdReplySize = 256;

std::string upper(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool takeLeading(std::string &s, char marker)
{
    if (s.empty() || s.front() != marker)
        return false;
    s.erase(0, 1);
    return true;
}

bool takeTrailing(std::string &s, char marker)
{
    if (s.empty() || s.back() != marker)
        return false;
    s.pop_back();
    return true;
}

} // namespace

void GpibModule::InitBus(int16_t &mode)
{
    ListenerTable.fill(0);
    UnassignedListeners.fill(0);

    // The interface's own address 0 heads the list, so that its answer takes entry 0 and
    // the instruments follow from entry 1.
    std::array<int16_t, 33> probeList{};
    for (int16_t a = 1; a <= 30; ++a)
        probeList[static_cast<size_t>(a)] = a;
    probeList[31] = static_cast<int16_t>(gpib::NOADDR);

    m_driver.SendIFC(0);
    m_driver.ibsre(0, 1);
    m_driver.FindLstn(0, probeList, ListenerTable, TableSize);

    if (!(m_driver.ibsta() & gpib::ERR)) {
        int16_t count = 0;
        for (size_t i = 1; i < TableSize; ++i) {
            UnassignedListeners[i] = ListenerTable[i];
            if (ListenerTable[i] == 0)
                break;
            ++count;
        }
        ListenerTable[0] = count;
        UnassignedListeners[0] = count;
        return;
    }

    const int16_t error = m_driver.iberr();
    std::string prompt;
    if (error == gpib::EBUS)
        prompt = "No listeners found.";
    else if (error == gpib::ETAB)
        prompt = "Too many listeners found.\nMax 14 listeners allowed.";
    if (mode == 1)
        prompt += "\n\nCorrect problem and restart.";
    m_services.boxes.show(prompt, "Initialization Error " + std::to_string(error),
                          MessageBoxService::Buttons::Ok, MessageBoxService::Icon::Critical);
    if (mode == 1)
        m_services.programEnd.end();
}

// Markers in the texts:
//   query "!..."      no device clear before the query
//   query "...!"      after the failure box the program goes on (result 0)
//   expected "!..."   failures are silent: no box, result 0
//   expected "?..."   wait 0.1 s after the serial poll (after a leading "!")
//   expected "...!"   the reply must equal the text exactly; otherwise it need only
//                     contain it, in any letter case
int16_t GpibModule::FindDevice(std::string &query, std::string &expected)
{
    if (!SpareDevice.Open)
        SpareDevice.Handle = m_driver.ibdev(0, 1, 0, ProbeTimeoutCode, 1, 0);
    int16_t spare = SpareDevice.Handle;
    const size_t listeners = foundListeners();

    if (query.empty()) {
        // No question to ask: poll everybody, then hand out the first listener.
        for (size_t i = 1; i <= listeners; ++i) {
            m_driver.ibpad(spare, ListenerTable[i]);
            int16_t statusByte = 0;
            m_driver.ibrsp(spare, statusByte);
        }
        m_driver.ibpad(spare, ListenerTable[1]);
        ListenerHandles[1] = spare;
        m_driver.ibtmo(spare, DeviceTimeout);
        ShowGpibError();
        return spare;
    }

    const bool noClear = takeLeading(query, '!');
    const bool goOn = takeTrailing(query, '!');
    const bool silent = takeLeading(expected, '!');
    const bool pause = takeLeading(expected, '?');
    const bool exact = takeTrailing(expected, '!');

    if (UnassignedListeners[0] == 0) {
        if (silent)
            return 0;
        m_services.boxes.show("Can't find more than " + std::to_string(ListenerTable[0]) +
                                  " device(s).\n\nCorrect problem and restart.",
                              "Not enough devices on the bus", MessageBoxService::Buttons::Ok,
                              MessageBoxService::Icon::Critical);
        m_services.programEnd.end();
    }

    const std::string wanted = upper(expected);
    std::string replies;
    for (size_t i = 1; i <= listeners; ++i) {
        if (UnassignedListeners[i] <= 0)
            continue;
        const std::string reply = AskListener(spare, UnassignedListeners[i], query, noClear, pause);
        const bool match = exact ? reply == expected
                                 : upper(reply).find(wanted) != std::string::npos;
        if (match) {
            UnassignedListeners[i] = 0;
            --UnassignedListeners[0];
            ListenerHandles[i] = spare;
            m_driver.ibtmo(spare, DeviceTimeout);
            SpareDevice.Open = false;
            return spare;
        }
        // A listener that failed to answer may be left half-way through a message.
        if (m_driver.ibsta() & gpib::ERR)
            m_driver.ibclr(spare);
        replies = reply + "\n" + replies;
    }

    ReceivedReplies = replies;
    SpareDevice.Open = true;
    if (silent)
        return 0;
    const std::string closing = goOn ? "Correct the problem and retry. Program will continue."
                                     : "Correct the problem and restart. Program will end.";
    m_services.boxes.show("ID Query: " + query + "\n\nExpected Response: " + expected +
                              "\n\nReceived Response(s):\n" + replies + "\n" + closing,
                          "Expected Id-response from device not found" + std::string(40, ' '),
                          MessageBoxService::Buttons::Ok, MessageBoxService::Icon::Critical);
    if (!goOn)
        m_services.programEnd.end();
    return 0;
}

size_t GpibModule::foundListeners() const
{
    return static_cast<size_t>(std::clamp<int>(ListenerTable[0], 0, TableSize - 1));
}

std::string GpibModule::AskListener(int16_t spare, int16_t address, const std::string &query,
                                    bool noClear, bool pause)
{
    m_driver.ibpad(spare, address);
    if (!noClear)
        m_driver.ibclr(spare);
    int16_t statusByte = 0;
    m_driver.ibrsp(spare, statusByte);
    if (pause)
        Delay(0.1f);
    m_driver.ibwrt(spare, query);
    std::string reply(IdReplySize, ' ');
    m_driver.ibrd(spare, reply);
    reply = TrimBlanks(reply);
    if (!reply.empty() && reply.back() == '\n')
        reply.pop_back();
    if (!reply.empty() && reply.back() == '\r')
        reply.pop_back();
    return reply;
}

std::string ModelNameFromIdentity(const std::string &identity)
{
    // The name runs from after the first "/" (or from the start, when there is none) to
    // the first ",". Without a comma, or with it before the slash, there is no name.
    const size_t comma = identity.find(',');
    if (comma == std::string::npos)
        return {};
    const size_t slash = identity.find('/');
    if (slash == std::string::npos)
        return identity.substr(0, comma);
    if (comma < slash)
        return {};
    return identity.substr(slash + 1, comma - slash - 1);
}

void GpibModule::TakeBus()
{
    m_driver.SendIFC(0);
    m_driver.ibsre(0, 1);
    DeviceTimeout = IdentifiedTimeoutCode;
    int16_t mode = 1;
    InitBus(mode);
}

bool GpibModule::Listens(int16_t address) const
{
    const size_t count = foundListeners();
    return address > 0 && std::find(ListenerTable.begin() + 1, ListenerTable.begin() + 1 + count,
                                     address) != ListenerTable.begin() + 1 + count;
}

void GpibModule::IdentifyFunctionGenerator(int16_t address)
{
    TakeBus();
    if (address != 0) {
        // Every other listener counts as handed out: the search neither clears nor asks it.
        for (size_t i = 1; i < TableSize; ++i) {
            if (UnassignedListeners[i] != address)
                UnassignedListeners[i] = 0;
        }
        UnassignedListeners[0] = Listens(address) ? 1 : 0;
    }
    std::string query = "ID?";
    std::string expected = "!FG";
    DeviceHandle = FindDevice(query, expected);
    if (DeviceHandle != 0) {
        Identity = QueryInstrument(DeviceHandle, "ID?");
        ModelName = ModelNameFromIdentity(Identity);
    }
}

std::optional<std::vector<GpibModule::ListenerReply>> GpibModule::AskListeners(int16_t skip)
{
    if (!SpareDevice.Open) {
        SpareDevice.Handle = m_driver.ibdev(0, 1, 0, ProbeTimeoutCode, 1, 0);
        // A scan from the window, unlike the start's search, tells a bus that failed.
        if (m_driver.ibsta() & gpib::ERR) {
            ShowGpibError();
            return std::nullopt;
        }
        SpareDevice.Open = true;
    }
    std::vector<ListenerReply> replies;
    const size_t count = foundListeners();
    for (size_t i = 1; i <= count; ++i) {
        const int16_t address = ListenerTable[i];
        if (address == skip)
            continue;
        replies.push_back({address, AskListener(SpareDevice.Handle, address, "ID?", false, false)});
        if (m_driver.ibsta() & gpib::ERR)
            m_driver.ibclr(SpareDevice.Handle);
    }
    return replies;
}
