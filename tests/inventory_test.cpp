// The walk and the log, in process, against the scripted ACM: the calls the
// walk makes, the records and messages it writes, and what it leaves behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/in_process.h"
#include "support/libc_faults.h"
#include "support/scripted_acm.h"
#include "support/test_support.h"

namespace {

using libc_faults::Call;
using test_support::caseName;
using test_support::readFile;
using test_support::record;

const std::string kFormatRecordSize = std::to_string(sizeof(ACMFORMATDETAILSA));

using in_process::Outcome;

class Inventory : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::current_path(dir_.path());
        libc_faults::reset();
    }
    void TearDown() override { std::filesystem::current_path(kOrigin); }

    // Runs the whole inventory on the registry that script describes, after
    // arming the C library faults already set up by the test. Checks what
    // must hold after every run: every handle closed, never more than two on
    // a driver, no call the ACM had to reject, no heap block or file left.
    Outcome run(const std::string& script) {
        std::string error;
        const scripted::Registry registry = scripted::parse(script, &error);
        EXPECT_EQ("", error);
        const Outcome outcome = in_process::run(registry, helpers_.path());
        EXPECT_EQ(outcome.handles.opened, outcome.handles.closed) << outcome.trace;
        EXPECT_LE(outcome.handles.mostOnOneDriver, 2) << outcome.trace;
        EXPECT_EQ(0, outcome.handles.badCalls) << outcome.trace;
        EXPECT_EQ(0, outcome.libc.liveBlocks);
        EXPECT_EQ(0, outcome.libc.openFiles);
        EXPECT_EQ(0, outcome.status);
        return outcome;
    }

    const std::filesystem::path kOrigin = std::filesystem::current_path();
    test_support::TempDir dir_;
    test_support::TempDir helpers_;
};

// A test name made of what: letters and digits kept, all else '_'.
std::string count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return std::to_string(n);
}

TEST_F(Inventory, WalksDriversTagsAndFormatsInOrderWithTheExpectedCalls) {
    const Outcome outcome =
        run("driver 0x1000 3\n"
            "tag 1 1 2 PCM\n"
            "format 1 8000 Hz, 8 bit, mono\n"
            "format 1 8000 Hz, 16 bit, mono\n"
            "tag 0x11 1 2 IMA ADPCM\n"
            "format 1 8000 Hz, 4 bit, mono\n"
            "format 1 8000 Hz, 4 bit, stereo\n"
            "driver 0x2000 2\n"
            "tag 0x31 1 1 GSM 6.10\n"
            "format 1 8000 Hz\n"
            "driver 0x3000 1\n"
            "tag 0x31 1 1 GSM 6.10\n"
            "format 1 8000 Hz, 0 bit, mono\n");

    EXPECT_EQ(
        "acmDriverEnum(instance=0x0, flags=0x0)\n"
        "  acmDriverOpen(did=0x1000, flags=0x0) -> h1\n"
        "  acmFormatTagEnumA(h1, cbStruct=72, zeroed, instance=0x0, flags=0x0)\n"
        "    acmDriverOpen(did=0x1000, flags=0x0) -> h2\n"
        "    acmMetrics(hao=null, metric=50) -> 0, 50\n"
        "    acmFormatEnumA(h2, cbStruct=" +
            kFormatRecordSize +
            ", dwFormatTag=0x11, zeroed, "
            "pwfx={wFormatTag=0x11, rest zero}, cbwfx=50, instance=szFormatTag, flags=0x10000)\n"
            "    free(format buffer)\n"
            "    acmDriverClose(h2, flags=0x0)\n"
            "  acmDriverClose(h1, flags=0x0)\n"
            "  acmDriverOpen(did=0x3000, flags=0x0) -> h3\n"
            "  acmFormatTagEnumA(h3, cbStruct=72, zeroed, instance=0x0, flags=0x0)\n"
            "    acmDriverOpen(did=0x3000, flags=0x0) -> h4\n"
            "    acmMetrics(hao=null, metric=50) -> 0, 50\n"
            "    acmFormatEnumA(h4, cbStruct=" +
            kFormatRecordSize +
            ", dwFormatTag=0x31, zeroed, "
            "pwfx={wFormatTag=0x31, rest zero}, cbwfx=50, instance=szFormatTag, flags=0x10000)\n"
            "    free(format buffer)\n"
            "    acmDriverClose(h4, flags=0x0)\n"
            "  acmDriverClose(h3, flags=0x0)\n",
        outcome.trace);
    EXPECT_EQ(
        "did=0x00001000, name=IMA ADPCM\r\n"
        "  tag=0x0011, idx=0x00000000, [8000 Hz, 4 bit, mono]\r\n"
        "did=0x00001000, name=IMA ADPCM\r\n"
        "  tag=0x0011, idx=0x00000001, [8000 Hz, 4 bit, stereo]\r\n"
        "did=0x00003000, name=GSM 6.10\r\n"
        "  tag=0x0031, idx=0x00000000, [8000 Hz, 0 bit, mono]\r\n",
        outcome.log);
    EXPECT_EQ("", outcome.out);
    EXPECT_EQ("", outcome.err);
}

