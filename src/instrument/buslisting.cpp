#include "instrument/buslisting.h"

#include "gpib/gpibmodule.h"
#include "instrument/profile.h"

bool ListListeners(GpibModule &gpib, int16_t skip, std::vector<ListedListener> &listed)
{
    const auto replies = gpib.AskListeners(skip);
    if (!replies)
        return false;
    listed.clear();
    for (const GpibModule::ListenerReply &r : *replies) {
        // Supported exactly as the load step judges it: by the name cut from the reply.
        const std::string name = ModelNameFromIdentity(r.reply);
        const bool supported = SelectModelProfile(name).ModelIndex != Model::None;
        listed.push_back({r.address, r.reply, supported ? name : std::string()});
    }
    return true;
}

std::string ListingLine(const ListedListener &listener)
{
    // Scripts split the line at its tabs: none may come from the instrument.
    std::string reply = listener.reply.empty() ? std::string("no reply") : listener.reply;
    for (char &c : reply) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    }
    return std::to_string(listener.address) + '\t' + reply + '\t' + listener.model;
}
