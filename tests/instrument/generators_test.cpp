// Several generators on one bus: a window for the one at an address, the bus listing,
// and the menu's start of a window for another generator.
#include "instrument/buslisting.h"
#include "instrument/launcher.h"
#include "support/fakeview.h"
#include "support/fixedidentity.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace {

using Lines = std::vector<std::string>;

// The addresses the traffic went to, besides the listener search's.
std::set<std::string> addressed(const Lines &trace)
{
    std::set<std::string> at;
    for (const std::string &line : trace) {
        std::istringstream in(line);
        std::string verb, address;
        if (in >> verb >> address && verb != "findlstn")
            at.insert(address);
    }
    return at;
}

struct RecordingLauncher final : GeneratorLauncher
{
    bool launch(int16_t address, std::string &why) override
    {
        launched.push_back(address);
        why = refusal;
        return refusal.empty();
    }
    std::vector<int16_t> launched;
    std::string refusal;
};

constexpr const char *Terminate = "\n\nProgram will terminate.";

TEST(ChosenAddress, OnlyThatListenerIsAskedAndAnyOtherAnswerEndsTheProgram)
{
    // Listeners; address (0: the first generator); model taken, or the box that ends it.
    const struct { const char *listeners; int16_t address; const char *model; std::string box; } rows[] = {
        {"FG5010@5,OTHER@7,AFG5102@9", 5, "FG5010", ""},
        {"FG5010@5,OTHER@7,AFG5102@9", 9, "AFG5102", ""},
        {"FG5010@5,AFG5102@9", 3, "", "No instrument listens at GPIB address 3."},
        {"FG5010@5,OTHER@7,AFG5102@9", 7, "",
         "The instrument at GPIB address 7 answered \"ID?\" with:\nID SIM/DM5120,V1.0\n\n"
         "That is no supported function generator (FG5010, AFG5101, AFG5102, PFG5105)."},
        {"MUTE@2,FG5010@5", 2, "", "The instrument at GPIB address 2 did not answer \"ID?\"."},
        {"FG5010@5", 6, "afg9", // matched by its "FG", but no model of ours
         "The instrument at GPIB address 6 answered \"ID?\" with:\nacme/afg9,1\n\n"
         "That is no supported function generator (FG5010, AFG5101, AFG5102, PFG5105)."},
        {"OTHER@3", 0, "afg9",
         "No supported function generator (FG5010, AFG5101, AFG5102, PFG5105) found on the bus !"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(std::to_string(r.address) + " on " + r.listeners);
        ControllerHarness h(r.listeners);
        h.bus.attach(6, std::make_unique<FixedIdentity>("acme/afg9,1"));
        // The box hands the activation back to the window as it closes, before the end.
        h.boxes.respond = [&](const ScriptedMessageBox::Box &) {
            if (h.boxes.boxes.size() == 1)
                h.c.Form_Activate();
            return MessageBoxService::Answer::Ok;
        };
        h.c.chooseAddress(r.address);
        h.c.Form_Load();
        EXPECT_EQ(h.gpib.modelName(), r.model);
        if (r.address != 0) { // the other listeners are neither cleared nor asked
            const std::set<std::string> at = addressed(h.trace);
            EXPECT_TRUE(at.empty() || at == std::set<std::string>{std::to_string(r.address)});
        }
        if (r.box.empty()) {
            h.c.Form_Activate();
            EXPECT_TRUE(h.boxes.boxes.empty() && h.c.startupDone());
            continue;
        }
        EXPECT_THROW(h.c.Form_Activate(), ProgramEnded);
        ASSERT_EQ(h.boxes.boxes.size(), 1u);
        EXPECT_EQ(h.boxes.boxes[0].text, r.box + Terminate);
        EXPECT_EQ(h.programEnd.ends, 1);
    }
}

TEST(BusListing, OneLinePerListenerWithTheModelsWeSupport)
{
    const struct { const char *listeners; int16_t skip; Lines lines; } rows[] = {
        {"MUTE@2,FG5010@5,OTHER@7,AFG5102@9", 0,
         {"2\tno reply\t", "5\tID SIM/FG5010,V2.1\tFG5010", "7\tID SIM/DM5120,V1.0\t",
          "9\tID SIM/AFG5102,V2.1\tAFG5102"}},
        {"FG5010@5,AFG5101@30", 5, {"6\tacme/afg9, 1\t", "30\tID SIM/AFG5101,V2.1\tAFG5101"}},
    };
    for (const auto &r : rows) {
        GpibHarness h(r.listeners);
        if (r.skip)
            h.bus.attach(6, std::make_unique<FixedIdentity>("acme/afg9,\t1\r\n")); // a tab of its own
        h.gpib.TakeBus();
        std::vector<ListedListener> listed;
        ASSERT_TRUE(ListListeners(h.gpib, r.skip, listed));
        Lines lines;
        for (const ListedListener &l : listed)
            lines.push_back(ListingLine(l));
        EXPECT_EQ(lines, r.lines);
        EXPECT_EQ(addressed(h.trace).count(std::to_string(r.skip)), 0u);
    }
}

// The simulated bus, refusing new handles once the window has started.
class NoNewHandles final : public SimBus
{
public:
    using SimBus::SimBus;
    bool refuse = false;
    int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) override
    {
        return refuse ? failed(gpib::EDVR) : SimBus::ibdev(board, pad, sad, tmo, eot, eos);
    }
};

