// acm-inventory.exe on Wine's real ACM while it hosts a codec driver that
// misbehaves: scripted.acm (windows/scripted_driver.cpp), installed in a
// prefix of its own as msacm.scripted, with the scenario chosen per run by
// ACM_SCRIPTED_DRIVER. Every run checks the exact acm.log, standard output,
// standard error and exit status, and that Wine's own codecs are listed
// exactly as in a run where the scripted driver offers no codec.
//
// What the manager does with each case was seen with Wine 8.0 (Debian
// 8.0~repack-4), and is written beside the case.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "wine_support.h"

namespace {

using test_support::readFile;
using test_support::TempDir;
using wine_support::Build;

// One record of the scripted driver's, as it must be listed.
struct Listed {
    std::uint32_t tag;
    std::string name;
    int index;
    std::string description;
};

struct Scenario {
    const char* name;
    std::vector<Listed> records;
    int refusedTags;  // tags that pass the filter while a second open is refused
};

const std::string kName48 = "Scripted codec whose name fills all 48 chars ..|";
const std::string kDescription128 =
    "A format description of exactly one hundred and twenty-eight characters, which leaves no "
    "room at all for a terminating zero ...|";

const Scenario kScenarios[] = {
    // PCM is not listed; the compressed tag is, with every format in order.
    {"clean",
     {{0xa101, "Scripted ADPCM", 0, "Scripted ADPCM format"},
      {0xa101, "Scripted ADPCM", 1, "Scripted ADPCM format"},
      {0xa101, "Scripted ADPCM", 2, "Scripted ADPCM format"}},
     0},
    // The manager hands both texts over without a terminating zero; they are
    // printed to the end of their fields and no further.
    {"unterminated",
     {{0xa102, kName48, 0, kDescription128}, {0xa102, kName48, 1, kDescription128}},
     0},
    // Tag 0x1a103 is enumerated with its two standard formats, but the
    // manager finds no format for its low 16 bits (0xa103) when asked by
    // wFormatTag, so nothing is listed for it, and nothing false.
    {"wide-tag", {{0xa104, "Scripted narrow tag", 0, "Scripted narrow format"}}, 0},
    // The manager passes the driver's support flags (codec) to the tag
    // callback, not the tag's own (converter only), so that tag is visited;
    // its formats carry converter support and are listed. The tag without
    // standard formats is not.
    {"filtered",
     {{0xa105, "Scripted converter tag", 0, "Scripted converter format"},
      {0xa105, "Scripted converter tag", 1, "Scripted converter format"},
      {0xa107, "Scripted listed tag", 0, "Scripted listed format"}},
     0},
    // Every open with an open descriptor refused: skipped without a word.
    {"refuse-every-open", {}, 0},
    // The first open is granted, the second refused: one message per tag
    // that passes the filter (two, PCM excluded), nothing listed.
    {"refuse-second-open", {}, 2},
};

void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

test_support::SpawnResult runScenario(const Build& build, const char* scenario,
                                      const std::string& cwd) {
    wine_support::clearScriptedDriverCache(WINE_DRIVER_PREFIX);
    return wine_support::runWine(WINE_DRIVER_PREFIX, {wine_support::program(build)}, cwd,
                                 {{"ACM_SCRIPTED_DRIVER", scenario}});
}

// did is the identifier as printed, "0x...".
std::string expectedRecords(const Scenario& scenario, const std::string& did) {
    std::string text;
    for (const Listed& listed : scenario.records) {
        text += test_support::record(std::stoull(did, nullptr, 16), listed.name, listed.tag,
                                     static_cast<std::uint32_t>(listed.index), listed.description);
    }
    return text;
}

class ScriptedDriver : public ::testing::TestWithParam<std::tuple<Build, Scenario>> {};

TEST_P(ScriptedDriver, IsListedAsTheManagerHandsItOverAndHarmsNoOtherCodec) {
    const Build& build = std::get<0>(GetParam());
    const Scenario& scenario = std::get<1>(GetParam());

    TempDir baselineDir;
    const test_support::SpawnResult baseline = runScenario(build, "hidden", baselineDir.path());
    ASSERT_EQ(0, baseline.status);
    const std::string baselineLog = readFile(baselineDir.file("acm.log"));
    ASSERT_EQ(std::string::npos, baselineLog.find("name=Scripted"))
        << "a driver without codec support listed";
    ASSERT_NE("", baselineLog);

    TempDir cwd;
    const test_support::SpawnResult result = runScenario(build, scenario.name, cwd.path());
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("", result.out);
    const std::string log = readFile(cwd.file("acm.log"));

    // The scripted driver's records are those named "Scripted ..."; its
    // identifier is theirs, and they stand where its first one stands.
    std::string others;
    std::size_t oursAt = std::string::npos;
    std::string ourDid;
    std::vector<std::string> otherDids;
    for (const wine_support::Record& record : wine_support::records(log)) {
        if (record.lines.find(", name=Scripted") != std::string::npos) {
            oursAt = oursAt == std::string::npos ? others.size() : oursAt;
            ourDid = record.did;
        } else {
            others += record.lines;
            otherDids.push_back(record.did);
        }
    }
    std::string expectedLog = others;
    expectedLog.insert(oursAt == std::string::npos ? others.size() : oursAt,
                       expectedRecords(scenario, ourDid));
    EXPECT_EQ(expectedLog, log) << "exact acm.log";
    EXPECT_EQ(scenario.records.empty(), ourDid.empty());
    EXPECT_EQ(wine_support::normalized(baselineLog), wine_support::normalized(others))
        << "Wine's own codecs are listed as without the scripted driver";

    // Standard error: one message per refused tag, all with one identifier,
    // which is no other driver's.
    std::string expectedErr;
    std::smatch message;
    if (std::regex_search(result.err, message, std::regex("did=(0x[0-9a-f]{8,16})\\)"))) {
        const std::string did = message[1].str();
        EXPECT_EQ(otherDids.end(), std::find(otherDids.begin(), otherDids.end(), did));
        for (int i = 0; i < scenario.refusedTags; ++i) {
            expectedErr += "failed on acmDriverOpen(did=" + did + ")\r\n";
        }
    }
    EXPECT_EQ(expectedErr, result.err);
    EXPECT_EQ(scenario.refusedTags == 0, result.err.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, ScriptedDriver,
    ::testing::Combine(::testing::Values(wine_support::kX86, wine_support::kX64),
                       ::testing::ValuesIn(kScenarios)),
    [](const ::testing::TestParamInfo<std::tuple<Build, Scenario>>& param) {
        return test_support::caseName(std::string(std::get<0>(param.param).name) + "_" +
                                      std::get<1>(param.param).name);
    });

}  // namespace
