// A stand-in Audio Compression Manager for hosts that have none. It is built
// as a shared library of its own, so that the program resolves the six
// operations through the dynamic linker and any other implementation can take
// its place at run time.
//
// Its drivers model a typical installation: a converter-only PCM driver, four
// codec drivers that each offer PCM beside their compressed tags, and a
// decoder whose tag has no standard formats. It keeps the ACM's contract:
// callbacks run synchronously, a callback returning FALSE ends its
// enumeration, unknown handles and short records are refused, and no more
// than cbwfx bytes are written to a format buffer.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "acm/acm.h"

namespace {

constexpr DWORD kCodec = ACMDRIVERDETAILS_SUPPORTF_CODEC;
constexpr DWORD kConverter = ACMDRIVERDETAILS_SUPPORTF_CONVERTER;

constexpr DWORD kRates[] = {8000, 11025, 22050, 44100};
constexpr std::size_t kRateCount = sizeof kRates / sizeof kRates[0];

// A format tag and the standard formats the stand-in offers for it: every
// rate of kRates, for each bit depth in bits (a 0 ends the list; a tag whose
// first depth is 0 has one format per rate and channel count), for 1 up to
// maxChannels channels. A tag with maxChannels 0 has no standard formats.
struct StandinTag {
    DWORD tag;
    const char* name;
    DWORD formatSize;  // bytes of one format of this tag, header included
    WORD bits[2];
    WORD maxChannels;
    WORD blockAlign;  // per channel; 0 for PCM-like tags, where it follows from bits
};

struct StandinDriver {
    std::uintptr_t id;
    DWORD support;
    const StandinTag* tags;
    std::size_t tagCount;
};

constexpr StandinTag kPcm = {WAVE_FORMAT_PCM, "PCM", 18, {8, 16}, 2, 0};

constexpr StandinTag kConverterTags[] = {kPcm};
constexpr StandinTag kImaAdpcmTags[] = {kPcm, {0x0011, "IMA ADPCM", 20, {4, 0}, 2, 256}};
constexpr StandinTag kAdpcmTags[] = {kPcm, {0x0002, "ADPCM", 50, {4, 0}, 2, 256}};
constexpr StandinTag kG711Tags[] = {
    kPcm, {0x0006, "CCITT A-Law", 18, {8, 0}, 2, 0}, {0x0007, "CCITT u-Law", 18, {8, 0}, 2, 0}};
constexpr StandinTag kGsmTags[] = {kPcm, {0x0031, "GSM 6.10", 20, {0, 0}, 1, 65}};
// A decoder: it converts its tag to PCM but lists no standard formats of it.
constexpr StandinTag kMpegTags[] = {{0x0055, "MPEG Layer-3", 30, {0, 0}, 0, 0}, kPcm};

template <std::size_t N>
constexpr StandinDriver driver(std::uintptr_t id, DWORD support, const StandinTag (&tags)[N]) {
    return {id, support, tags, N};
}

constexpr StandinDriver kDrivers[] = {
    driver(0x00a00010, kConverter, kConverterTags), driver(0x00a00020, kCodec, kImaAdpcmTags),
    driver(0x00a00030, kCodec, kAdpcmTags),         driver(0x00a00040, kCodec, kG711Tags),
    driver(0x00a00050, kCodec, kGsmTags),           driver(0x00a00060, kCodec, kMpegTags),
};

std::size_t depthCount(const StandinTag& tag) {
    return tag.bits[1] != 0 ? 2 : 1;
}

std::size_t formatCount(const StandinTag& tag) {
    return kRateCount * depthCount(tag) * tag.maxChannels;
}

// Fills the header and the description of format number index of tag; the
// formats run through the channel counts first, then the depths, then the
// rates.
void describeFormat(const StandinTag& tag, std::size_t index, WAVEFORMATEX& header,
                    char (&description)[ACMFORMATDETAILS_FORMAT_CHARS]) {
    const std::size_t channels = index % tag.maxChannels + 1;
    const std::size_t depth = index / tag.maxChannels % depthCount(tag);
    const DWORD rate = kRates[index / (tag.maxChannels * depthCount(tag))];
    const WORD bits = tag.bits[depth];
    const std::size_t blockAlign =
        channels * (tag.blockAlign != 0 ? tag.blockAlign : static_cast<std::size_t>(bits / 8));

    std::memset(&header, 0, sizeof header);
    header.wFormatTag = static_cast<WORD>(tag.tag);
    header.nChannels = static_cast<WORD>(channels);
    header.nSamplesPerSec = rate;
    header.nAvgBytesPerSec = static_cast<DWORD>(rate * channels * (bits != 0 ? bits : 13u) / 8);
    header.nBlockAlign = static_cast<WORD>(blockAlign);
    header.wBitsPerSample = bits;
    header.cbSize = static_cast<WORD>(tag.formatSize - sizeof(WAVEFORMATEX));

    std::snprintf(description, sizeof description, "%lu Hz, %u bit, %s",
                  static_cast<unsigned long>(rate), static_cast<unsigned>(bits),
                  channels == 1 ? "mono" : "stereo");
}

// Open handles: a handle is the address of its slot; a free slot has no driver.
struct OpenSlot {
    const StandinDriver* driver;
};
OpenSlot gSlots[64];

HACMDRIVERID idOf(const StandinDriver& driver) {
    return reinterpret_cast<HACMDRIVERID>(driver.id);
}

HACMDRIVER handleOf(OpenSlot& slot) {
    return reinterpret_cast<HACMDRIVER>(&slot);
}

// cppcheck-suppress constParameter ; a handle is an opaque pointer type
const StandinDriver* findDriver(HACMDRIVERID hadid) {
    const StandinDriver* found =
        std::find_if(std::begin(kDrivers), std::end(kDrivers),
                     [hadid](const StandinDriver& driver) { return idOf(driver) == hadid; });
    return found == std::end(kDrivers) ? nullptr : found;
}

// The slot of an open handle, or null.
// cppcheck-suppress constParameter ; a handle is an opaque pointer type
OpenSlot* openSlot(HACMDRIVER had) {
    OpenSlot* found = std::find_if(std::begin(gSlots), std::end(gSlots), [had](OpenSlot& slot) {
        return handleOf(slot) == had && slot.driver != nullptr;
    });
    return found == std::end(gSlots) ? nullptr : found;
}

const StandinDriver* driverOf(HACMDRIVER had) {
    const OpenSlot* slot = openSlot(had);
    return slot == nullptr ? nullptr : slot->driver;
}

}  // namespace

