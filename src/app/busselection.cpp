#include "app/busselection.h"

#include "app/backends.h"
#include "gpib/busthread.h"
#include "gpib/messagebox.h"

#include <cstdlib>

std::optional<BusChoice> parseBusChoice(std::optional<std::string_view> value, std::string *why)
{
    const std::string_view text = value && !value->empty() ? *value : "sim";
    const size_t colon = text.find(':');
    const std::string_view scheme = text.substr(0, colon);
    for (const BackendEntry &entry : backendEntries()) {
        if (entry.scheme != scheme || (colon == std::string_view::npos && !entry.bare))
            continue;
        BusChoice choice;
        choice.backend = &entry;
        const auto rest = colon == std::string_view::npos
                              ? std::nullopt
                              : std::optional<std::string_view>(text.substr(colon + 1));
        if (!entry.parse(rest, choice, why))
            return std::nullopt;
        return choice;
    }
    return std::nullopt;
}

std::string busChoiceHelp(std::string_view value, std::string_view source)
{
    std::string why;
    parseBusChoice(value, &why);
    std::string forms;
    for (const BackendEntry &entry : backendEntries())
        forms += entry.forms;
    forms.pop_back(); // the last line's feed
    return std::string(source) + std::string(value) + " names no bus that Wavedial can open" +
           (why.empty() ? "" : ": " + why) + ".\n\nAccepted forms:\n" + forms;
}

std::string traceFilePath(const ProgramOptions &options)
{
    const char *envTrace = std::getenv("WAVEDIAL_SIM_TRACE");
    return options.trace.value_or(envTrace ? envTrace : "");
}

OpenBus openBusFromEnvironment(MessageBoxService &boxes, ProgramEnd &programEnd,
                               const ProgramOptions &options, std::unique_ptr<SimTraceFile> trace,
                               BusThread *thread)
{
    // The backend is made on the thread that will use it: its sockets belong there.
    const auto onBus = [thread](const std::function<void()> &make) {
        if (thread)
            thread->run(make);
        else
            make();
    };
    const char *raw = std::getenv("WAVEDIAL_GPIB");
    const std::optional<std::string_view> value =
        options.bus ? std::optional<std::string_view>(*options.bus)
        : raw       ? std::optional<std::string_view>(raw)
                    : std::nullopt;
    const std::optional<BusChoice> choice = parseBusChoice(value);
    if (!choice) {
        boxes.show(busChoiceHelp(value.value_or("")), "Wavedial", MessageBoxService::Buttons::Ok,
                   MessageBoxService::Icon::Critical);
        programEnd.end();
    }

    OpenBus bus;
    bus.clock = std::make_unique<SteadyClock>();
    std::string error;
    std::unique_ptr<GpibBackend> made;
    onBus([&] { made = choice->backend->make(*choice, *bus.clock, error); });
    if (!made) {
        boxes.show(error, "Wavedial", MessageBoxService::Buttons::Ok,
                   MessageBoxService::Icon::Critical);
        programEnd.end();
    }
    BackendSetting setting{boxes, thread, bus, std::move(trace)};
    bus.backend = choice->backend->connect(std::move(made), setting);
    return bus;
}
