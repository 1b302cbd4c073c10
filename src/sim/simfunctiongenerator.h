#pragma once

#include "sim/simdevice.h"

#include <string>

// A simulated programmable function generator. It speaks the instruments' command
// language, checks what it is sent against its own model's limits (in its reference
// load) and refuses a message that is malformed or would leave it out of range: its
// state stays as it was and the status byte flags the error.
class SimFunctionGenerator final : public SimDevice
{
public:
    enum class Model { FG5010, AFG5101, AFG5102, PFG5105 };
    enum class Waveform { Sine, Square, Triangle };

    struct State
    {
        Waveform waveform = Waveform::Sine;
        double frequency = 1000;  // Hz
        double amplitude = 1;     // V peak to peak, in the reference load
        double offset = 0;        // V, in the reference load
        double symmetry = 50;     // percent
        bool outputOn = false;
    };

    explicit SimFunctionGenerator(Model model);

    void receive(std::string_view message) override;

    Model model() const { return m_model; }
    const State &state() const { return m_state; }
    static std::string modelName(Model model);

private:
    bool withinLimits(const State &s) const;

    Model m_model;
    State m_state;
};