TEST_F(Inventory, NoCodecDriversLeaveAnEmptyLogAndStaleRecordsGo) {
    test_support::writeFile(dir_.file("acm.log"), "records of an earlier run\r\n");
    const Outcome outcome = run("driver 0x10 2\ntag 0x11 1 1 x\nformat 1 y\n");
    EXPECT_EQ("", outcome.log);
    EXPECT_EQ("", outcome.out);
    EXPECT_EQ("", outcome.err);
    EXPECT_EQ("acmDriverEnum(instance=0x0, flags=0x0)\n", outcome.trace);
}

// Which drivers, tags and formats are listed. Every case is one driver,
// 0x1000, of the given support, with one tag and one format. The callbacks
// are handed the driver's flags unless a case says otherwise after a slash,
// and they, not the records' own flags, decide.
struct FilterCase {
    const char* what;
    const char* driverSupport;
    const char* tag;            // "<value> <support>[/<handed>] <standard formats>"
    const char* formatSupport;  // "<support>[/<handed>]"
    const char* expectedLog;
    const char* expectedOpens;  // of driver 0x1000
};

void PrintTo(const FilterCase& c, std::ostream* out) {
    *out << c.what;
}

class TagFilter : public Inventory, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(TagFilter, ListsOnlyCompressedCodecTagsWithStandardFormats) {
    const FilterCase& c = GetParam();
    const Outcome outcome = run(std::string("driver 0x1000 ") + c.driverSupport + "\ntag " + c.tag +
                                " Tag name\nformat " + c.formatSupport + " Format\n");
    EXPECT_EQ(c.expectedLog, outcome.log);
    EXPECT_EQ(c.expectedOpens, count(outcome.trace, "acmDriverOpen(did=0x1000"));
    EXPECT_EQ("", outcome.out);
    EXPECT_EQ("", outcome.err);
}

