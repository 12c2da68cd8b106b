// Runs the C program c_api/c_user.c (compiled as C99 against <libplctag.h>, linked with the
// static tag library) as a child process against a simulated ControlLogix, then checks what
// it left in the controller.
#include "child.h"
#include "sim_helper.h"

#include <gtest/gtest.h>

using absim::CipType;
using plctag_test::tagDef;

TEST(CApiProgram, RunsAgainstTheSimulator)
{
    std::string error;
    auto sim = plctag_test::startSimulator(
        "127.0.20.50", absim::Personality::ControlLogix,
        {tagDef("Counter", CipType::Dint, {}, {"12345"}),
         tagDef("Temps", CipType::Real, {4}, {"0.5", "1.5", "2.5", "3.5"}), tagDef("Text", CipType::String),
         tagDef("Small", CipType::Sint, {}, {"-7"}), tagDef("Big", CipType::Lint, {}, {"-1099511627776"})},
        &error);
    ASSERT_TRUE(sim) << error;

    EXPECT_EQ(waitChild(spawnChild({C_USER_PROGRAM, "127.0.20.50"}), std::chrono::seconds(60)), 0)
        << "exit status = failed checks (see its stderr), -1 = killed or crashed";
    EXPECT_EQ(sim->getInt("Counter"), -123456);
    EXPECT_EQ(sim->getDouble("Temps", 1), -8.25);
    EXPECT_EQ(sim->getDouble("Temps", 3), 3.5);
    EXPECT_EQ(sim->getString("Text"), std::string("hello from C"));
    EXPECT_EQ(sim->getInt("Small"), 100);
    EXPECT_TRUE(eventually([&] { return sim->openConnections() == 0; }))
        << "shutdown closed the connection";
}
