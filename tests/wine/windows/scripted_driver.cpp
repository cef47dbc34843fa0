// A scripted ACM codec driver for the tests under Wine: a DLL with a
// DriverProc that answers the driver messages with Unicode records from a
// scenario chosen by the ACM_SCRIPTED_DRIVER environment variable, read when
// the driver is loaded. Installed into a throwaway Wine prefix, it lets the
// tests show what acm-inventory.exe does when a real ACM hosts a driver that
// misbehaves. It is never linked into the program.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "acm/acm.h"
#include "driver_details.h"

namespace {

typedef std::intptr_t LRESULT;
typedef std::intptr_t LPARAM;
struct DriverTag;
typedef DriverTag* HDRVR;

// Driver messages.
constexpr UINT DRV_LOAD = 0x0001;
constexpr UINT DRV_ENABLE = 0x0002;
constexpr UINT DRV_OPEN = 0x0003;
constexpr UINT DRV_CLOSE = 0x0004;
constexpr UINT DRV_DISABLE = 0x0005;
constexpr UINT DRV_FREE = 0x0006;
constexpr UINT DRV_QUERYCONFIGURE = 0x0008;
constexpr UINT DRV_USER = 0x4000;
constexpr UINT ACMDM_BASE = DRV_USER + 0x2000;
constexpr UINT ACMDM_DRIVER_DETAILS = ACMDM_BASE + 10;
constexpr UINT ACMDM_FORMATTAG_DETAILS = ACMDM_BASE + 25;
constexpr UINT ACMDM_FORMAT_DETAILS = ACMDM_BASE + 26;

constexpr DWORD ACM_FORMATTAGDETAILSF_INDEX = 0x0;
constexpr DWORD ACM_FORMATTAGDETAILSF_FORMATTAG = 0x1;
constexpr DWORD ACM_FORMATTAGDETAILSF_LARGESTSIZE = 0x2;
constexpr DWORD ACM_FORMATTAGDETAILSF_QUERYMASK = 0xF;
constexpr DWORD ACM_FORMATDETAILSF_INDEX = 0x0;
constexpr DWORD ACM_FORMATDETAILSF_FORMAT = 0x1;
constexpr DWORD ACM_FORMATDETAILSF_QUERYMASK = 0xF;

constexpr DWORD kAudioCodec = 0x63647561;  // 'audc'

#pragma pack(push, 1)
struct ACMDRVOPENDESCW {
    DWORD cbStruct;
    DWORD fccType;
    DWORD fccComp;
    DWORD dwVersion;
    DWORD dwFlags;
    DWORD dwError;
    const char16_t* pszSectionName;
    const char16_t* pszAliasName;
    DWORD dnDevNode;
};

struct ACMDRIVERDETAILSW {
    DriverDetailsHead head;
    void* hicon;
    char16_t szShortName[32];
    char16_t szLongName[128];
    char16_t szCopyright[80];
    char16_t szLicensing[128];
    char16_t szFeatures[512];
};

struct ACMFORMATTAGDETAILSW {
    DWORD cbStruct;
    DWORD dwFormatTagIndex;
    DWORD dwFormatTag;
    DWORD cbFormatSize;
    DWORD fdwSupport;
    DWORD cStandardFormats;
    char16_t szFormatTag[48];
};

struct ACMFORMATDETAILSW {
    DWORD cbStruct;
    DWORD dwFormatIndex;
    DWORD dwFormatTag;
    DWORD fdwSupport;
    WAVEFORMATEX* pwfx;
    DWORD cbwfx;
    char16_t szFormat[128];
};
#pragma pack(pop)

static_assert(sizeof(ACMFORMATTAGDETAILSW) == 120, "ACMFORMATTAGDETAILSW is 120 bytes");
static_assert(sizeof(ACMFORMATDETAILSW) == 276 + sizeof(void*), "ACMFORMATDETAILSW layout");

constexpr DWORD kCodec = ACMDRIVERDETAILS_SUPPORTF_CODEC;
constexpr DWORD kConverter = ACMDRIVERDETAILS_SUPPORTF_CONVERTER;

struct ScriptedTag {
    DWORD tag;
    DWORD support;
    const char16_t* name;  // 48 characters fill the field, unterminated
    DWORD standardFormats;
    const char16_t* description;  // of every format; 128 characters fill the field
};

// 48 and 128 characters: no room for a terminating zero.
constexpr char16_t kName48[] = u"Scripted codec whose name fills all 48 chars ..|";
constexpr char16_t kDescription128[] =
    u"A format description of exactly one hundred and twenty-eight characters, which leaves no "
    u"room at all for a terminating zero ...|";
static_assert(sizeof kName48 / sizeof kName48[0] == 49, "48 characters");
static_assert(sizeof kDescription128 / sizeof kDescription128[0] == 129, "128 characters");

constexpr ScriptedTag kClean[] = {
    {WAVE_FORMAT_PCM, kCodec, u"PCM", 2, u"Scripted PCM"},
    {0xA101, kCodec, u"Scripted ADPCM", 3, u"Scripted ADPCM format"},
};
constexpr ScriptedTag kUnterminated[] = {
    {0xA102, kCodec, kName48, 2, kDescription128},
};
constexpr ScriptedTag kWideTag[] = {
    {0x1A103, kCodec, u"Scripted wide tag", 2, u"Scripted wide format"},
    {0xA104, kCodec, u"Scripted narrow tag", 1, u"Scripted narrow format"},
};
constexpr ScriptedTag kFiltered[] = {
    {0xA105, kConverter, u"Scripted converter tag", 2, u"Scripted converter format"},
    {0xA106, kCodec, u"Scripted tag without formats", 0, u"Scripted unlisted format"},
    {0xA107, kCodec, u"Scripted listed tag", 1, u"Scripted listed format"},
};
constexpr ScriptedTag kRefused[] = {
    {WAVE_FORMAT_PCM, kCodec, u"PCM", 2, u"Scripted PCM"},
    {0xA108, kCodec, u"Scripted first tag", 2, u"Scripted first format"},
    {0xA109, kCodec, u"Scripted second tag", 1, u"Scripted second format"},
};

struct Scenario {
    const char* name;
    DWORD support;
    const ScriptedTag* tags;
    DWORD tagCount;
    bool refuseEveryClientOpen;
    bool refuseSecondClientOpen;
};

template <std::size_t N>
constexpr Scenario scenario(const char* name, DWORD support, const ScriptedTag (&tags)[N],
                            bool refuseAll = false, bool refuseSecond = false) {
    return {name, support, tags, N, refuseAll, refuseSecond};
}

constexpr Scenario kScenarios[] = {
    scenario("clean", kCodec, kClean),
    scenario("unterminated", kCodec, kUnterminated),
    scenario("wide-tag", kCodec, kWideTag),
    scenario("filtered", kCodec, kFiltered),
    scenario("refuse-every-open", kCodec, kRefused, true, false),
    scenario("refuse-second-open", kCodec, kRefused, false, true),
    // Installed but offering no codec: the inventory must not list it.
    scenario("hidden", kConverter, kClean),
};

const Scenario* gScenario = &kScenarios[0];
int gClientOpens = 0;  // opens that carry an open descriptor, not yet closed
std::uintptr_t gNextInstance = 0x100;

void chooseScenario() {
    const char* wanted = std::getenv("ACM_SCRIPTED_DRIVER");
    for (const Scenario& candidate : kScenarios) {
        if (wanted != nullptr && std::strcmp(wanted, candidate.name) == 0) {
            gScenario = &candidate;
        }
    }
}

// Copies text into a field of size characters, terminated only if it fits.
void copyText(char16_t* field, std::size_t size, const char16_t* text) {
    std::size_t i = 0;
    for (; i < size && text[i] != 0; ++i) {
        field[i] = text[i];
    }
    for (; i < size; ++i) {
        field[i] = 0;
    }
}

LRESULT driverDetails(ACMDRIVERDETAILSW* details) {
    ACMDRIVERDETAILSW full{};
    full.head.fccType = kAudioCodec;
    full.head.wMid = 0xFFFF;
    full.head.wPid = 0xFFFF;
    full.head.vdwACM = 0x03320000;
    full.head.vdwDriver = 0x01000000;
    full.head.fdwSupport = gScenario->support;
    full.head.cFormatTags = gScenario->tagCount;
    copyText(full.szShortName, 32, u"Scripted");
    copyText(full.szLongName, 128, u"Scripted test codec");
    copyText(full.szFeatures, 512, u"Scenario-driven test driver");
    const DWORD size = details->head.cbStruct < sizeof full ? details->head.cbStruct : sizeof full;
    full.head.cbStruct = size;
    std::memcpy(details, &full, size);
    return MMSYSERR_NOERROR;
}

void fillTag(ACMFORMATTAGDETAILSW* details, DWORD index) {
    const ScriptedTag& tag = gScenario->tags[index];
    details->dwFormatTagIndex = index;
    details->dwFormatTag = tag.tag;
    details->cbFormatSize = sizeof(WAVEFORMATEX);
    details->fdwSupport = tag.support;
    details->cStandardFormats = tag.standardFormats;
    copyText(details->szFormatTag, 48, tag.name);
}

LRESULT formatTagDetails(ACMFORMATTAGDETAILSW* details, DWORD flags) {
    switch (flags & ACM_FORMATTAGDETAILSF_QUERYMASK) {
        case ACM_FORMATTAGDETAILSF_INDEX:
            if (details->dwFormatTagIndex >= gScenario->tagCount) {
                return MMSYSERR_INVALPARAM;
            }
            fillTag(details, details->dwFormatTagIndex);
            return MMSYSERR_NOERROR;
        case ACM_FORMATTAGDETAILSF_FORMATTAG:
        case ACM_FORMATTAGDETAILSF_LARGESTSIZE:
            for (DWORD index = 0; index < gScenario->tagCount; ++index) {
                if (details->dwFormatTag == gScenario->tags[index].tag ||
                    ((flags & ACM_FORMATTAGDETAILSF_QUERYMASK) ==
                         ACM_FORMATTAGDETAILSF_LARGESTSIZE &&
                     details->dwFormatTag == 0)) {
                    fillTag(details, index);
                    return MMSYSERR_NOERROR;
                }
            }
            return ACMERR_NOTPOSSIBLE;
        default:
            return MMSYSERR_NOTSUPPORTED;
    }
}

// Format number index of a tag: mono, 8 bits, 8000 Hz times (index + 1).
void fillFormat(ACMFORMATDETAILSW* details, const ScriptedTag& tag, DWORD index) {
    WAVEFORMATEX format{};
    format.wFormatTag = static_cast<WORD>(tag.tag & 0xFFFF);
    format.nChannels = 1;
    format.nSamplesPerSec = 8000 * (index + 1);
    format.nAvgBytesPerSec = format.nSamplesPerSec;
    format.nBlockAlign = 1;
    format.wBitsPerSample = 8;
    const DWORD size = details->cbwfx < sizeof format ? details->cbwfx : sizeof format;
    std::memcpy(details->pwfx, &format, size);
    details->dwFormatIndex = index;
    details->dwFormatTag = tag.tag;
    details->fdwSupport = tag.support;
    copyText(details->szFormat, 128, tag.description);
}

LRESULT formatDetails(ACMFORMATDETAILSW* details, DWORD flags) {
    if (details->pwfx == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    for (DWORD t = 0; t < gScenario->tagCount; ++t) {
        const ScriptedTag& tag = gScenario->tags[t];
        switch (flags & ACM_FORMATDETAILSF_QUERYMASK) {
            case ACM_FORMATDETAILSF_INDEX:
                if (details->dwFormatTag == tag.tag) {
                    if (details->dwFormatIndex >= tag.standardFormats) {
                        return MMSYSERR_INVALPARAM;
                    }
                    fillFormat(details, tag, details->dwFormatIndex);
                    return MMSYSERR_NOERROR;
                }
                break;
            case ACM_FORMATDETAILSF_FORMAT:
                if (details->pwfx->wFormatTag == static_cast<WORD>(tag.tag & 0xFFFF)) {
                    for (DWORD index = 0; index < tag.standardFormats; ++index) {
                        if (details->pwfx->nSamplesPerSec == 8000 * (index + 1)) {
                            fillFormat(details, tag, index);
                            return MMSYSERR_NOERROR;
                        }
                    }
                }
                break;
            default:
                return MMSYSERR_NOTSUPPORTED;
        }
    }
    return ACMERR_NOTPOSSIBLE;
}

LRESULT open(ACMDRVOPENDESCW* descriptor) {
    if (descriptor == nullptr) {
        return 1;  // the manager's own instance
    }
    if (descriptor->fccType != 0 && descriptor->fccType != kAudioCodec) {
        return 0;
    }
    if (gScenario->refuseEveryClientOpen ||
        (gScenario->refuseSecondClientOpen && gClientOpens > 0)) {
        descriptor->dwError = MMSYSERR_NOTSUPPORTED;
        return 0;
    }
    ++gClientOpens;
    descriptor->dwError = MMSYSERR_NOERROR;
    return static_cast<LRESULT>(gNextInstance++);
}

}  // namespace

extern "C" LRESULT WINAPI DefDriverProc(DWORD_PTR dwDriverId, HDRVR hdrvr, UINT msg, LPARAM lParam1,
                                        LPARAM lParam2);

extern "C" __declspec(dllexport) LRESULT WINAPI
    DriverProc(DWORD_PTR dwDriverId, HDRVR hdrvr, UINT msg, LPARAM lParam1, LPARAM lParam2) {
    switch (msg) {
        case DRV_LOAD:
            chooseScenario();
            return 1;
        case DRV_FREE:
        case DRV_ENABLE:
        case DRV_DISABLE:
            return 1;
        case DRV_OPEN:
            return open(reinterpret_cast<ACMDRVOPENDESCW*>(lParam2));
        case DRV_CLOSE:
            if (dwDriverId >= 0x100 && gClientOpens > 0) {
                --gClientOpens;
            }
            return 1;
        case DRV_QUERYCONFIGURE:
            return 0;
        case ACMDM_DRIVER_DETAILS:
            return driverDetails(reinterpret_cast<ACMDRIVERDETAILSW*>(lParam1));
        case ACMDM_FORMATTAG_DETAILS:
            return formatTagDetails(reinterpret_cast<ACMFORMATTAGDETAILSW*>(lParam1),
                                    static_cast<DWORD>(lParam2));
        case ACMDM_FORMAT_DETAILS:
            return formatDetails(reinterpret_cast<ACMFORMATDETAILSW*>(lParam1),
                                 static_cast<DWORD>(lParam2));
        default:
            if (msg >= DRV_USER) {
                return MMSYSERR_NOTSUPPORTED;
            }
            return DefDriverProc(dwDriverId, hdrvr, msg, lParam1, lParam2);
    }
}