extern "C" {

MMRESULT WINAPI acmDriverEnum(ACMDRIVERENUMCB fnCallback, DWORD_PTR dwInstance, DWORD fdwEnum) {
    if (fnCallback == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if ((fdwEnum & ~(ACM_DRIVERENUMF_NOLOCAL | ACM_DRIVERENUMF_DISABLED)) != 0) {
        return MMSYSERR_INVALFLAG;
    }
    for (const StandinDriver& driver : kDrivers) {
        if (!fnCallback(idOf(driver), dwInstance, driver.support)) {
            break;
        }
    }
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmDriverOpen(HACMDRIVER* phad, HACMDRIVERID hadid, DWORD fdwOpen) {
    if (phad == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if (fdwOpen != 0) {
        return MMSYSERR_INVALFLAG;
    }
    const StandinDriver* driver = findDriver(hadid);
    if (driver == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    OpenSlot* free = std::find_if(std::begin(gSlots), std::end(gSlots),
                                  [](const OpenSlot& slot) { return slot.driver == nullptr; });
    if (free == std::end(gSlots)) {
        return MMSYSERR_NOMEM;
    }
    free->driver = driver;
    *phad = handleOf(*free);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmDriverClose(HACMDRIVER had, DWORD fdwClose) {
    if (fdwClose != 0) {
        return MMSYSERR_INVALFLAG;
    }
    OpenSlot* slot = openSlot(had);
    if (slot == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    slot->driver = nullptr;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmFormatTagEnumA(HACMDRIVER had, ACMFORMATTAGDETAILSA* paftd,
                                  ACMFORMATTAGENUMCBA fnCallback, DWORD_PTR dwInstance,
                                  DWORD fdwEnum) {
    const StandinDriver* driver = driverOf(had);
    if (driver == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (paftd == nullptr || paftd->cbStruct < sizeof *paftd || fnCallback == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if (fdwEnum != 0) {
        return MMSYSERR_INVALFLAG;
    }
    for (std::size_t index = 0; index < driver->tagCount; ++index) {
        const StandinTag& tag = driver->tags[index];
        paftd->dwFormatTagIndex = static_cast<DWORD>(index);
        paftd->dwFormatTag = tag.tag;
        paftd->cbFormatSize = tag.formatSize;
        paftd->fdwSupport = driver->support;
        paftd->cStandardFormats = static_cast<DWORD>(formatCount(tag));
        std::memset(paftd->szFormatTag, 0, sizeof paftd->szFormatTag);
        std::strncpy(paftd->szFormatTag, tag.name, sizeof paftd->szFormatTag - 1);
        if (!fnCallback(idOf(*driver), paftd, dwInstance, driver->support)) {
            break;
        }
    }
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmFormatEnumA(HACMDRIVER had, ACMFORMATDETAILSA* pafd, ACMFORMATENUMCBA fnCallback,
                               DWORD_PTR dwInstance, DWORD fdwEnum) {
    const StandinDriver* driver = driverOf(had);
    if (driver == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (pafd == nullptr || pafd->cbStruct < sizeof *pafd || fnCallback == nullptr ||
        pafd->pwfx == nullptr || pafd->cbwfx < sizeof(WAVEFORMATEX)) {
        return MMSYSERR_INVALPARAM;
    }
    if (fdwEnum != 0 && fdwEnum != ACM_FORMATENUMF_WFORMATTAG) {
        return MMSYSERR_NOTSUPPORTED;
    }
    // The buffer is overwritten by every format, so the wanted tag is read first.
    const WORD wanted = pafd->pwfx->wFormatTag;
    for (std::size_t t = 0; t < driver->tagCount; ++t) {
        const StandinTag& tag = driver->tags[t];
        if (fdwEnum == ACM_FORMATENUMF_WFORMATTAG && tag.tag != wanted) {
            continue;
        }
        for (std::size_t index = 0; index < formatCount(tag); ++index) {
            unsigned char format[64] = {};
            WAVEFORMATEX header{};
            describeFormat(tag, index, header, pafd->szFormat);
            std::memcpy(format, &header, sizeof header);
            const std::size_t size = tag.formatSize < pafd->cbwfx ? tag.formatSize : pafd->cbwfx;
            std::memcpy(pafd->pwfx, format, size);
            pafd->dwFormatIndex = static_cast<DWORD>(index);
            pafd->dwFormatTag = tag.tag;
            pafd->fdwSupport = driver->support;
            if (!fnCallback(idOf(*driver), pafd, dwInstance, driver->support)) {
                return MMSYSERR_NOERROR;
            }
        }
    }
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmMetrics(HACMOBJ hao, UINT uMetric, void* pMetric) {
    if (pMetric == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if (hao != nullptr || uMetric != ACM_METRIC_MAX_SIZE_FORMAT) {
        return MMSYSERR_NOTSUPPORTED;
    }
    DWORD largest = 0;
    for (const StandinDriver& driver : kDrivers) {
        for (std::size_t t = 0; t < driver.tagCount; ++t) {
            if (driver.tags[t].formatSize > largest) {
                largest = driver.tags[t].formatSize;
            }
        }
    }
    std::memcpy(pMetric, &largest, sizeof largest);
    return MMSYSERR_NOERROR;
}

}  // extern "C"
