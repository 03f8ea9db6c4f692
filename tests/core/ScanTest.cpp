// The headless scanner, run as scripts run it: output format, counters, and refusal of bad input.
#include "tests/support/RunProgram.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

using namespace twinspotter::test;

namespace {

ProgramResult Scan(std::vector<std::string> args)
{
    args.insert(args.begin(), TWINSPOTTER_SCAN_BINARY);
    return RunProgram(args);
}

const std::time_t kNoon = LocalTime(2011, 3, 7, 12, 0, 0);

} // namespace

TEST(ScanTest, PrintsOneEscapedLinePerPairAndEndsWithTheCounters)
{
    TempTree tree;
    const std::string odd = "a\tb\\c\nd\re";
    tree.file("one/" + odd, 5, kNoon);
    tree.file("two/" + odd, 5, kNoon);
    tree.file("two/lonely.txt", 1, kNoon);
    const ProgramResult r = Scan({tree.path("one"), tree.path("two")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string date = std::to_string(0x3E67'6000u); // 2011-03-07 12:00:00 packed
    EXPECT_EQ(r.out, "a\\tb\\\\c\\nd\\re\t" + tree.path("one/") + "\t" + tree.path("two/") + "\t5\t" + date + "\n");
    EXPECT_TRUE(r.err.ends_with("files in location 1: 1\nfiles in location 2: 2\npairs: 1\n")) << r.err;
}

TEST(ScanTest, OptionsUntickTheCriteriaOnlyWithTwoLocations)
{
    TempTree tree;
    tree.file("one/x", 5, kNoon);
    tree.file("two/x", 6, kNoon + 60);
    tree.file("one/sub/x", 7, kNoon + 120);
    EXPECT_EQ(Scan({tree.path("one"), tree.path("two")}).out, "");
    const ProgramResult both = Scan({"--ignore-date", "--ignore-size", tree.path("one"), tree.path("two")});
    EXPECT_TRUE(both.err.ends_with("pairs: 2\n")) << both.err;
    const ProgramResult single = Scan({"--ignore-date", "--ignore-size", tree.path("one")});
    EXPECT_TRUE(single.err.ends_with("files in location 1: 2\nfiles in location 2: 0\npairs: 0\n")) << single.err;
}

TEST(ScanTest, JsonReplacesInvalidUtf8)
{
    TempTree tree;
    tree.file("one/caf\xE9\"q", 1, kNoon);
    tree.file("two/caf\xE9\"q", 1, kNoon);
    const ProgramResult r = Scan({"--json", tree.path("one"), tree.path("two")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("{\"location1_files\": 1, \"location2_files\": 1, \"pairs\": ["), std::string::npos);
    EXPECT_NE(r.out.find("\"name\": \"caf\xEF\xBF\xBD\\\"q\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"size\": 1"), std::string::npos);
}

TEST(ScanTest, BadInputIsRefusedWithStatusTwoAndOneLine)
{
    TempTree tree;
    tree.file("one/file.txt");
    for (const std::vector<std::string>& args : {std::vector<std::string>{tree.path("missing")},
                                                 {tree.path("one/file.txt")},
                                                 {tree.path("one"), tree.path("missing")},
                                                 {"--frobnicate", tree.path("one")},
                                                 {},
                                                 {tree.path("one"), tree.path("one"), tree.path("one")}}) {
        const ProgramResult r = Scan(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    const ProgramResult help = Scan({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--ignore-date", "--ignore-size", "--json"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}
