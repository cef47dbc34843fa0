#include "in_process.h"

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

#include <cstdio>

#include "inventory_walk.h"
#include "test_support.h"

namespace in_process {
namespace {

#ifdef _WIN32
// The C runtime's descriptors; a file opened this way is a text file, as
// standard output and error are, so "\n" reaches it as CR LF.
int openForWriting(const char* path) {
    return _open(path, _O_WRONLY | _O_CREAT | _O_TRUNC, _S_IREAD | _S_IWRITE);
}
int duplicate(int fd) {
    return _dup(fd);
}
int redirect(int from, int to) {
    return _dup2(from, to);
}
int closeDescriptor(int fd) {
    return _close(fd);
}
#else
int openForWriting(const char* path) {
    return open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
}
int duplicate(int fd) {
    return dup(fd);
}
int redirect(int from, int to) {
    return dup2(from, to);
}
int closeDescriptor(int fd) {
    return close(fd);
}
#endif

// Runs fn with file descriptor fd (1 or 2) sent to path; returns what was
// written there.
template <typename Fn>
std::string captured(int fd, const std::string& path, Fn fn) {
    std::fflush(nullptr);
    const int saved = duplicate(fd);
    const int target = openForWriting(path.c_str());
    redirect(target, fd);
    closeDescriptor(target);
    fn();
    std::fflush(nullptr);
    redirect(saved, fd);
    closeDescriptor(saved);
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
