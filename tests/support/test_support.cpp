#include "test_support.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace test_support {

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "acm-inventory-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return "<missing>";
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

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

std::string record(std::uintptr_t did, const std::string& name, std::uint32_t tag,
                   std::uint32_t index, const std::string& description) {
    char head[64];
    std::snprintf(head, sizeof head, "did=0x%08" PRIxPTR ", name=", did);
    char tail[64];
    std::snprintf(tail, sizeof tail, "  tag=0x%04" PRIx32 ", idx=0x%08" PRIx32 ", [", tag, index);
    return head + name + "\r\n" + tail + description + "]\r\n";
}

}  // namespace test_support
