// An independent account of what acm-inventory must list, taken from the ACM
// by another road: driver details give each driver's tag count, and tags and
// formats are asked for by index (acmFormatTagDetailsA, acmFormatDetailsA)
// instead of being enumerated. Prints one record per format in the
// inventory's format, to standard output.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "acm/acm.h"
#include "driver_details.h"

namespace {

constexpr DWORD ACM_FORMATTAGDETAILSF_INDEX = 0x00000000;
constexpr DWORD ACM_FORMATDETAILSF_INDEX = 0x00000000;

}  // namespace

extern "C" {
MMRESULT WINAPI acmDriverDetailsA(HACMDRIVERID hadid, DriverDetailsHead* padd, DWORD fdwDetails);
MMRESULT WINAPI acmFormatTagDetailsA(HACMDRIVER had, ACMFORMATTAGDETAILSA* paftd, DWORD fdwDetails);
MMRESULT WINAPI acmFormatDetailsA(HACMDRIVER had, ACMFORMATDETAILSA* pafd, DWORD fdwDetails);
}

namespace {

void listFormats(HACMDRIVERID hadid, HACMDRIVER had, const ACMFORMATTAGDETAILSA& tag,
                 DWORD bufferSize) {
    WAVEFORMATEX* format = static_cast<WAVEFORMATEX*>(std::calloc(1, bufferSize));
    for (DWORD index = 0; index < tag.cStandardFormats; ++index) {
        std::memset(format, 0, bufferSize);
        format->wFormatTag = static_cast<WORD>(tag.dwFormatTag);
        ACMFORMATDETAILSA details;
        std::memset(&details, 0, sizeof details);
        details.cbStruct = sizeof details;
        details.dwFormatIndex = index;
        details.dwFormatTag = tag.dwFormatTag;
        details.pwfx = format;
        details.cbwfx = bufferSize;
        if (acmFormatDetailsA(had, &details, ACM_FORMATDETAILSF_INDEX) != MMSYSERR_NOERROR) {
            std::printf("oracle: no format %" PRIu32 " of tag 0x%" PRIx32 "\n", index,
                        tag.dwFormatTag);
            continue;
        }
        if ((details.fdwSupport &
             (ACMDRIVERDETAILS_SUPPORTF_CODEC | ACMDRIVERDETAILS_SUPPORTF_CONVERTER)) == 0) {
            continue;
        }
        std::printf("did=0x%08" PRIxPTR ", name=%.48s\n  tag=0x%04" PRIx32 ", idx=0x%08" PRIx32
                    ", [%.128s]\n",
                    reinterpret_cast<std::uintptr_t>(hadid), tag.szFormatTag, details.dwFormatTag,
                    details.dwFormatIndex, details.szFormat);
    }
    std::free(format);
}

BOOL CALLBACK listDriver(HACMDRIVERID hadid, DWORD_PTR bufferSize, DWORD fdwSupport) {
    if ((fdwSupport & ACMDRIVERDETAILS_SUPPORTF_CODEC) == 0) {
        return TRUE;
    }
    DriverDetailsHead driver;
    std::memset(&driver, 0, sizeof driver);
    driver.cbStruct = sizeof driver;
    HACMDRIVER had = nullptr;
    if (acmDriverDetailsA(hadid, &driver, 0) != MMSYSERR_NOERROR ||
        acmDriverOpen(&had, hadid, 0) != MMSYSERR_NOERROR) {
        std::printf("oracle: driver 0x%" PRIxPTR " unavailable\n",
                    reinterpret_cast<std::uintptr_t>(hadid));
        return TRUE;
    }
    for (DWORD index = 0; index < driver.cFormatTags; ++index) {
        ACMFORMATTAGDETAILSA tag;
        std::memset(&tag, 0, sizeof tag);
        tag.cbStruct = sizeof tag;
        tag.dwFormatTagIndex = index;
        if (acmFormatTagDetailsA(had, &tag, ACM_FORMATTAGDETAILSF_INDEX) == MMSYSERR_NOERROR &&
            (tag.fdwSupport & ACMDRIVERDETAILS_SUPPORTF_CODEC) != 0 && tag.dwFormatTag > 1 &&
            tag.cStandardFormats > 0) {
            listFormats(hadid, had, tag, static_cast<DWORD>(bufferSize));
        }
    }
    acmDriverClose(had, 0);
    return TRUE;
}

}  // namespace

int main() {
    DWORD bufferSize = 0;
    if (acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &bufferSize) != MMSYSERR_NOERROR ||
        bufferSize < sizeof(WAVEFORMATEX)) {
        std::printf("oracle: no maximum format size\n");
        return 1;
    }
    acmDriverEnum(listDriver, bufferSize, 0);
    return 0;
}
