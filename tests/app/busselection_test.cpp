#include "app/busselection.h"

#include <gtest/gtest.h>

namespace {

using Kind = SimListenerSpec::Kind;

struct ChoiceCase
{
    std::optional<std::string> value;
    bool valid;
    BusChoice::Kind kind;
    std::vector<std::pair<Kind, int>> listeners;
    std::string library;
};

TEST(BusChoice, AcceptsTheDocumentedFormsOnly)
{
    using BK = BusChoice::Kind;
    const ChoiceCase cases[] = {
        {std::nullopt, true, BK::Simulated, {{Kind::FG5010, 5}}, ""},
        {"", true, BK::Simulated, {{Kind::FG5010, 5}}, ""},
        {"sim", true, BK::Simulated, {{Kind::FG5010, 5}}, ""},
        {"sim:", true, BK::Simulated, {}, ""},
        {"sim:MUTE@2,OTHER@3,AFG5102@9",
         true,
         BK::Simulated,
         {{Kind::Mute, 2}, {Kind::Other, 3}, {Kind::AFG5102, 9}},
         ""},
        {"sim: PFG5105@30 , AFG5101@1", true, BK::Simulated,
         {{Kind::PFG5105, 30}, {Kind::AFG5101, 1}}, ""},
        {"system", true, BK::System, {}, ""},
        {"system:/opt/gpib/libgpib.so.0", true, BK::System, {}, "/opt/gpib/libgpib.so.0"},
        {"sim:AFG5102@31", false, BK::Simulated, {}, ""},
        {"sim:AFG5102@0", false, BK::Simulated, {}, ""},
        {"sim:AFG5102@9,FG5010@9", false, BK::Simulated, {}, ""},
        {"sim:AFG5102@9,", false, BK::Simulated, {}, ""},
        {"sim:AFG5102", false, BK::Simulated, {}, ""},
        {"sim:AFG5102@x", false, BK::Simulated, {}, ""},
        {"sim:AFG5102@9x", false, BK::Simulated, {}, ""},
        {"sim:DMM@4", false, BK::Simulated, {}, ""},
        {"sim:afg5102@9", false, BK::Simulated, {}, ""},
        {"simulated", false, BK::Simulated, {}, ""},
        {"SIM", false, BK::Simulated, {}, ""},
        {"gpib0", false, BK::Simulated, {}, ""},
    };
    for (const ChoiceCase &c : cases) {
        const std::string label = c.value.value_or("(unset)");
        const auto choice = parseBusChoice(c.value ? std::optional<std::string_view>(*c.value)
                                                   : std::nullopt);
        ASSERT_EQ(choice.has_value(), c.valid) << label;
        if (!choice)
            continue;
        EXPECT_EQ(choice->kind, c.kind) << label;
        std::vector<std::pair<Kind, int>> got;
        for (const auto &l : choice->listeners)
            got.emplace_back(l.kind, l.address);
        EXPECT_EQ(got, c.listeners) << label;
        EXPECT_EQ(choice->libraryPath, c.library) << label;
    }
}

TEST(BusChoice, HelpNamesTheValueAndEveryForm)
{
    const std::string help = busChoiceHelp("gpib0");
    for (const char *part : {"WAVEDIAL_GPIB=gpib0", "sim:KIND@ADDRESS", "MUTE", "OTHER",
                             "PFG5105", "system:LIBRARY"})
        EXPECT_NE(help.find(part), std::string::npos) << part;
}

} // namespace
