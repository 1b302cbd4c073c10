#pragma once

#include <cstdint>
#include <string>
#include <vector>

class GpibModule;

// A listener as the bus listing shows it: its address, its answer to "ID?" and the
// supported model that answer names.
struct ListedListener
{
    int16_t address = 0;   // 1 to 30
    std::string reply;     // "" when it gave none
    std::string model;     // "FG5010", "AFG5101", "AFG5102" or "PFG5105"; "" for anything else
};

// Asks every listener found by the last listener search, except the one at `skip`
// (0: none), for its identity. False, after the GPIB error box, when the bus failed
// before any listener could be asked.
bool ListListeners(GpibModule &gpib, int16_t skip, std::vector<ListedListener> &listed);

// One line of `wavedial --list`, without its line feed: the address, the reply (control
// characters as blanks, "no reply" when there was none) and the model, separated by tabs.
std::string ListingLine(const ListedListener &listener);
