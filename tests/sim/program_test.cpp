// The ab-sim program started as the README starts it: a controller from the command line,
// served until SIGTERM; a command line it cannot take ends it with its status before anything
// listens. Addresses 127.28.0.x.
#include "child.h"
#include "eventually.h"
#include "sim_fixture.h"

namespace simtest {
namespace {

using Program = SimTest;

TEST_F(Program, ServesTheControllerOfItsCommandLineUntilTerminated)
{
    address = "127.28.0.1";
    const pid_t pid = spawnChild({SIM_PROGRAM, "--personality", "micro800", "--address", "127.28.0.1", "--tag",
                                  "Speed:REAL=12.5", "--tag", "Arr:DINT[2,5]=1,2,3", "--tag", "Name:STRING=a,b",
                                  "--quirks", "o2t-id,fragment-490", "--response-delay-us", "1000"});
    if (eventually([&] { return Tcp().connect(address); }, kReplyMs)) {
        Client c = connect();
        EXPECT_EQ(toHex(rr(c, hex("4c 04 91 05 'Speed' 00 01 00"))), "cc 00 00 00 ca 00 00 00 48 41");
        EXPECT_EQ(toHex(rr(c, hex("4c 05 91 03 'Arr' 00 28 00 28 02 01 00"))), "cc 00 00 00 c4 00 03 00 00 00");
        EXPECT_EQ(toHex(rr(c, hex("4c 03 91 04 'Name' 01 00"))), toHex(hex("cc 00 00 00 da 00 03 'a,b'")));
    } else {
        ADD_FAILURE() << "not listening";
    }
    ::kill(pid, SIGTERM);
    EXPECT_EQ(waitChild(pid, std::chrono::milliseconds(kReplyMs)), 0);
}

TEST(ProgramRefuses, WhatItCannotTake)
{
    const struct {
        std::vector<const char *> args;
        int status;
    } cases[] = {
        {{"--personality", "plc9"}, 2},      {{"--tag", "Speed"}, 2},          {{"--tag", "Arr:DINT[10"}, 2},
        {{"--tag", "Arr:DINT[0]"}, 2},       {{"--tag", "X:QUUX=1"}, 2},       {{"--quirks", "o2t-id,nope"}, 2},
        {{"--response-delay-us", "-1"}, 2},  {{"--config", "/nonexistent"}, 2}, {{"--bogus"}, 2},
        {{"--address"}, 2},                  {{"--address", "127.28.0.300"}, 1},
    };
    for (const auto &c : cases) {
        std::vector<const char *> argv{SIM_PROGRAM};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(waitChild(spawnChild(argv), std::chrono::milliseconds(kReplyMs)), c.status) << c.args[0];
    }
}

} // namespace
} // namespace simtest
