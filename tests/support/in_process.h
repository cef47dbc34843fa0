// Runs the whole inventory in this process on the scripted ACM, in the
// current working directory, capturing what it writes.
#ifndef ACM_INVENTORY_TESTS_IN_PROCESS_H
#define ACM_INVENTORY_TESTS_IN_PROCESS_H

#include <string>

#include "libc_faults.h"
#include "scripted_acm.h"

namespace in_process {

struct Outcome {
    int status = -1;
    std::string log;  // "<missing>" if there is no acm.log
    std::string out;
    std::string err;
    std::string trace;
    scripted::HandleReport handles;
    libc_faults::Report libc;
};

// Installs registry in the scripted ACM and runs takeInventory(), with
// standard output and error sent through files in scratchDir. The C library
// faults armed since the last libc_faults::reset() apply to the run; they are
// disarmed and their counts cleared when it is over (outcome.libc has them).
Outcome run(const scripted::Registry& registry, const std::string& scratchDir);

}  // namespace in_process

#endif  // ACM_INVENTORY_TESTS_IN_PROCESS_H