const char kListed[] =
    "did=0x00001000, name=Tag name\r\n  tag=0x0011, idx=0x00000000, [Format]\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, TagFilter,
    ::testing::Values(
        FilterCase{"codec", "1", "0x11 1 1", "1", kListed, "2"},
        FilterCase{"codec and converter", "3", "0x11 3 1", "3", kListed, "2"},
        FilterCase{"driver converter only", "2", "0x11 1 1", "1", "", "0"},
        FilterCase{"driver filter only", "4", "0x11 1 1", "1", "", "0"},
        FilterCase{"driver no support", "0", "0x11 1 1", "1", "", "0"},
        FilterCase{"driver disabled codec", "0x80000001", "0x11 1 1", "1", kListed, "2"},
        FilterCase{"tag handed converter only", "1", "0x11 1/2 1", "1", "", "1"},
        FilterCase{"tag handed no support", "1", "0x11 1/0 1", "1", "", "1"},
        FilterCase{"tag record converter only", "1", "0x11 2 1", "1", kListed, "2"},
        FilterCase{"tag record no support", "1", "0x11 0 1", "1", kListed, "2"},
        FilterCase{"tag 0", "1", "0 1 1", "1", "", "1"},
        FilterCase{"tag 1 PCM", "1", "1 1 1", "1", "", "1"},
        FilterCase{"tag 2", "1", "2 1 1", "1",
                   "did=0x00001000, name=Tag name\r\n  tag=0x0002, idx=0x00000000, [Format]\r\n",
                   "2"},
        FilterCase{"tag with no standard formats", "1", "0x11 1 0", "1", "", "1"},
        // Above 0xFFFF; the low 16 bits are those of tag 0 and PCM.
        FilterCase{"tag 0x10000", "1", "0x10000 1 1", "1",
                   "did=0x00001000, name=Tag name\r\n  tag=0x10000, idx=0x00000000, [Format]\r\n",
                   "2"},
        FilterCase{"tag 0x10001", "1", "0x10001 1 1", "1",
                   "did=0x00001000, name=Tag name\r\n  tag=0x10001, idx=0x00000000, [Format]\r\n",
                   "2"},
        FilterCase{
            "tag 0xffffffff", "1", "0xffffffff 1 1", "1",
            "did=0x00001000, name=Tag name\r\n  tag=0xffffffff, idx=0x00000000, [Format]\r\n", "2"},
        FilterCase{"format handed converter only", "1", "0x11 1 1", "1/2", kListed, "2"},
        FilterCase{"format handed filter only", "1", "0x11 1 1", "1/4", "", "2"},
        FilterCase{"format handed no support", "1", "0x11 1 1", "1/0", "", "2"},
        FilterCase{"format record no support", "1", "0x11 1 1", "0", kListed, "2"},
        FilterCase{"format record filter only", "1", "0x11 1 1", "4", kListed, "2"}),
    [](const ::testing::TestParamInfo<FilterCase>& param) { return caseName(param.param.what); });

TEST_F(Inventory, TagAboveFFFFQueriesTheFullTagAndHeadersTheLow16Bits) {
    const Outcome outcome = run("driver 0x1000 1\ntag 0x10011 1 1 Wide\nformat 1 F\n");
    EXPECT_NE(std::string::npos,
              outcome.trace.find("dwFormatTag=0x10011, zeroed, pwfx={wFormatTag=0x11, rest zero}"))
        << outcome.trace;
    EXPECT_EQ("did=0x00001000, name=Wide\r\n  tag=0x10011, idx=0x00000000, [F]\r\n", outcome.log);
}

TEST_F(Inventory, TextsAreBoundedByTheirFieldsAndPassedThroughUnchanged) {
    const std::string name48(48, 'N');
    const std::string description128(128, 'D');
    const Outcome outcome =
        run("driver 0x1000 1\n"
            "tag 0x11 1 3 " +
            name48 +
            "TAIL\n"
            "format 1 " +
            description128 +
            "TAIL\n"
            "format 1 \n"
            "format 1 caf\\xe9 \\x01\\x7f\\\\\n"
            "tag 0x12 1 1 \\xe9t\\xe9\n"
            "format 1 x\n");
    EXPECT_EQ(record(0x1000, name48, 0x11, 0, description128) +
                  record(0x1000, name48, 0x11, 1, "") +
                  record(0x1000, name48, 0x11, 2, "caf\xe9 \x01\x7f\\") +
                  record(0x1000, "\xe9t\xe9", 0x12, 0, "x"),
              outcome.log);
}

TEST_F(Inventory, DriverIdentifiersKeepEveryDigit) {
    std::string script =
        "driver 0x1 1\ntag 0x11 1 1 A\nformat 1 a\n"
        "driver 0xabcdef12 1\ntag 0x11 1 1 B\nformat 1 b\n";
    std::string expected = record(0x1, "A", 0x11, 0, "a") + record(0xabcdef12, "B", 0x11, 0, "b");
    if (sizeof(void*) == 8) {
        script += "driver 0x123456789ab 1\ntag 0x11 1 1 C\nformat 1 c\n";
        expected += "did=0x123456789ab, name=C\r\n  tag=0x0011, idx=0x00000000, [c]\r\n";
        script += "driver 0xfedcba9876543210 1 refuse-second\ntag 0x11 1 1 D\nformat 1 d\n";
    }
    const Outcome outcome = run(script);
    EXPECT_EQ(expected, outcome.log);
    EXPECT_EQ(sizeof(void*) == 8 ? "failed on acmDriverOpen(did=0xfedcba9876543210)\r\n" : "",
              outcome.err);
}

