#pragma once
// A simulated controller on a loopback address of its own (127.0.20.x, port 44818).

#include "eventually.h"

#include <absim/simulator.h>

#include <memory>
#include <string>
#include <vector>

namespace plctag_test {

using absim::tagDef;

// Starts a simulator; null (and *error set) when it cannot listen.
inline std::unique_ptr<absim::Simulator> startSimulator(const std::string &address, absim::Personality p,
                                                        std::vector<absim::TagDef> tags, std::string *error)
{
    absim::Config cfg;
    cfg.address = address;
    cfg.port = 44818;
    cfg.personality = p;
    cfg.identity = absim::defaultIdentity(p);
    cfg.tags = std::move(tags);
    cfg.listenUdp = false;
    auto sim = std::make_unique<absim::Simulator>(cfg);
    if (!sim->start(error))
        return nullptr;
    return sim;
}

} // namespace plctag_test
