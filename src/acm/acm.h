// The part of the Audio Compression Manager (msacm32) that acm-inventory uses,
// declared from fixed-width types so that the same code calls the real ACM on
// Windows and a stand-in or scripted ACM elsewhere.
//
// The declarations follow the platform's binary interface: records are
// byte-packed, handles are pointer-sized, and on 32-bit Windows every
// operation and callback uses the __stdcall convention.
#ifndef ACM_INVENTORY_ACM_ACM_H
#define ACM_INVENTORY_ACM_ACM_H

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define WINAPI __stdcall
#define CALLBACK __stdcall
#else
#define WINAPI
#define CALLBACK
#endif

typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::uint32_t UINT;
typedef std::int32_t BOOL;
typedef std::uintptr_t DWORD_PTR;
typedef std::uint32_t MMRESULT;

// Opaque handles; the ACM never lets a caller look inside them.
struct AcmDriverIdTag;
struct AcmDriverTag;
struct AcmObjectTag;
typedef AcmDriverIdTag* HACMDRIVERID;
typedef AcmDriverTag* HACMDRIVER;
typedef AcmObjectTag* HACMOBJ;

#ifndef FALSE
#define FALSE 0
#endif
#ifndef TRUE
#define TRUE 1
#endif

// Results.
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;

// Support flags (fdwSupport) of drivers, tags and formats.
constexpr DWORD ACMDRIVERDETAILS_SUPPORTF_CODEC = 0x00000001;
constexpr DWORD ACMDRIVERDETAILS_SUPPORTF_CONVERTER = 0x00000002;
constexpr DWORD ACMDRIVERDETAILS_SUPPORTF_FILTER = 0x00000004;
constexpr DWORD ACMDRIVERDETAILS_SUPPORTF_LOCAL = 0x40000000;
constexpr DWORD ACMDRIVERDETAILS_SUPPORTF_DISABLED = 0x80000000;

// acmDriverEnum flags.
constexpr DWORD ACM_DRIVERENUMF_NOLOCAL = 0x40000000;
constexpr DWORD ACM_DRIVERENUMF_DISABLED = 0x80000000;

// acmFormatEnumA flags.
constexpr DWORD ACM_FORMATENUMF_WFORMATTAG = 0x00010000;

// acmMetrics metrics.
constexpr UINT ACM_METRIC_MAX_SIZE_FORMAT = 50;

constexpr WORD WAVE_FORMAT_PCM = 1;

constexpr std::size_t ACMFORMATTAGDETAILS_FORMATTAG_CHARS = 48;
constexpr std::size_t ACMFORMATDETAILS_FORMAT_CHARS = 128;

#pragma pack(push, 1)

// The common header of every wave format.
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;  // bytes of format-specific data that follow the header
};

struct ACMFORMATTAGDETAILSA {
    DWORD cbStruct;
    DWORD dwFormatTagIndex;
    DWORD dwFormatTag;
    DWORD cbFormatSize;
    DWORD fdwSupport;
    DWORD cStandardFormats;
    char szFormatTag[ACMFORMATTAGDETAILS_FORMATTAG_CHARS];
};

struct ACMFORMATDETAILSA {
    DWORD cbStruct;
    DWORD dwFormatIndex;
    DWORD dwFormatTag;
    DWORD fdwSupport;
    WAVEFORMATEX* pwfx;
    DWORD cbwfx;
    char szFormat[ACMFORMATDETAILS_FORMAT_CHARS];
};

#pragma pack(pop)

static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 bytes");
static_assert(offsetof(WAVEFORMATEX, nSamplesPerSec) == 4, "WAVEFORMATEX layout");
static_assert(offsetof(WAVEFORMATEX, nBlockAlign) == 12, "WAVEFORMATEX layout");
static_assert(offsetof(WAVEFORMATEX, cbSize) == 16, "WAVEFORMATEX layout");

