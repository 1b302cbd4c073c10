// The generators of the bus beyond this window's own: the box that ends a window whose
// generator is not there, and the start of a window for another one.
#include "instrument/controller.h"

#include "gpib/gpibmodule.h"
#include "gpib/messagebox.h"
#include "instrument/buslisting.h"
#include "instrument/launcher.h"

namespace {

constexpr const char *Supported = "(FG5010, AFG5101, AFG5102, PFG5105)";
constexpr const char *AnotherTitle = "Open Another Generator";

std::string atAddress(int16_t address)
{
    return "GPIB address " + std::to_string(address);
}

} // namespace

void Controller::EndWithoutGenerator()
{
    std::string text;
    if (m_address == 0) {
        text = std::string("No supported function generator ") + Supported + " found on the bus !";
    } else if (!m_gpib.Listens(m_address)) {
        text = "No instrument listens at " + atAddress(m_address) + ".";
    } else {
        // The reply of the search that matched nothing, or of the identity query.
        std::string reply = m_gpib.deviceHandle() != 0 ? m_gpib.identity() : m_gpib.receivedReplies();
        while (!reply.empty() && reply.back() == '\n')
            reply.pop_back();
        text = reply.empty() ? "The instrument at " + atAddress(m_address) +
                                   " did not answer \"ID?\"."
                             : "The instrument at " + atAddress(m_address) +
                                   " answered \"ID?\" with:\n" + reply +
                                   "\n\nThat is no supported function generator " + Supported + ".";
    }
    m_boxes.show(text + "\n\nProgram will terminate.", "Error", MessageBoxService::Buttons::Ok,
                 MessageBoxService::Icon::Critical);
    m_programEnd.end();
}

void Controller::Menu_OpenAnother_Click()
{
    if (m_closed)
        return;
    std::vector<ListedListener> generators;
    {
        const BusyScope busy(m_view);
        const int16_t own = m_gpib.AddressForDeviceHandle(m_gpib.deviceHandle());
        if (!ListListeners(m_gpib, own, generators))
            return;
    }
    std::erase_if(generators, [](const ListedListener &l) { return l.model.empty(); });
    if (generators.empty()) {
        m_boxes.show(std::string("No other supported function generator ") + Supported +
                         " was found on the bus.",
                     AnotherTitle, MessageBoxService::Buttons::Ok,
                     MessageBoxService::Icon::Information);
        return;
    }
    std::vector<std::string> choices;
    for (const ListedListener &g : generators)
        choices.push_back(g.model + " at " + atAddress(g.address));
    const int picked = m_view.chooseGenerator(choices);
    if (picked < 0 || static_cast<size_t>(picked) >= generators.size())
        return;
    std::string why = "this window cannot start programs";
    if (!m_launcher || !m_launcher->launch(generators[static_cast<size_t>(picked)].address, why))
        m_boxes.show("Wavedial could not be started for the " +
                         choices[static_cast<size_t>(picked)] + ":\n" + why,
                     AnotherTitle, MessageBoxService::Buttons::Ok,
                     MessageBoxService::Icon::Exclamation);
}
