#pragma once
// What every benchmark section shares: the table's row and the simulated controller.

#include <absim/simulator.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

struct Row {
    std::string name;
    double micros;     // per operation
    double floorUnits; // floor round trips the operation stands for (0: no ratio)
    double target;     // ratio target, 0 when none
    std::string note;
    bool missed = false; // an absolute target (in the note) was not met
};

inline double microsSince(Clock::time_point start, int ops)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / ops;
}

// A ControlLogix simulator on `address` holding `tags`; exits the program when it cannot listen.
std::unique_ptr<absim::Simulator> startSim(const char *address, std::vector<absim::TagDef> tags);

// A libplctag attribute string for a ControlLogix tag on the simulator at `address`.
std::string attrs(const char *address, const char *name, int size = 4, int count = 1);

// Overlapped tag library passes and packed writes (overlap.cpp): public libplctag API only.
void overlappedLibrary(std::vector<Row> &rows, bool quick);

// Many tags created at once, and the plugin's first passes (cold_start.cpp).
void coldStart(std::vector<Row> &rows, bool quick);

// The host runner as a process against many controllers (runner_scale.cpp).
void runnerAtScale(std::vector<Row> &rows, bool quick);

} // namespace bench