TEST_F(Inventory, RefusedFirstOpenSkipsTheDriverSilently) {
    const Outcome outcome =
        run("driver 0x1000 1 refuse-first\ntag 0x11 1 1 A\nformat 1 a\n"
            "driver 0x2000 1\ntag 0x11 1 1 B\nformat 1 b\n");
    EXPECT_EQ(record(0x2000, "B", 0x11, 0, "b"), outcome.log);
    EXPECT_EQ("", outcome.err);
    EXPECT_EQ("1", count(outcome.trace, "acmDriverOpen(did=0x1000"));
}

TEST_F(Inventory, RefusedSecondOpenIsReportedOncePerListableTag) {
    const Outcome outcome =
        run("driver 0xa1b2 1 refuse-second\n"
            "tag 1 1 1 PCM\nformat 1 p\n"
            "tag 0x11 1 1 A\nformat 1 a\n"
            "tag 0x31 1 0 No formats\nformat 1 n\n"
            "tag 0x02 1 1 B\nformat 1 b\n"
            "driver 0x2000 1\ntag 0x11 1 1 C\nformat 1 c\n");
    EXPECT_EQ(
        "failed on acmDriverOpen(did=0x0000a1b2)\r\n"
        "failed on acmDriverOpen(did=0x0000a1b2)\r\n",
        outcome.err);
    EXPECT_EQ(record(0x2000, "C", 0x11, 0, "c"), outcome.log);
    EXPECT_EQ("", outcome.out);
}

// What acmMetrics delivers and the format buffer that the walk sizes from it.
struct MetricsCase {
    const char* metrics;  // "<result> <size>"
    const char* cbwfx;
};

void PrintTo(const MetricsCase& c, std::ostream* out) {
    *out << c.metrics;
}

class FormatBuffer : public Inventory, public ::testing::WithParamInterface<MetricsCase> {};

TEST_P(FormatBuffer, IsNeverSmallerThanAHeaderNorSizedByAFailedCall) {
    const Outcome outcome = run(std::string("metrics ") + GetParam().metrics +
                                "\ndriver 0x1000 1\ntag 0x11 1 2 A\nformat 1 a\nformat 1 b\n");
    EXPECT_NE(std::string::npos,
              outcome.trace.find(std::string("cbwfx=") + GetParam().cbwfx + ", "))
        << outcome.trace;
    EXPECT_EQ(record(0x1000, "A", 0x11, 0, "a") + record(0x1000, "A", 0x11, 1, "b"), outcome.log);
    EXPECT_EQ("", outcome.err);
}

INSTANTIATE_TEST_SUITE_P(Cases, FormatBuffer,
                         ::testing::Values(MetricsCase{"0 50", "50"}, MetricsCase{"0 300", "300"},
                                           MetricsCase{"0 18", "18"}, MetricsCase{"0 17", "18"},
                                           MetricsCase{"0 1", "18"}, MetricsCase{"0 0", "18"},
                                           MetricsCase{"11 50", "18"},
                                           MetricsCase{"1 4294967295", "18"},
                                           MetricsCase{"512 0", "18"}),
                         [](const ::testing::TestParamInfo<MetricsCase>& param) {
                             return caseName(std::string("result_size_") + param.param.metrics);
                         });

// The size in the allocation message is unsigned, whatever its top bit. The
// first allocation fails, and any above 1 MiB, so that no case depends on
// what the test machine's address space holds.
struct AllocationCase {
    const char* metrics;
    const char* message;  // once for the first tag; for the second too if it is huge
};

void PrintTo(const AllocationCase& c, std::ostream* out) {
    *out << c.metrics;
}

