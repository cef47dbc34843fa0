#include "test_support.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace test_support {

TempDir::TempDir() {
    // create_directory() tells whether it made the folder, so a name that is
    // taken already is never shared.
    static std::mt19937_64 names{std::random_device{}()};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, "acm-inventory-%016llx",
                      static_cast<unsigned long long>(names()));
        if (std::filesystem::create_directory(base / name)) {
            path_ = (base / name).generic_string();
            return;
        }
    }
    throw std::runtime_error("no fresh temporary folder in " + base.string());
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

std::string caseName(std::string what) {
    for (char& c : what) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return what;
}

namespace {

// A driver's text as a text stream writes it: on Windows every LF byte in it
// becomes CR LF, as the line ends do; elsewhere it is written unchanged.
std::string asWritten(const std::string& text) {
#ifdef _WIN32
    std::string written;
    for (const char c : text) {
        written += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return written;
#else
    return text;
#endif
}

}  // namespace

std::string driverLine(std::uintptr_t did, const std::string& name) {
    char head[64];
    std::snprintf(head, sizeof head, "did=0x%08" PRIxPTR ", name=", did);
    return head + asWritten(name) + "\r\n";
}

std::string formatLine(std::uint32_t tag, std::uint32_t index, const std::string& description) {
    char head[64];
    std::snprintf(head, sizeof head, "  tag=0x%04" PRIx32 ", idx=0x%08" PRIx32 ", [", tag, index);
    return head + asWritten(description) + "]\r\n";
}

std::string record(std::uintptr_t did, const std::string& name, std::uint32_t tag,
                   std::uint32_t index, const std::string& description) {
    return driverLine(did, name) + formatLine(tag, index, description);
}

}  // namespace test_support
