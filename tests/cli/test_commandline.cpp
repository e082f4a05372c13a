#include "cli/commandline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace morwick;

TEST(CommandLine, PositionalArguments) {
    const char* argv[] = {"morwick", "scan", "a.pcap", "/l4"};
    const tCommandLine cmd(4, argv);
    EXPECT_EQ(cmd.Count(), 3);
    EXPECT_EQ(cmd.Param(1), "scan");
    EXPECT_EQ(cmd.Param(2), "a.pcap");
    EXPECT_EQ(cmd.Param(3), "/l4");
    EXPECT_EQ(cmd.Param(0), "");
    EXPECT_EQ(cmd.Param(4), "");
}

TEST(CommandLine, PlainSwitches) {
    struct tCase {
        std::vector<std::string> args;
        const char* name;
        bool found;
    };
    const tCase cases[] = {
        {{"scan", "a", "/r"}, "r", true},
        {{"scan", "a", "-R"}, "r", true},
        {{"/R", "scan", "a"}, "r", true},  // before the command too
        {{"scan", "a", "/L4"}, "l4", true},
        {{"scan", "a", "-smartDEBUG"}, "smartdebug", true},
        {{"scan", "a", "r"}, "r", false},      // no switch character
        {{"scan", "a", "/rx"}, "r", false},    // the whole rest must match
        {{"scan", "a", "/l"}, "l4", false},
        {{"scan", "a", "\\r"}, "r", false},
        {{"scan", "a", "/"}, "r", false},
        {{}, "h", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args) + " " + c.name);
        EXPECT_EQ(tCommandLine(c.args).FindSwitch(c.name), c.found);
    }
}

TEST(CommandLine, ValueSwitch) {
    struct tCase {
        std::vector<std::string> args;
        bool found;
        const char* value;
    };
    const tCase cases[] = {
        {{"merge", "f", "/d=x.db"}, true, "=x.db"},  // only ":" is dropped
        {{"merge", "f", "/d:x.db"}, true, "x.db"},
        {{"merge", "f", "/d::x.db"}, true, ":x.db"},
        {{"merge", "f", "/d", "x.db"}, true, "x.db"},
        {{"merge", "f", "-D", "x.db"}, true, "x.db"},
        {{"merge", "f", "/Dx.db"}, true, "x.db"},
        {{"merge", "f", "/d"}, true, ""},            // nothing follows
        {{"merge", "f", "/d", "/r"}, true, ""},      // a switch is no value
        {{"merge", "f", "/debug"}, true, "ebug"},    // any switch starting with d
        {{"merge", "f", "/d:"}, true, ""},
        {{"merge", "f", "x.db"}, false, ""},
        {{"merge", "f", "/r"}, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        std::string value = "stale";
        EXPECT_EQ(tCommandLine(c.args).FindValueSwitch("d", value), c.found);
        EXPECT_EQ(value, c.value);
    }
}