class FailedAllocation : public Inventory, public ::testing::WithParamInterface<AllocationCase> {};

TEST_P(FailedAllocation, IsReportedAndSkipsOnlyItsTag) {
    libc_faults::failNth(Call::Malloc, 1, false);
    libc_faults::limitAllocations(1u << 20);
    const bool huge = std::strtoull(GetParam().metrics + 2, nullptr, 10) > (1u << 20);
    const Outcome outcome = run(std::string("metrics ") + GetParam().metrics +
                                "\ndriver 0x1000 1\ntag 0x11 1 1 A\nformat 1 a\n"
                                "tag 0x12 1 1 B\nformat 1 b\n");
    EXPECT_EQ(huge ? std::string(GetParam().message) + GetParam().message : GetParam().message,
              outcome.err);
    EXPECT_EQ(huge ? "" : record(0x1000, "B", 0x12, 0, "b"), outcome.log);
    // The second handle of the failed tag is closed before the next tag opens one.
    EXPECT_NE(std::string::npos, outcome.trace.find("-> h2\n    acmMetrics(hao=null, metric=50) -> "
                                                    "0, " +
                                                    std::string(GetParam().metrics + 2) +
                                                    "\n    acmDriverClose(h2, flags=0x0)\n"))
        << outcome.trace;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedAllocation,
    ::testing::Values(AllocationCase{"0 50", "failed on malloc(50)\r\n"},
                      AllocationCase{"0 2147483648", "failed on malloc(2147483648)\r\n"},
                      AllocationCase{"0 4294967280", "failed on malloc(4294967280)\r\n"}),
    [](const ::testing::TestParamInfo<AllocationCase>& param) {
        return caseName(std::string("size_") + (param.param.metrics + 2));
    });

// Failed ACM calls: a refused open skips its driver or its tag (the second
// open with a message), anything else is passed over silently.
TEST_F(Inventory, FailedAcmCallsSkipOnlyWhatTheyMustAndLeaveTheRestListed) {
    const std::string registry =
        "driver 0x1000 1\ntag 0x11 1 1 A\nformat 1 a\n"
        "tag 0x12 1 1 B\nformat 1 b\n"
        "driver 0x2000 1\ntag 0x11 1 1 C\nformat 1 c\n";
    const std::string a = record(0x1000, "A", 0x11, 0, "a");
    const std::string b = record(0x1000, "B", 0x12, 0, "b");
    const std::string c = record(0x2000, "C", 0x11, 0, "c");
    const std::string failed1000 = "failed on acmDriverOpen(did=0x00001000)\r\n";
    const struct {
        const char* fault;
        std::string log;
        std::string err;
    } cases[] = {
        {"fail driver-enum 1", "", ""},
        {"fail tag-enum 1", c, ""},
        {"fail format-enum 1", b + c, ""},
        {"fail format-enum 2", a + c, ""},
        {"fail driver-close 1", a + b + c, ""},
        {"fail driver-close 1 forever", a + b + c, ""},
        {"fail metrics 1 forever", a + b + c, ""},
        {"fail driver-open 1", c, ""},
        {"fail driver-open 2", b + c, failed1000},
        {"fail driver-open 3", a + c, failed1000},
        {"fail driver-open 4", a + b, ""},
        {"fail driver-open 5", a + b, "failed on acmDriverOpen(did=0x00002000)\r\n"},
        {"fail driver-open 2 forever", "", failed1000 + failed1000},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.fault);
        const Outcome outcome = run(registry + testCase.fault + "\n");
        EXPECT_EQ(testCase.log, outcome.log);
        EXPECT_EQ(testCase.err, outcome.err);
        EXPECT_EQ("", outcome.out);
    }
}

const char kTwoFormats[] = "driver 0x1000 1\ntag 0x11 1 2 A\nformat 1 a\nformat 1 b\n";

