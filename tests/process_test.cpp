// The built program as a whole process, in a temporary working directory,
// with the scripted ACM library put in the stand-in's place. These run on the
// build host only: they start the program with fork and exec, put the ACM in
// place through the dynamic linker and limit the address space with
// setrlimit. The Windows builds are run as whole processes by the tests under
// Wine instead, and their walk and log by the in-process suite built for
// Windows.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using test_support::readFile;
using test_support::record;
using test_support::TempDir;
using test_support::writeFile;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
    std::string report;  // the scripted ACM's account of handles and calls
};

struct Launch {
    std::string cwd;
    std::string script;  // empty: the program runs on its own stand-in ACM
    std::vector<std::string> arguments;
    unsigned long long addressSpace = 0;
};

// The words of ACM_INVENTORY_WRAPPER, if set: a command that runs the program,
// such as valgrind with its options.
std::vector<std::string> wrapper() {
    std::vector<std::string> words;
    if (const char* command = std::getenv("ACM_INVENTORY_WRAPPER")) {
        std::istringstream text(command);
        for (std::string word; text >> word;) {
            words.push_back(word);
        }
    }
    return words;
}

// Runs the program as described, on the scripted ACM unless script is empty.
Result runProgram(const Launch& launch) {
    TempDir scratch;
    test_support::Spawn spawn;
    spawn.argv = wrapper();
    spawn.argv.push_back(ACM_INVENTORY_PROGRAM);
    spawn.argv.insert(spawn.argv.end(), launch.arguments.begin(), launch.arguments.end());
    spawn.cwd = launch.cwd;
    spawn.addressSpace = launch.addressSpace;
    if (!launch.script.empty()) {
        writeFile(scratch.file("script"), launch.script);
        spawn.env = {{"LD_LIBRARY_PATH", SCRIPTED_ACM_DIR},
                     {"SCRIPTED_ACM", scratch.file("script")},
                     {"SCRIPTED_ACM_REPORT", scratch.file("report")}};
    }
    const test_support::SpawnResult spawned = test_support::spawn(spawn);
    return {spawned.status, spawned.out, spawned.err, readFile(scratch.file("report"))};
}

// Every handle the program opened it closed again, never two at once on a
// driver beyond the walk's two, and it made no call the ACM had to reject.
void expectCleanHandles(const Result& result) {
    int opened = -1;
    int closed = -1;
    int mostOnOneDriver = -1;
    int badCalls = -1;
    ASSERT_EQ(4, std::sscanf(result.report.c_str(),
                             "opened=%d closed=%d most-on-one-driver=%d bad-calls=%d", &opened,
                             &closed, &mostOnOneDriver, &badCalls))
        << result.report;
    EXPECT_EQ(opened, closed) << result.report;
    EXPECT_LE(mostOnOneDriver, 2) << result.report;
    EXPECT_EQ(0, badCalls) << result.report;
}

const char kRegistry[] =
    "driver 0x1000 3\n"
    "tag 1 1 1 PCM\nformat 1 pcm\n"
    "tag 0x11 1 2 IMA ADPCM\nformat 1 8000 Hz, 4 bit, mono\nformat 1 8000 Hz, 4 bit, stereo\n"
    "driver 0x2000 2\ntag 0x31 1 1 GSM 6.10\nformat 1 gsm\n"
    "driver 0x3000 1\ntag 0x31 1 1 GSM 6.10\nformat 1 8000 Hz, 0 bit, mono\n"
    "tag 0x55 1 0 MPEG Layer-3\nformat 1 mp3\n";

const std::string kRegistryLog = record(0x1000, "IMA ADPCM", 0x11, 0, "8000 Hz, 4 bit, mono") +
                                 record(0x1000, "IMA ADPCM", 0x11, 1, "8000 Hz, 4 bit, stereo") +
                                 record(0x3000, "GSM 6.10", 0x31, 0, "8000 Hz, 0 bit, mono");

TEST(Process, WritesTheInventoryToTheLogAndNothingElse) {
    TempDir cwd;
    const Result result = runProgram({cwd.path(), kRegistry, {}});
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(kRegistryLog, readFile(cwd.file("acm.log")));
    EXPECT_EQ("", result.out);
    EXPECT_EQ("", result.err);
    expectCleanHandles(result);
}

TEST(Process, TruncatesAStaleLogAndIgnoresArguments) {
    const std::vector<std::vector<std::string>> argumentLists = {
        {}, {"--help"}, {"/?", "-v", "acm.log", ""}, {std::string(4096, 'x')}};
    for (const auto& arguments : argumentLists) {
        TempDir cwd;
        writeFile(cwd.file("acm.log"), std::string(10000, 'z') + "\r\n");
        const Result result = runProgram({cwd.path(), kRegistry, arguments});
        EXPECT_EQ(0, result.status);
        EXPECT_EQ(kRegistryLog, readFile(cwd.file("acm.log")));
        EXPECT_EQ("", result.out);
        EXPECT_EQ("", result.err);
    }
}

TEST(Process, NoDriversGiveAnEmptyLog) {
    TempDir cwd;
    const Result result = runProgram({cwd.path(), "# no drivers\n", {}});
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("", readFile(cwd.file("acm.log")));
    EXPECT_EQ("", result.out);
    EXPECT_EQ("", result.err);
}

