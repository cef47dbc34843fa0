// Fault sweeps: for every kind of call that can fail, fail the 1st, 2nd, ...
// call of that kind, once or for good, until a run reaches no such call.
// After every run the output must be exactly what the model says survives,
// with every driver handle closed and every heap block freed.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>

#include "support/in_process.h"
#include "support/model.h"
#include "support/test_support.h"

namespace {

using libc_faults::Call;
using scripted::Op;

// Several drivers and tags, with something of every kind the walk passes
// over: a converter-only driver, PCM, tag 0, a tag without standard formats,
// a tag handed no codec support, formats that are not listed, refused opens;
// and texts with line ends and other control bytes in them.
const char kRegistry[] =
    "driver 0x1000 3\n"
    "tag 1 1 2 PCM\nformat 1 pcm 1\nformat 1 pcm 2\n"
    "tag 0x11 1 3 IMA ADPCM\nformat 1 ima 1\nformat 0/0 ima hidden\nformat 2/2 ima 3\n"
    "tag 0x02 1 0 ADPCM without standard formats\nformat 1 adpcm\n"
    "tag 0x31 1 2 GSM\\x0d\\x0a6.10\\x0a\nformat 1 gsm\\x0d\\x0a 1\nformat 0 gsm\\x00 2\n"
    "driver 0x2000 2\ntag 0x11 1 1 Converter\nformat 1 converter\n"
    "driver 0x3000 1 refuse-first\ntag 0x11 1 1 Refused\nformat 1 refused\n"
    "driver 0x4000 1 refuse-second\ntag 0x11 1 1 Half\nformat 1 half\n"
    "tag 0x12 1 1 Half 2\nformat 1 half 2\n"
    "driver 0x5000 1\ntag 0 1 1 Zero\nformat 1 zero\n"
    "tag 0x6 1/2 1 Not a codec tag\nformat 1 alaw\n"
    "tag 0x7 2 2 u-Law\nformat 1 ulaw 1\nformat 1 ulaw 2\n"
    "tag 0x10022 1 1 Wide\nformat 1 wide\n";

struct Kind {
    const char* name;
    bool acm;
    Op op;
    Call call;
};

void PrintTo(const Kind& kind, std::ostream* out) {
    *out << kind.name;
}

const Kind kKinds[] = {
    {"driver_enum", true, Op::DriverEnum, Call::Malloc},
    {"driver_open", true, Op::DriverOpen, Call::Malloc},
    {"driver_close", true, Op::DriverClose, Call::Malloc},
    {"tag_enum", true, Op::TagEnum, Call::Malloc},
    {"format_enum", true, Op::FormatEnum, Call::Malloc},
    {"metrics", true, Op::Metrics, Call::Malloc},
    {"malloc", false, Op::DriverEnum, Call::Malloc},
    {"log_open", false, Op::DriverEnum, Call::LogOpen},
    {"log_write", false, Op::DriverEnum, Call::LogWrite},
    {"log_close", false, Op::DriverEnum, Call::LogClose},
};

class FaultSweep : public ::testing::TestWithParam<std::tuple<Kind, bool>> {
protected:
    void SetUp() override { std::filesystem::current_path(dir_.path()); }
    void TearDown() override { std::filesystem::current_path(kOrigin); }

    const std::filesystem::path kOrigin = std::filesystem::current_path();
    test_support::TempDir dir_;
    test_support::TempDir scratch_;
};

TEST_P(FaultSweep, LosesNothingThatMustSurviveAndLeaksNothing) {
    const Kind& kind = std::get<0>(GetParam());
    const bool persistent = std::get<1>(GetParam());
    std::string error;
    const scripted::Registry base = scripted::parse(kRegistry, &error);
    ASSERT_EQ("", error);

    int injectedRuns = 0;
    for (int nth = 1;; ++nth) {
        SCOPED_TRACE("failing call " + std::to_string(nth) + (persistent ? " and on" : ""));
        ASSERT_LT(nth, 1000) << "the sweep does not end";
        std::remove("acm.log");
        libc_faults::reset();
        scripted::Registry registry = base;
        std::vector<model::LibcFault> libcFaults;
        if (kind.acm) {
            registry.faults.push_back({kind.op, nth, persistent});
        } else {
            libcFaults.push_back({kind.call, nth, persistent});
            libc_faults::failNth(kind.call, nth, persistent);
        }

        const in_process::Outcome outcome = in_process::run(registry, scratch_.path());
        const model::Expected expected = model::predict(registry, libcFaults, ~std::size_t{0});

        EXPECT_EQ(0, outcome.status);
        EXPECT_EQ(expected.logExists ? expected.log : "<missing>", outcome.log);
        EXPECT_EQ(expected.out, outcome.out);
        EXPECT_EQ(expected.err, outcome.err);
        EXPECT_EQ(outcome.handles.opened, outcome.handles.closed) << outcome.trace;
        EXPECT_LE(outcome.handles.mostOnOneDriver, 2);
        EXPECT_EQ(0, outcome.handles.badCalls) << outcome.trace;
        EXPECT_EQ(0, outcome.libc.liveBlocks);
        EXPECT_EQ(0, outcome.libc.openFiles);

        const int injected = kind.acm ? outcome.handles.injected : outcome.libc.injected;
        if (injected == 0 || ::testing::Test::HasFailure()) {
            break;
        }
        ++injectedRuns;
    }
    EXPECT_GT(injectedRuns, 0) << "no call of this kind was ever made";
}

INSTANTIATE_TEST_SUITE_P(Kinds, FaultSweep,
                         ::testing::Combine(::testing::ValuesIn(kKinds), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<Kind, bool>>& param) {
                             return std::string(std::get<0>(param.param).name) +
                                    (std::get<1>(param.param) ? "_for_good" : "_once");
                         });

}  // namespace
