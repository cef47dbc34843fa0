#include "inventory_log.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>

namespace {

const char kLogName[] = "acm.log";

// The driver identifier is a handle: at least eight digits, and every digit a
// 64-bit handle needs.
const char kDriverLine[] = "did=0x%08" PRIxPTR ", name=%.*s" ACM_INVENTORY_EOL;
const char kFormatLine[] = "  tag=0x%04" PRIx32 ", idx=0x%08" PRIx32 ", [%.*s]" ACM_INVENTORY_EOL;

// Drivers may fill a text field to its end without a terminating zero, so
// texts are never read beyond their fields.
constexpr int kTagNameChars = static_cast<int>(ACMFORMATTAGDETAILS_FORMATTAG_CHARS);
constexpr int kFormatChars = static_cast<int>(ACMFORMATDETAILS_FORMAT_CHARS);

// Writes the record's two lines to out, the format line only if the driver
// line was accepted. Returns true if out accepted both; whether they reach
// the file is known only when out is closed.
bool writeRecord(std::FILE* out, HACMDRIVERID hadid, const ACMFORMATDETAILSA& details,
                 const char* tagName) {
    return std::fprintf(out, kDriverLine, reinterpret_cast<std::uintptr_t>(hadid), kTagNameChars,
                        tagName) >= 0 &&
           std::fprintf(out, kFormatLine, details.dwFormatTag, details.dwFormatIndex, kFormatChars,
                        details.szFormat) >= 0;
}

}  // namespace

void resetInventoryLog() {
    std::FILE* log = std::fopen(kLogName, "w");
    if (log != nullptr) {
        std::fclose(log);
    }
}

BOOL CALLBACK formatEnumCallback(HACMDRIVERID hadid, ACMFORMATDETAILSA* pafd, DWORD_PTR dwInstance,
                                 DWORD fdwSupport) {
    const char* tagName = reinterpret_cast<const char*>(dwInstance);
    const bool listed =
        (fdwSupport & (ACMDRIVERDETAILS_SUPPORTF_CODEC | ACMDRIVERDETAILS_SUPPORTF_CONVERTER)) != 0;

    // The log is opened for every record, listed or not, and never held open
    // between records.
    bool logged = false;
    std::FILE* log = std::fopen(kLogName, "a");
    if (log != nullptr) {
        logged = !listed || writeRecord(log, hadid, *pafd, tagName);
        // Buffered lines reach the file only here; a full disk shows up now.
        if (std::fclose(log) != 0) {
            logged = false;
        }
    }
    if (listed && !logged) {
        writeRecord(stdout, hadid, *pafd, tagName);
    }
    return TRUE;
}
