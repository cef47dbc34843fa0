#include "in_process.h"

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>  // the POSIX names of the C runtime's descriptor calls
#else
#include <unistd.h>
#endif

#include <cstdio>

#include "inventory_walk.h"
#include "test_support.h"

namespace in_process {
namespace {

// Runs fn with file descriptor fd (1 or 2) sent to path; returns what was
// written there.
template <typename Fn>
std::string captured(int fd, const std::string& path, Fn fn) {
    std::fflush(nullptr);
    const int saved = dup(fd);
    // On Windows the file is opened in text mode, as standard output and
    // error are, so "\n" reaches it as CR LF.
    const int target = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(target, fd);
    close(target);
    fn();
    std::fflush(nullptr);
    dup2(saved, fd);
    close(saved);
    return test_support::readFile(path);
}

}  // namespace

Outcome run(const scripted::Registry& registry, const std::string& scratchDir) {
    scripted::install(registry);
    // Frees of format buffers show in the trace, among the ACM calls.
    libc_faults::observeFrees(scripted::noteFree);
    Outcome outcome;
    outcome.err = captured(2, scratchDir + "/err", [&] {
        outcome.out = captured(1, scratchDir + "/out", [&] { outcome.status = takeInventory(); });
    });
    outcome.log = test_support::readFile("acm.log");
    outcome.trace = scripted::trace();
    outcome.handles = scripted::handles();
    outcome.libc = libc_faults::report();
    // Disarmed, so that no later allocation or file of the test process fails.
    libc_faults::reset();
    return outcome;
}

}  // namespace in_process
