// Helpers shared by the tests: temporary working directories, whole-file
// reads and the record texts that the program writes.
#ifndef ACM_INVENTORY_TESTS_TEST_SUPPORT_H
#define ACM_INVENTORY_TESTS_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

// A fresh directory under the system's temporary folder, removed with all it
// holds when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A GoogleTest name for a case described by what: every character other
// than a letter or a digit becomes '_'.
std::string caseName(std::string what);

// The file's bytes; "<missing>" if it cannot be read.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

#ifndef _WIN32
struct Spawn {
    std::vector<std::string> argv;  // the program's path first
    std::string cwd;
    std::vector<std::pair<std::string, std::string>> env;  // set on top of this process's
    unsigned long long addressSpace = 0;                   // bytes; 0 sets no limit
};

struct SpawnResult {
    int status = -1;  // the exit status, or -1 if the process did not exit
    std::string out;
    std::string err;
    long peakResidentKiB = 0;  // the process's largest resident set
};

// Runs a program (found on PATH if argv[0] has no slash) to its end with standard output and error
// sent to files and returns what it wrote. An address-space limit is set with setrlimit; in a build
// with AddressSanitizer, which reserves more address space than any such limit, the sanitizer's own
// allocation cap is set instead.
SpawnResult spawn(const Spawn& spawn);
#endif

// The two lines of a record as the program writes them, CR LF line ends
// included, each built from its parts: name and description are any bytes
// (on Windows, where the log is a text stream, an LF byte in them is written
// as CR LF).
std::string driverLine(std::uintptr_t did, const std::string& name);
std::string formatLine(std::uint32_t tag, std::uint32_t index, const std::string& description);

// One record: its driver line, then its format line.
std::string record(std::uintptr_t did, const std::string& name, std::uint32_t tag,
                   std::uint32_t index, const std::string& description);

}  // namespace test_support

#endif  // ACM_INVENTORY_TESTS_TEST_SUPPORT_H
