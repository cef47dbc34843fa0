#include "inventory_walk.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "inventory_log.h"

namespace {

const char kDriverOpenFailed[] = "failed on acmDriverOpen(did=0x%08" PRIxPTR ")" ACM_INVENTORY_EOL;
const char kMallocFailed[] = "failed on malloc(%" PRIu32 ")" ACM_INVENTORY_EOL;

bool hasCodecSupport(DWORD fdwSupport) {
    return (fdwSupport & ACMDRIVERDETAILS_SUPPORTF_CODEC) != 0;
}

// The size of the format buffer: the largest format of any installed driver,
// but never less than one WAVEFORMATEX, and only a size the ACM delivered.
DWORD formatBufferSize() {
    DWORD size = 0;
    const MMRESULT result = acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size);
    if (result != MMSYSERR_NOERROR || size < sizeof(WAVEFORMATEX)) {
        size = sizeof(WAVEFORMATEX);
    }
    return size;
}

}  // namespace

int takeInventory() {
    resetInventoryLog();
    acmDriverEnum(driverEnumCallback, 0, 0);
    return 0;
}

BOOL CALLBACK driverEnumCallback(HACMDRIVERID hadid, DWORD_PTR dwInstance, DWORD fdwSupport) {
    if (!hasCodecSupport(fdwSupport)) {
        return TRUE;
    }

    // Packed, so zeroing every member zeroes every byte.
    ACMFORMATTAGDETAILSA tagDetails{};
    tagDetails.cbStruct = sizeof tagDetails;

    HACMDRIVER driver = nullptr;
    if (acmDriverOpen(&driver, hadid, 0) != MMSYSERR_NOERROR) {
        return TRUE;
    }
    acmFormatTagEnumA(driver, &tagDetails, formatTagEnumCallback, dwInstance, 0);
    acmDriverClose(driver, 0);
    return TRUE;
}

BOOL CALLBACK formatTagEnumCallback(HACMDRIVERID hadid, ACMFORMATTAGDETAILSA* paftd,
                                    DWORD_PTR /*dwInstance*/, DWORD fdwSupport) {
    if (hasCodecSupport(fdwSupport) && paftd->cStandardFormats > 0 &&
        paftd->dwFormatTag > WAVE_FORMAT_PCM) {
        listTagFormats(hadid, paftd->dwFormatTag, paftd->szFormatTag);
    }
    return TRUE;
}

void listTagFormats(HACMDRIVERID hadid, DWORD dwFormatTag, const char* tagName) {
    HACMDRIVER driver = nullptr;
    if (acmDriverOpen(&driver, hadid, 0) != MMSYSERR_NOERROR) {
        std::fprintf(stderr, kDriverOpenFailed, reinterpret_cast<std::uintptr_t>(hadid));
        return;
    }

    const DWORD size = formatBufferSize();
    void* block = std::malloc(size);
    if (block == nullptr) {
        std::fprintf(stderr, kMallocFailed, size);
        acmDriverClose(driver, 0);
        return;
    }

    // Only the header is cleared; the rest of the block is the ACM's to fill.
    auto* format = static_cast<WAVEFORMATEX*>(block);
    std::memset(format, 0, sizeof *format);
    format->wFormatTag = static_cast<WORD>(dwFormatTag & 0xFFFFu);

    ACMFORMATDETAILSA query{};
    query.cbStruct = sizeof query;
    query.dwFormatTag = dwFormatTag;
    query.pwfx = format;
    query.cbwfx = size;

    acmFormatEnumA(driver, &query, formatEnumCallback, reinterpret_cast<DWORD_PTR>(tagName),
                   ACM_FORMATENUMF_WFORMATTAG);

    std::free(block);
    acmDriverClose(driver, 0);
}
