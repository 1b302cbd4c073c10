#pragma once

#include "sim/simdevice.h"

#include <string>

// A listener that answers every message with the same identity text.
class FixedIdentity final : public SimDevice
{
public:
    explicit FixedIdentity(std::string id) : m_id(std::move(id)) {}
    void receive(std::string_view) override { output() = m_id; }

private:
    std::string m_id;
};