TEST(OpenAnother, OffersTheOtherGeneratorsAndStartsTheOnePicked)
{
    const std::string none = "No other supported function generator (FG5010, AFG5101, AFG5102, "
                             "PFG5105) was found on the bus.";
    // Listeners; this window's address; the answer to the choice; the launcher's refusal;
    // the choice offered; the address launched; the box.
    const struct { const char *listeners; int16_t own; int pick; const char *refusal; Lines offered; int16_t launched; std::string box; } rows[] = {
        {"FG5010@5,MUTE@7,AFG5102@9,AFG5101@12", 0, 1, "", {"AFG5102 at GPIB address 9", "AFG5101 at GPIB address 12"}, 12, ""},
        {"FG5010@5,AFG5102@9", 9, 0, "", {"FG5010 at GPIB address 5"}, 5, ""},
        {"FG5010@5,AFG5102@9", 0, -1, "", {"AFG5102 at GPIB address 9"}, 0, ""},
        {"FG5010@5,AFG5102@9", 0, 0, "No such file", {"AFG5102 at GPIB address 9"}, 9,
         "Wavedial could not be started for the AFG5102 at GPIB address 9:\nNo such file"},
        {"FG5010@5,OTHER@7", 0, 0, "", {}, 0, none},
        {"FG5010@5,AFG5102@9", -1, 0, "", {}, 0, "Operating system error"}, // no handle for the scan
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.listeners);
        ControllerHarness h(r.listeners, {}, [](Clock &c) { return std::make_unique<NoNewHandles>(c); });
        RecordingLauncher launcher;
        launcher.refusal = r.refusal;
        h.c.setLauncher(&launcher);
        h.c.chooseAddress(std::max<int16_t>(r.own, 0));
        h.startUp();
        static_cast<NoNewHandles &>(h.bus).refuse = r.own < 0;
        h.view.pick = r.pick;
        h.boxes.respond = [](const ScriptedMessageBox::Box &) { return MessageBoxService::Answer::Ok; };
        h.c.Menu_OpenAnother_Click();
        EXPECT_EQ(h.view.offered, r.offered.empty() ? std::vector<Lines>{} : std::vector<Lines>{r.offered});
        EXPECT_EQ(launcher.launched, r.launched ? std::vector<int16_t>{r.launched} : std::vector<int16_t>{});
        ASSERT_EQ(h.boxes.boxes.size(), r.box.empty() ? 0u : 1u);
        if (!r.box.empty()) {
            EXPECT_EQ(h.boxes.boxes[0].text.substr(0, r.box.size()), r.box);
        }
        EXPECT_EQ(addressed(h.trace).count(std::to_string(h.gpib.AddressForDeviceHandle(h.gpib.deviceHandle()))), 0u);
        EXPECT_EQ(h.view.busy, 0);
    }
}

} // namespace
