#include "model.h"

#include <cinttypes>
#include <cstdio>
#include <map>

#include "fault_rule.h"
#include "test_support.h"

namespace model {
namespace {

using scripted::Driver;
using scripted::Op;
using scripted::Tag;

// Counts calls by kind and tells which ones the faults fail.
class Faults {
public:
    Faults(const scripted::Registry& registry, const std::vector<LibcFault>& libc)
        : registry_(registry), libc_(libc) {}

    bool fails(Op op) {
        const int count = ++acmCalls_[static_cast<int>(op)];
        for (const scripted::Fault& fault : registry_.faults) {
            if (fault.op == op && faultFires(fault.nth, fault.persistent, count)) {
                return true;
            }
        }
        return false;
    }

    bool fails(libc_faults::Call call) {
        const int count = ++libcCalls_[static_cast<int>(call)];
        for (const LibcFault& fault : libc_) {
            if (fault.call == call && faultFires(fault.nth, fault.persistent, count)) {
                return true;
            }
        }
        return false;
    }

private:
    const scripted::Registry& registry_;
    const std::vector<LibcFault>& libc_;
    int acmCalls_[6] = {};
    int libcCalls_[4] = {};
};

// A text field as the program prints it: up to the first zero byte, and no
// further than the field.
std::string field(const std::string& text, std::size_t size) {
    const std::string bounded = text.substr(0, size);
    return bounded.substr(0, bounded.find('\0'));
}

std::string hexDid(std::uintptr_t id) {
    char text[32];
    std::snprintf(text, sizeof text, "%08" PRIxPTR, id);
    return text;
}

struct Run {
    Faults faults;
    Expected expected;

    void writeRecord(const Driver& driver, const std::string& name, const scripted::Format& format,
                     DWORD tag, std::size_t index) {
        const std::uintptr_t did = driver.id;
        // Each line from its parts: the texts may hold CR, LF or anything else.
        const std::string driverLine = test_support::driverLine(did, field(name, 48));
        const std::string record =
            driverLine + test_support::formatLine(tag, static_cast<std::uint32_t>(index),
                                                  field(format.description, 128));
        // The writer goes by the flags it is handed, not by the record's.
        const bool listed = (format.handedSupport.value_or(driver.support) & 3u) != 0;

        if (faults.fails(libc_faults::Call::LogOpen)) {
            if (listed) {
                expected.out += record;
            }
            return;
        }
        expected.logExists = true;
        bool logged = true;
        if (listed) {
            if (faults.fails(libc_faults::Call::LogWrite)) {
                logged = false;
            } else if (faults.fails(libc_faults::Call::LogWrite)) {
                expected.log += driverLine;
                logged = false;
            } else {
                expected.log += record;
            }
        }
        // A close that fails has still written what was buffered.
        if (faults.fails(libc_faults::Call::LogClose)) {
            logged = false;
        }
        if (listed && !logged) {
            expected.out += record;
        }
    }
};

const Driver& firstWithId(const scripted::Registry& registry, std::uintptr_t id) {
    for (const Driver& driver : registry.drivers) {
        if (driver.id == id) {
            return driver;
        }
    }
    return registry.drivers.front();
}

}  // namespace

Expected predict(const scripted::Registry& registry, const std::vector<LibcFault>& libcFaults,
                 std::size_t mallocLimit) {
    Run run{Faults(registry, libcFaults), Expected()};

    if (!run.faults.fails(libc_faults::Call::LogOpen)) {
        run.expected.logExists = true;
        run.faults.fails(libc_faults::Call::LogClose);
    }
    if (run.faults.fails(Op::DriverEnum)) {
        return run.expected;
    }
    for (const Driver& listed : registry.drivers) {
        if ((listed.support & 1u) == 0) {
            continue;
        }
        // An identifier opens the first driver that has it.
        const Driver& driver = firstWithId(registry, listed.id);
        if (run.faults.fails(Op::DriverOpen) || driver.refuseFirstOpen) {
            continue;
        }
        if (!run.faults.fails(Op::TagEnum)) {
            for (const Tag& tag : driver.tags) {
                if ((tag.handedSupport.value_or(driver.support) & 1u) == 0 ||
                    tag.standardFormats == 0 || tag.tag <= 1) {
                    continue;
                }
                if (run.faults.fails(Op::DriverOpen) || driver.refuseSecondOpen) {
                    run.expected.err +=
                        "failed on acmDriverOpen(did=0x" + hexDid(driver.id) + ")\r\n";
                    continue;
                }
                const bool metricsFailed =
                    run.faults.fails(Op::Metrics) || registry.metricsResult != 0;
                const DWORD size =
                    metricsFailed || registry.maxFormatSize < 18 ? 18 : registry.maxFormatSize;
                if (run.faults.fails(libc_faults::Call::Malloc) || size > mallocLimit) {
                    run.expected.err += "failed on malloc(" + std::to_string(size) + ")\r\n";
                    run.faults.fails(Op::DriverClose);
                    continue;
                }
                if (!run.faults.fails(Op::FormatEnum)) {
                    // The ACM lists every format whose tag has the same low 16 bits.
                    for (const Tag& other : driver.tags) {
                        if ((other.tag & 0xFFFFu) != (tag.tag & 0xFFFFu)) {
                            continue;
                        }
                        for (std::size_t index = 0; index < other.formats.size(); ++index) {
                            run.writeRecord(driver, tag.name, other.formats[index], other.tag,
                                            index);
                        }
                    }
                }
                run.faults.fails(Op::DriverClose);
            }
        }
        run.faults.fails(Op::DriverClose);
    }
    return run.expected;
}

}  // namespace model
