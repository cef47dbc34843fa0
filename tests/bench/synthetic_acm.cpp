#include "synthetic_acm.h"

#include <cstring>

#include "acm/acm.h"
#include "synthetic_records.h"

namespace {

unsigned gDrivers = 10;
unsigned gTags = 10;
unsigned gFormats = 10;

// A handle is the driver's number plus one.
unsigned driverOf(HACMDRIVER had) {
    return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(had) - 1);
}

}  // namespace

namespace synthetic {

void configure(unsigned drivers, unsigned tags, unsigned formats) {
    gDrivers = drivers;
    gTags = tags;
    gFormats = formats;
}

}  // namespace synthetic

extern "C" {

MMRESULT WINAPI acmDriverEnum(ACMDRIVERENUMCB fnCallback, DWORD_PTR dwInstance, DWORD /*fdwEnum*/) {
    for (unsigned driver = 0; driver < gDrivers; ++driver) {
        if (!fnCallback(reinterpret_cast<HACMDRIVERID>(synthetic_driver_id(driver)), dwInstance,
                        ACMDRIVERDETAILS_SUPPORTF_CODEC)) {
            break;
        }
    }
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmDriverOpen(HACMDRIVER* phad, HACMDRIVERID hadid, DWORD /*fdwOpen*/) {
    const std::uintptr_t id = reinterpret_cast<std::uintptr_t>(hadid);
    *phad = reinterpret_cast<HACMDRIVER>((id - synthetic_driver_id(0)) / 0x100u + 1);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmDriverClose(HACMDRIVER /*had*/, DWORD /*fdwClose*/) {
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmFormatTagEnumA(HACMDRIVER had, ACMFORMATTAGDETAILSA* paftd,
                                  ACMFORMATTAGENUMCBA fnCallback, DWORD_PTR dwInstance,
                                  DWORD /*fdwEnum*/) {
    const HACMDRIVERID id = reinterpret_cast<HACMDRIVERID>(synthetic_driver_id(driverOf(had)));
    for (unsigned tag = 0; tag < gTags; ++tag) {
        paftd->dwFormatTagIndex = tag;
        paftd->dwFormatTag = synthetic_tag(tag);
        paftd->cbFormatSize = sizeof(WAVEFORMATEX);
        paftd->fdwSupport = ACMDRIVERDETAILS_SUPPORTF_CODEC;
        paftd->cStandardFormats = gFormats;
        synthetic_tag_name(tag, paftd->szFormatTag);
        if (!fnCallback(id, paftd, dwInstance, ACMDRIVERDETAILS_SUPPORTF_CODEC)) {
            break;
        }
    }
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmFormatEnumA(HACMDRIVER had, ACMFORMATDETAILSA* pafd, ACMFORMATENUMCBA fnCallback,
                               DWORD_PTR dwInstance, DWORD /*fdwEnum*/) {
    const HACMDRIVERID id = reinterpret_cast<HACMDRIVERID>(synthetic_driver_id(driverOf(had)));
    const WORD tag = pafd->pwfx->wFormatTag;
    for (unsigned format = 0; format < gFormats; ++format) {
        pafd->dwFormatIndex = format;
        pafd->dwFormatTag = tag;
        pafd->fdwSupport = ACMDRIVERDETAILS_SUPPORTF_CODEC;
        synthetic_format_description(format, pafd->szFormat);
        std::memset(pafd->pwfx, 0, sizeof(WAVEFORMATEX));
        pafd->pwfx->wFormatTag = tag;
        if (!fnCallback(id, pafd, dwInstance, ACMDRIVERDETAILS_SUPPORTF_CODEC)) {
            break;
        }
    }
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmMetrics(HACMOBJ /*hao*/, UINT /*uMetric*/, void* pMetric) {
    const DWORD size = sizeof(WAVEFORMATEX);
    std::memcpy(pMetric, &size, sizeof size);
    return MMSYSERR_NOERROR;
}

}  // extern "C"
