// A small model of what the inventory must write for a scripted registry,
// written straight from the registry and the faults rather than through the
// ACM's callbacks: the records that must reach the log or standard output,
// and the messages that must reach standard error.
#ifndef ACM_INVENTORY_TESTS_MODEL_H
#define ACM_INVENTORY_TESTS_MODEL_H

#include <cstddef>
#include <string>
#include <vector>

#include "libc_faults.h"
#include "scripted_acm.h"

namespace model {

struct LibcFault {
    libc_faults::Call call;
    int nth;
    bool persistent;
};

struct Expected {
    bool logExists = false;  // the run starts with no acm.log
    std::string log;
    std::string out;
    std::string err;
};

// registry.faults are the ACM's faults; libcFaults those of the C library;
// allocations above mallocLimit bytes fail as well.
Expected predict(const scripted::Registry& registry, const std::vector<LibcFault>& libcFaults,
                 std::size_t mallocLimit);

}  // namespace model

#endif  // ACM_INVENTORY_TESTS_MODEL_H
