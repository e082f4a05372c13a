// A scan of a capture with a DNS query and its response fills the NameResolution table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "storage/sqlite.h"
#include "test_support.h"

namespace morwick {
namespace {

namespace fs = std::filesystem;
using morwick::testing::RunMorwick;
using morwick::testing::tTempFolder;

class ScanDNSTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ::setenv("TZ", "UTC", 1); }

    void SetUp() override {
        capture = dir / "dns_udp.pcap";
        fs::copy_file(fs::path(MORWICK_TEST_DATA) / "dns_udp.pcap", capture);
    }
    // The NameResolution rows, one text per row, in a fixed order.
    std::vector<std::string> Scan(const std::vector<std::string>& Switches) {
        std::vector<std::string> args{"scan", capture};
        args.insert(args.end(), Switches.begin(), Switches.end());
        const auto run = RunMorwick(dir.Path(), args);
        EXPECT_NE(run.Output.find("- storing results to database"), std::string::npos) << run.Output;
        tSQLiteConnection db(dir / ".pcapmeta/dns_udp.db", tSQLiteOpenMode::ReadOnly);
        tSQLiteStatement q(db,
                           "SELECT FirstFrame,LastFrame,FrameCount,fqdn,FlagIsAnswer,FlagQueryOnly,answertype,"
                           "answer,ipversion,ReplyCode,QueryTypes,FlagDNS,FlagNRB,InterfaceIDs,FirstFrameOffset,"
                           "FirstFrameTime,FirstFrameTimeNano,fileid=(SELECT id FROM filelist) "
                           "FROM NameResolution ORDER BY FirstFrame,FlagIsAnswer,answertype,answer");
        std::vector<std::string> rows;
        while (q.Step()) {
            std::string row;
            for (int i = 0; i < q.ColumnCount(); ++i) row += (i ? "|" : "") + q.ColumnText(i);
            rows.push_back(row);
        }
        return rows;
    }

    tTempFolder dir;
    std::string capture;
};

// The expectations come from tshark (tshark -r dns_udp.pcap -V): frame 1 (record at file
// offset 24, 2020-06-10 09:19:54.740079 UTC) asks for the A record of www.tcpdump.org;
// frame 2 (offset 24 + 16 + 98 = 138, 09:19:54.870361) answers with reply code 0 and two A
// records, 192.139.46.66 and 198.199.88.104. Its two authority and five additional records
// are not recorded.
TEST_F(ScanDNSTest, QueryAndResponseFillNameResolution) {
    const std::vector<std::string> expected = {
        "1|1|1|www.tcpdump.org|0|1|0||0|0|1|1|0|0|24|2020-06-10 09:19:54.000|740079000|1",
        "2|2|1|www.tcpdump.org|1|1|0||0|0|1|1|0|0|138|2020-06-10 09:19:54.000|870361000|1",
        "2|2|1|www.tcpdump.org|1|0|1|192.139.46.66|4|0|1|1|0|0|138|2020-06-10 09:19:54.000|870361000|1",
        "2|2|1|www.tcpdump.org|1|0|1|198.199.88.104|4|0|1|1|0|0|138|2020-06-10 09:19:54.000|870361000|1",
    };
    EXPECT_EQ(Scan({}), expected);
}

// Scanning up to layer 4 stops after UDP: no DNS message is read.
TEST_F(ScanDNSTest, UpToLayer4RecordsNoNames) {
    EXPECT_TRUE(Scan({"/l4"}).empty());
}

}  // namespace
}  // namespace morwick
