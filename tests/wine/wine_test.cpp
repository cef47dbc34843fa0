// acm-inventory.exe, both builds, on a real Audio Compression Manager: Wine's
// msacm32 and its built-in codec drivers, in a throwaway prefix.
//
// What the ACM offers is taken from the ACM itself by acm-oracle.exe, which
// asks for tags and formats by index rather than enumerating them. The
// inventory below was seen with Wine 8.0 (Debian 8.0~repack-4); it is checked
// only on that version, everything else on any.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "wine_support.h"

namespace {

using test_support::readFile;
using test_support::TempDir;
using test_support::writeFile;
using wine_support::Build;
using wine_support::kX64;
using wine_support::kX86;
using wine_support::normalized;
using wine_support::program;

test_support::SpawnResult runWine(const std::string& exe, const std::string& cwd,
                                  const std::vector<std::string>& arguments = {}) {
    std::vector<std::string> argv = {exe};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return wine_support::runWine(WINE_PREFIX, argv, cwd);
}

// The records that the ACM offers, as acm-oracle.exe lists them.
std::string oracle(const Build& build) {
    TempDir cwd;
    const test_support::SpawnResult result =
        runWine(wine_support::helper(build, "acm-oracle.exe"), cwd.path());
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("", result.err);
    EXPECT_EQ(std::string::npos, result.out.find("oracle:")) << result.out;
    return result.out;
}

// Checks the shape of every record; returns (tag, name) -> format count.
std::map<std::pair<std::string, std::string>, int> checkRecords(const std::string& log) {
    static const std::regex record(
        "did=(0x[0-9a-f]{8,16}), name=([^\r\n]*)\r\n"
        "  tag=(0x[0-9a-f]{4,8}), idx=0x[0-9a-f]{8}, \\[[^\r\n]*\\]\r\n");
    std::map<std::pair<std::string, std::string>, int> tags;
    std::vector<std::string> driversSeen;
    for (const wine_support::Record& listed : wine_support::records(log)) {
        std::smatch fields;
        if (!std::regex_match(listed.lines, fields, record)) {
            ADD_FAILURE() << "malformed or incomplete record: " << listed.lines;
            break;
        }
        // Every record of a driver comes before the next driver's.
        if (driversSeen.empty() || driversSeen.back() != fields[1].str()) {
            for (const std::string& seen : driversSeen) {
                EXPECT_NE(seen, fields[1].str()) << "driver listed in two runs";
            }
            driversSeen.push_back(fields[1].str());
        }
        EXPECT_NE("0x0000", fields[3].str());
        EXPECT_NE("0x0001", fields[3].str()) << "PCM listed";
        ++tags[{fields[3].str(), fields[2].str()}];
    }
    EXPECT_FALSE(std::regex_search(log, std::regex("(^|[^\r])\n"))) << "a line ends in LF alone";
    return tags;
}

bool isWine80() {
    return wine_support::wineVersion().rfind("wine-8.0", 0) == 0;
}

class WineInventory : public ::testing::TestWithParam<Build> {};

TEST_P(WineInventory, ListsEveryCodecFormatThatTheAcmOffers) {
    TempDir cwd;
    const test_support::SpawnResult result = runWine(program(GetParam()), cwd.path());
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("", result.out);
    EXPECT_EQ("", result.err);
    const std::string log = readFile(cwd.file("acm.log"));
    const auto tags = checkRecords(log);
    EXPECT_FALSE(tags.empty());
    EXPECT_EQ(normalized(oracle(GetParam())), normalized(log));

    if (isWine80()) {
        const std::map<std::pair<std::string, std::string>, int> wine80 = {
            {{"0x0011", "IMA ADPCM"}, 8}, {{"0x0002", "Microsoft ADPCM"}, 8},
            {{"0x0006", "A-Law"}, 8},     {{"0x0007", "U-Law"}, 8},
            {{"0x0031", "GSM 6.10"}, 6},
        };
        EXPECT_EQ(wine80, tags);
    }
}

TEST_P(WineInventory, TruncatesAStaleLogAndIgnoresArguments) {
    TempDir clean;
    ASSERT_EQ(0, runWine(program(GetParam()), clean.path()).status);
    TempDir cwd;
    writeFile(cwd.file("acm.log"), std::string(5000, 'z') + "\r\n");
    const test_support::SpawnResult result =
        runWine(program(GetParam()), cwd.path(), {"/?", "--help", "two words", "acm.log"});
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("", result.out);
    EXPECT_EQ("", result.err);
    EXPECT_EQ(normalized(readFile(clean.file("acm.log"))),
              normalized(readFile(cwd.file("acm.log"))));
}

TEST_P(WineInventory, LogThatIsADirectorySendsEveryRecordToStandardOutput) {
    TempDir cwd;
    ASSERT_EQ(0, mkdir(cwd.file("acm.log").c_str(), 0700));
    const test_support::SpawnResult result = runWine(program(GetParam()), cwd.path());
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("", result.err);
    checkRecords(result.out);
    EXPECT_EQ(normalized(oracle(GetParam())), normalized(result.out));
}

INSTANTIATE_TEST_SUITE_P(Builds, WineInventory, ::testing::Values(kX86, kX64),
                         [](const ::testing::TestParamInfo<Build>& param) {
                             return std::string(param.param.name);
                         });

TEST(WineBitnesses, ListTheSameRecordsApartFromDriverIdentifiers) {
    TempDir x86;
    TempDir x64;
    ASSERT_EQ(0, runWine(program(kX86), x86.path()).status);
    ASSERT_EQ(0, runWine(program(kX64), x64.path()).status);
    const std::string log = readFile(x86.file("acm.log"));
    EXPECT_NE("", log);
    EXPECT_EQ(normalized(log), normalized(readFile(x64.file("acm.log"))));
}

}  // namespace
