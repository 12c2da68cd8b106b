#pragma once
// A plugin with an empty process cache, a clean host and a clean scripted tag library.

#include "plugin/ab_eip.h"

#include "fake_plctag.h"
#include "host_state.h"
#include "records_helpers.h"

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

class CycleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        zel_host::reset();
        fake_plctag::reset();
        AB_EIP::tags.clear();
        AB_EIP::loopActive = false;
    }
    void TearDown() override
    {
        AB_EIP::tags.clear();
        AB_EIP::loopActive = false;
        zel_host::reset();
    }

    static QStringList debug() { return zel_host::logTexts(zel_host::LogLevel::Debug); }
    static std::vector<std::string> tagCalls(const char *prefix) { return fake_plctag::callsMatching(prefix); }

    LogList batch(const DeviceInstancePlugin &device, const QList<DataItem> &items)
    {
        LogList l;
        l.device = device;
        l.dataItems = items;
        return l;
    }

    AB_EIP plugin;
};