// A log that cannot be opened at all: every record on standard output.
TEST(Process, UnopenableLogSendsEveryRecordToStandardOutput) {
    TempDir cwd;
    ASSERT_EQ(0, mkdir(cwd.file("acm.log").c_str(), 0700));
    TempDir missing;
    const std::string dangling = cwd.file("dangling");
    ASSERT_EQ(0, mkdir(dangling.c_str(), 0700));
    ASSERT_EQ(0,
              symlink((missing.path() + "/gone/acm.log").c_str(), (dangling + "/acm.log").c_str()));
    // /proc takes no new files, not even from root.
    for (const std::string& dir : {cwd.path(), dangling, std::string("/proc")}) {
        SCOPED_TRACE(dir);
        const Result result = runProgram({dir, kRegistry, {}});
        EXPECT_EQ(0, result.status);
        EXPECT_EQ(kRegistryLog, result.out);
        EXPECT_EQ("", result.err);
        expectCleanHandles(result);
    }
    EXPECT_EQ("<missing>", readFile(missing.path() + "/gone/acm.log"));
}

// A log that opens but takes no bytes: no record is lost.
TEST(Process, FullDiskSendsEveryRecordToStandardOutputToo) {
    TempDir cwd;
    ASSERT_EQ(0, symlink("/dev/full", cwd.file("acm.log").c_str()));
    const Result result = runProgram({cwd.path(), kRegistry, {}});
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(kRegistryLog, result.out);
    EXPECT_EQ("", result.err);
}

TEST(Process, FailedAllocationIsReportedWithItsUnsignedSize) {
    TempDir cwd;
    const Result result =
        runProgram({cwd.path(), std::string("metrics 0 4294967280\n") + kRegistry, {}, 256u << 20});
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("failed on malloc(4294967280)\r\nfailed on malloc(4294967280)\r\n", result.err);
    EXPECT_EQ("", readFile(cwd.file("acm.log")));
    EXPECT_EQ("", result.out);
    expectCleanHandles(result);
}

TEST(Process, RefusedOpensAreReportedWithTheDriverIdentifier) {
    TempDir cwd;
    const Result result = runProgram({cwd.path(),
                                      "driver 0x7f01 1 refuse-second\n"
                                      "tag 0x11 1 1 A\nformat 1 a\ntag 0x12 1 1 B\nformat 1 b\n"
                                      "driver 0x7f02 1 refuse-first\ntag 0x11 1 1 C\nformat 1 c\n"
                                      "driver 0x7f03 1\ntag 0x11 1 1 D\nformat 1 d\n",
                                      {}});
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(
        "failed on acmDriverOpen(did=0x00007f01)\r\n"
        "failed on acmDriverOpen(did=0x00007f01)\r\n",
        result.err);
    EXPECT_EQ(record(0x7f03, "D", 0x11, 0, "d"), readFile(cwd.file("acm.log")));
    EXPECT_EQ("", result.out);
    expectCleanHandles(result);
}

// The program on its own stand-in ACM, as the README shows it.
TEST(Process, StandInInventoryIsTheDocumentedOne) {
    TempDir cwd;
    const Result result = runProgram({cwd.path(), "", {}});
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(readFile(TEST_DATA_DIR "/standin-acm.log"), readFile(cwd.file("acm.log")));
    EXPECT_EQ("", result.out);
    EXPECT_EQ("", result.err);
}

}  // namespace

namespace {

// Memory must not grow with the number of records: the peak resident set at
// 100,000 records stays within 256 KiB of the peak at 1,000 (medians of five
// runs each). The peak is read by GNU time, whose own small resident set is
// all that the program's count inherits from before its exec.
TEST(Process, MemoryStaysFlatAsRecordsGrow) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer keeps freed blocks in quarantine";
#else
    if (!wrapper().empty()) {
        GTEST_SKIP() << "the program runs under " << wrapper().front();
    }
    const auto peakKiB = [](const char* shape) {
        std::vector<long> peaks;
        for (int run = 0; run < 5; ++run) {
            TempDir cwd;
            test_support::Spawn spawn;
            spawn.argv = {"/usr/bin/time",      "-f", "%M", "-o", cwd.file("peak"),
                          ACM_INVENTORY_PROGRAM};
            spawn.cwd = cwd.path();
            spawn.env = {{"LD_LIBRARY_PATH", SYNTHETIC_ACM_DIR}, {"SYNTHETIC_ACM", shape}};
            const test_support::SpawnResult result = test_support::spawn(spawn);
            EXPECT_EQ(0, result.status);
            EXPECT_EQ("", result.err);
            peaks.push_back(std::atol(readFile(cwd.file("peak")).c_str()));
        }
        std::sort(peaks.begin(), peaks.end());
        return peaks[2];
    };
    const long small = peakKiB("10,10,10");
    const long large = peakKiB("10,10,1000");
    EXPECT_GT(small, 0);
    EXPECT_LE(large, small + 256) << "1,000 records: " << small << " KiB, 100,000: " << large;
#endif
}

}  // namespace
