// Runs a program to its end with its standard output and error sent to files
// (POSIX only: the tests that start processes run on the build host).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "test_support.h"

namespace test_support {

SpawnResult spawn(const Spawn& spawn) {
    TempDir scratch;
    std::vector<std::string> argv = spawn.argv;
    std::vector<char*> args;
    for (std::string& argument : argv) {
        args.push_back(argument.data());
    }
    args.push_back(nullptr);
    std::string asanOptions;
    if (spawn.addressSpace != 0) {
        const char* inherited = getenv("ASAN_OPTIONS");
        asanOptions = std::string(inherited != nullptr ? inherited : "") +
                      ":allocator_may_return_null=1:max_allocation_size_mb=" +
                      std::to_string(spawn.addressSpace >> 20) +
                      ":log_path=" + scratch.file("asan");
    }

    const pid_t child = fork();
    if (child == 0) {
        const int out = open(scratch.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(scratch.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
            chdir(spawn.cwd.c_str()) != 0) {
            _exit(126);
        }
        for (const auto& variable : spawn.env) {
            setenv(variable.first.c_str(), variable.second.c_str(), 1);
        }
        if (spawn.addressSpace != 0) {
#ifdef __SANITIZE_ADDRESS__
            // The sanitizer's warning about the failed allocation goes to a
            // file of its own, off standard error.
            setenv("ASAN_OPTIONS", asanOptions.c_str(), 1);
#else
            const rlimit limit = {spawn.addressSpace, spawn.addressSpace};
            if (setrlimit(RLIMIT_AS, &limit) != 0) {
                _exit(126);
            }
#endif
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    int wait = 0;
    rusage usage = {};
    wait4(child, &wait, 0, &usage);
    SpawnResult result;
    result.peakResidentKiB = usage.ru_maxrss;
    result.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    result.out = readFile(scratch.file("out"));
    result.err = readFile(scratch.file("err"));
    return result;
}

}  // namespace test_support
