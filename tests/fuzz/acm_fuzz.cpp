// Coverage-guided fuzzing of the inventory: the input bytes describe an ACM
// (drivers, tags and formats with any values and texts, refused opens, odd
// acmMetrics results) and the C library faults of the run. The real walk and
// log run on it in process; the run must write exactly what the model says,
// close every driver handle, free every block and never touch memory it does
// not own (AddressSanitizer and UndefinedBehaviorSanitizer watch that).
#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/in_process.h"
#include "support/model.h"
#include "support/test_support.h"

namespace {

// Allocations above this fail, as they would in a small address space.
constexpr std::size_t kAllocationLimit = std::size_t{1} << 24;

test_support::TempDir* gWorkDir = nullptr;
test_support::TempDir* gScratch = nullptr;
int gOrigin = -1;  // libFuzzer's working directory, where its corpus paths lead

const DWORD kMetricSizes[] = {50, 0, 1, 17, 18, 19, 0xFFFFFFFFu, 0x80000000u, 1u << 24};

std::string text(FuzzedDataProvider& in, std::size_t longest) {
    return in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(0, longest));
}

scripted::Registry decode(FuzzedDataProvider& in, std::vector<model::LibcFault>* libcFaults) {
    scripted::Registry registry;
    registry.metricsResult = in.ConsumeBool() ? 0 : in.ConsumeIntegral<MMRESULT>();
    const std::size_t size = in.ConsumeIntegralInRange<std::size_t>(0, 9);
    registry.maxFormatSize = size < 9 ? kMetricSizes[size] : in.ConsumeIntegral<DWORD>();

    const int faultCount = in.ConsumeIntegralInRange(0, 2);
    for (int i = 0; i < faultCount; ++i) {
        const int kind = in.ConsumeIntegralInRange(0, 9);
        const int nth = in.ConsumeIntegralInRange(1, 40);
        const bool persistent = in.ConsumeBool();
        if (kind < 6) {
            registry.faults.push_back({static_cast<scripted::Op>(kind), nth, persistent});
        } else {
            libcFaults->push_back({static_cast<libc_faults::Call>(kind - 6), nth, persistent});
        }
    }

    const int driverCount = in.ConsumeIntegralInRange(0, 4);
    for (int d = 0; d < driverCount; ++d) {
        scripted::Driver driver;
        // Small identifiers make duplicates likely; any value is possible.
        driver.id = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::uintptr_t>(0, 3)
                                     : in.ConsumeIntegral<std::uintptr_t>();
        driver.support = in.ConsumeIntegral<DWORD>();
        driver.refuseFirstOpen = in.ConsumeBool();
        driver.refuseSecondOpen = in.ConsumeBool();
        const int tagCount = in.ConsumeIntegralInRange(0, 4);
        for (int t = 0; t < tagCount; ++t) {
            scripted::Tag tag;
            tag.tag = in.ConsumeIntegral<DWORD>();
            tag.support = in.ConsumeIntegral<DWORD>();
            tag.standardFormats = in.ConsumeIntegral<DWORD>();
            tag.name = text(in, 60);
            const int formatCount = in.ConsumeIntegralInRange(0, 4);
            for (int f = 0; f < formatCount; ++f) {
                scripted::Format format;
                format.support = in.ConsumeIntegral<DWORD>();
                format.description = text(in, 140);
                tag.formats.push_back(format);
            }
            driver.tags.push_back(tag);
        }
        registry.drivers.push_back(driver);
    }

    // What the callbacks are handed in place of the driver's flags, decided
    // last so that an input written before this choice existed still reads
    // as the same registry, handed the driver's flags as real managers do.
    for (scripted::Driver& driver : registry.drivers) {
        for (scripted::Tag& tag : driver.tags) {
            if (in.ConsumeBool()) {
                tag.handedSupport = in.ConsumeIntegral<DWORD>();
            }
            for (scripted::Format& format : tag.formats) {
                if (in.ConsumeBool()) {
                    format.handedSupport = in.ConsumeIntegral<DWORD>();
                }
            }
        }
    }
    return registry;
}

