#pragma once
// The plugin, the real tag library and simulated controllers on loopback.

#include "plugin/ab_eip.h"

#include "eventually.h"
#include "host_state.h"
#include "qt_print.h"
#include "records_helpers.h"

#include <absim/simulator.h>
#include <libplctag.h>

#include <gtest/gtest.h>

#include <memory>

using absim::tagDef;

class E2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        zel_host::reset();
    }
    void TearDown() override
    {
        plugin.stopPlugin();
        sims.clear();
        zel_host::reset();
    }

    absim::Simulator &startSim(const char *address, absim::Personality p, std::vector<absim::TagDef> tags,
                               absim::Quirks quirks = {})
    {
        absim::Config cfg;
        cfg.address = address;
        cfg.personality = p;
        cfg.identity = absim::defaultIdentity(p);
        cfg.tags = std::move(tags);
        cfg.quirks = quirks;
        sims.push_back(std::make_unique<absim::Simulator>(cfg));
        std::string error;
        EXPECT_TRUE(sims.back()->start(&error)) << error;
        return *sims.back();
    }

    static LogList batch(const DeviceInstancePlugin &device, const QList<DataItem> &items)
    {
        LogList l;
        l.device = device;
        l.dataItems = items;
        return l;
    }

    AB_EIP plugin;
    std::vector<std::unique_ptr<absim::Simulator>> sims;
};
