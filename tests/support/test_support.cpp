#include "test_support.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace test_support {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "acm-inventory-XXXXXX").string();
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

std::string record(std::uintptr_t did, const std::string& name, std::uint32_t tag,
                   std::uint32_t index, const std::string& description) {
    char head[64];
    std::snprintf(head, sizeof head, "did=0x%08" PRIxPTR ", name=", did);
    char tail[64];
    std::snprintf(tail, sizeof tail, "  tag=0x%04" PRIx32 ", idx=0x%08" PRIx32 ", [", tag, index);
    return head + name + "\r\n" + tail + description + "]\r\n";
}

}  // namespace test_support