// The input under test, for the report of a finding.
const std::uint8_t* gInput = nullptr;
std::size_t gInputSize = 0;

// Output bytes made readable: CR and LF shown as \r and \n (a line break
// follows \n), other bytes outside printable ASCII as \xNN.
std::string visible(const std::string& bytes) {
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            text += "\\r";
        } else if (c == '\n') {
            text += "\\n\n";
        } else if (c == '\\') {
            text += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7f) {
            text += c;
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            text += escaped;
        }
    }
    return text;
}

std::string base64(const std::uint8_t* data, std::size_t size) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t at = 0; at < size; at += 3) {
        std::uint32_t group = static_cast<std::uint32_t>(data[at]) << 16;
        if (at + 1 < size) {
            group |= static_cast<std::uint32_t>(data[at + 1]) << 8;
        }
        if (at + 2 < size) {
            group |= data[at + 2];
        }
        text += kDigits[(group >> 18) & 63];
        text += kDigits[(group >> 12) & 63];
        text += at + 1 < size ? kDigits[(group >> 6) & 63] : '=';
        text += at + 2 < size ? kDigits[group & 63] : '=';
    }
    return text;
}

// Reports a finding with what is needed to replay it, and stops.
[[noreturn]] void fail(const char* what, const std::string& expected, const std::string& actual) {
    std::fprintf(stderr,
                 "acm_fuzz: %s differs\n--- expected\n%s\n--- actual\n%s\n"
                 "--- input (%zu bytes, base64; replay: echo <base64> | base64 -d > input, then "
                 "run the harness or fuzz_replay on that file)\n%s\n",
                 what, visible(expected).c_str(), visible(actual).c_str(), gInputSize,
                 base64(gInput, gInputSize).c_str());
    std::abort();
}

void expectSame(const char* what, const std::string& expected, const std::string& actual) {
    if (expected != actual) {
        fail(what, expected, actual);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    gWorkDir = new test_support::TempDir();
    gScratch = new test_support::TempDir();
    std::atexit([] {
        delete gWorkDir;
        delete gScratch;
    });
    gOrigin = open(".", O_RDONLY | O_DIRECTORY);
    return gOrigin < 0 ? -1 : 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gInput = data;
    gInputSize = size;
    FuzzedDataProvider in(data, size);
    std::vector<model::LibcFault> libcFaults;
    const scripted::Registry registry = decode(in, &libcFaults);

    if (chdir(gWorkDir->path().c_str()) != 0) {
        std::abort();
    }
    std::remove("acm.log");
    libc_faults::reset();
    libc_faults::limitAllocations(kAllocationLimit);
    for (const model::LibcFault& fault : libcFaults) {
        libc_faults::failNth(fault.call, fault.nth, fault.persistent);
    }
    const in_process::Outcome outcome = in_process::run(registry, gScratch->path());
    const model::Expected expected = model::predict(registry, libcFaults, kAllocationLimit);
    if (fchdir(gOrigin) != 0) {
        std::abort();
    }

    expectSame("acm.log", expected.logExists ? expected.log : "<missing>", outcome.log);
    expectSame("standard output", expected.out, outcome.out);
    expectSame("standard error", expected.err, outcome.err);
    if (outcome.status != 0) {
        fail("exit status", "0", std::to_string(outcome.status));
    }
    if (outcome.handles.opened != outcome.handles.closed || outcome.handles.mostOnOneDriver > 2 ||
        outcome.handles.badCalls != 0) {
        fail("handles", "all closed, at most two on a driver, no bad call", outcome.trace);
    }
    if (outcome.libc.liveBlocks != 0) {
        fail("heap blocks", "0", std::to_string(outcome.libc.liveBlocks));
    }
    if (outcome.libc.openFiles != 0) {
        fail("open files", "0", std::to_string(outcome.libc.openFiles));
    }
    return 0;
}