static_assert(sizeof(ACMFORMATTAGDETAILSA) == 72, "ACMFORMATTAGDETAILSA is 72 bytes");
static_assert(offsetof(ACMFORMATTAGDETAILSA, dwFormatTag) == 8, "ACMFORMATTAGDETAILSA layout");
static_assert(offsetof(ACMFORMATTAGDETAILSA, cStandardFormats) == 20,
              "ACMFORMATTAGDETAILSA layout");
static_assert(offsetof(ACMFORMATTAGDETAILSA, szFormatTag) == 24, "ACMFORMATTAGDETAILSA layout");

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "32-bit or 64-bit pointers");
static_assert(sizeof(ACMFORMATDETAILSA) == (sizeof(void*) == 8 ? 156 : 152),
              "ACMFORMATDETAILSA is 152 bytes with 32-bit pointers, 156 with 64-bit ones");
static_assert(offsetof(ACMFORMATDETAILSA, dwFormatTag) == 8, "ACMFORMATDETAILSA layout");
static_assert(offsetof(ACMFORMATDETAILSA, pwfx) == 16, "ACMFORMATDETAILSA layout");
static_assert(offsetof(ACMFORMATDETAILSA, cbwfx) == 16 + sizeof(void*), "ACMFORMATDETAILSA layout");
static_assert(offsetof(ACMFORMATDETAILSA, szFormat) == 20 + sizeof(void*),
              "ACMFORMATDETAILSA layout");

typedef BOOL(CALLBACK* ACMDRIVERENUMCB)(HACMDRIVERID hadid, DWORD_PTR dwInstance, DWORD fdwSupport);
typedef BOOL(CALLBACK* ACMFORMATTAGENUMCBA)(HACMDRIVERID hadid, ACMFORMATTAGDETAILSA* paftd,
                                            DWORD_PTR dwInstance, DWORD fdwSupport);
typedef BOOL(CALLBACK* ACMFORMATENUMCBA)(HACMDRIVERID hadid, ACMFORMATDETAILSA* pafd,
                                         DWORD_PTR dwInstance, DWORD fdwSupport);

extern "C" {

// Calls fnCallback once per driver, synchronously, before returning.
// fdwEnum 0 lists the enabled drivers, local ones included.
MMRESULT WINAPI acmDriverEnum(ACMDRIVERENUMCB fnCallback, DWORD_PTR dwInstance, DWORD fdwEnum);

// On MMSYSERR_NOERROR, *phad holds a new handle on the driver, to be closed
// with acmDriverClose. On any other result no handle was opened and *phad is
// not to be used.
MMRESULT WINAPI acmDriverOpen(HACMDRIVER* phad, HACMDRIVERID hadid, DWORD fdwOpen);

MMRESULT WINAPI acmDriverClose(HACMDRIVER had, DWORD fdwClose);

// Calls fnCallback once per format tag of the driver behind had, with paftd
// filled in for that tag. paftd->cbStruct must hold the record's size.
MMRESULT WINAPI acmFormatTagEnumA(HACMDRIVER had, ACMFORMATTAGDETAILSA* paftd,
                                  ACMFORMATTAGENUMCBA fnCallback, DWORD_PTR dwInstance,
                                  DWORD fdwEnum);

// Calls fnCallback once per format of the driver behind had, with pafd filled
// in for that format and at most pafd->cbwfx bytes written to pafd->pwfx.
// With ACM_FORMATENUMF_WFORMATTAG only the formats of pafd->pwfx->wFormatTag
// are listed.
MMRESULT WINAPI acmFormatEnumA(HACMDRIVER had, ACMFORMATDETAILSA* pafd, ACMFORMATENUMCBA fnCallback,
                               DWORD_PTR dwInstance, DWORD fdwEnum);

// On MMSYSERR_NOERROR the metric's value is stored in *pMetric (a DWORD for
// ACM_METRIC_MAX_SIZE_FORMAT); on any other result *pMetric is not to be used.
MMRESULT WINAPI acmMetrics(HACMOBJ hao, UINT uMetric, void* pMetric);

}  // extern "C"

#endif  // ACM_INVENTORY_ACM_ACM_H