TEST_F(Inventory, LogThatNeverOpensSendsEveryRecordToStandardOutput) {
    libc_faults::failNth(Call::LogOpen, 1, true);
    const Outcome outcome = run(kTwoFormats);
    EXPECT_EQ("<missing>", outcome.log);
    EXPECT_EQ(record(0x1000, "A", 0x11, 0, "a") + record(0x1000, "A", 0x11, 1, "b"), outcome.out);
    EXPECT_EQ("", outcome.err);
}

// A record that does not reach the log in full goes to standard output; the
// records before and after it still go to the log. Call 1 of the log opens
// and closes is the reset, call 2 the first record; writes count two a record.
struct LogFaultCase {
    const char* what;
    Call call;
    int nth;
    const char* log;  // of records a and b
    const char* out;
};

void PrintTo(const LogFaultCase& c, std::ostream* out) {
    *out << c.what;
}

class LogFault : public Inventory, public ::testing::WithParamInterface<LogFaultCase> {};

TEST_P(LogFault, LosesNoRecord) {
    const LogFaultCase& c = GetParam();
    libc_faults::failNth(c.call, c.nth, false);
    const Outcome outcome = run(kTwoFormats);
    const std::string a = record(0x1000, "A", 0x11, 0, "a");
    const std::string b = record(0x1000, "A", 0x11, 1, "b");
    const auto pick = [&](const char* which) {
        std::string text;
        for (const char* p = which; *p != '\0'; ++p) {
            text += *p == 'a' ? a : *p == 'b' ? b : test_support::driverLine(0x1000, "A");
        }
        return text;
    };
    EXPECT_EQ(pick(c.log), outcome.log);
    EXPECT_EQ(pick(c.out), outcome.out);
    EXPECT_EQ("", outcome.err);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LogFault,
    ::testing::Values(LogFaultCase{"reset_open", Call::LogOpen, 1, "ab", ""},
                      LogFaultCase{"first_record_open", Call::LogOpen, 2, "b", "a"},
                      LogFaultCase{"second_record_open", Call::LogOpen, 3, "a", "b"},
                      LogFaultCase{"reset_close", Call::LogClose, 1, "ab", ""},
                      LogFaultCase{"first_record_close", Call::LogClose, 2, "ab", "a"},
                      LogFaultCase{"second_record_close", Call::LogClose, 3, "ab", "b"},
                      LogFaultCase{"driver_line_write", Call::LogWrite, 1, "b", "a"},
                      // The driver line was written before the format line failed.
                      LogFaultCase{"format_line_write", Call::LogWrite, 2, "db", "a"},
                      LogFaultCase{"second_record_write", Call::LogWrite, 3, "a", "b"}),
    [](const ::testing::TestParamInfo<LogFaultCase>& param) { return param.param.what; });

TEST_F(Inventory, AllocatesOneBlockPerVisitedTagAndNonePerRecord) {
    std::string script;
    std::string expected;
    for (const std::uintptr_t driver : {0x1000u, 0x2000u}) {
        script += "driver " + std::to_string(driver) + " 1\ntag 1 1 5 PCM\nformat 1 p\n";
        for (const std::uint32_t tag : {0x11u, 0x12u}) {
            script += "tag " + std::to_string(tag) + " 1 5 T\n";
            for (std::uint32_t format = 0; format < 5; ++format) {
                script += "format 1 f\n";
                expected += record(driver, "T", tag, format, "f");
            }
        }
    }
    const Outcome outcome = run(script);
    EXPECT_EQ(expected, outcome.log);
    EXPECT_EQ(4, outcome.libc.calls[static_cast<int>(Call::Malloc)]);
}

TEST_F(Inventory, UnlistedFormatStillOpensAndCreatesTheLog) {
    libc_faults::failNth(Call::LogOpen, 1, false);  // the reset creates nothing
    const Outcome outcome = run("driver 0x1000 1\ntag 0x11 1 1 A\nformat 0/0 a\n");
    EXPECT_EQ("", outcome.log);
    EXPECT_EQ("", outcome.out);
    EXPECT_EQ(2, outcome.libc.calls[static_cast<int>(Call::LogOpen)]);
    EXPECT_EQ(1, outcome.libc.calls[static_cast<int>(Call::LogClose)]);
}

}  // namespace
