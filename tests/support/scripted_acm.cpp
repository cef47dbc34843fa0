#include "scripted_acm.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <type_traits>

#include "fault_rule.h"

namespace scripted {
namespace {

constexpr int kOpCount = 6;
// Written into a refused open's out-parameter, to catch a caller that uses it.
constexpr std::uintptr_t kRefusedHandle = 0xbad0;
// The most bytes written into a format buffer, so that a huge cbwfx costs
// nothing while a buffer shorter than cbwfx still overflows.
constexpr DWORD kMaxFormatFill = 256;

struct OpenHandle {
    int number;
    const Driver* driver;
};

struct State {
    Registry registry;
    std::string trace;
    int depth = 0;
    int calls[kOpCount] = {};
    int handlesIssued = 0;
    std::map<std::uintptr_t, OpenHandle> open;            // by handle value
    std::map<std::uintptr_t, int> openOnDriver;           // by driver identifier
    std::vector<const ACMFORMATTAGDETAILSA*> tagRecords;  // of the enumerations under way
    std::vector<const void*> formatBuffers;               // handed over, not yet freed
    HandleReport report;
};

State& state() {
    static State instance;
    return instance;
}

void traceLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void traceLine(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    State& s = state();
    s.trace.append(static_cast<std::size_t>(s.depth) * 2, ' ');
    s.trace += text;
    s.trace += '\n';
}

void traceAppend(const std::string& text) {
    std::string& trace = state().trace;
    trace.insert(trace.size() - 1, text);
}

// Counts a call of op and tells whether a fault of the registry fails it.
bool injectFault(Op op) {
    State& s = state();
    const int count = ++s.calls[static_cast<int>(op)];
    for (const Fault& fault : s.registry.faults) {
        if (fault.op == op && faultFires(fault.nth, fault.persistent, count)) {
            traceAppend(" -> injected failure");
            ++s.report.injected;
            return true;
        }
    }
    return false;
}

MMRESULT badCall(const char* what, MMRESULT result) {
    ++state().report.badCalls;
    traceAppend(std::string(" -> rejected: ") + what);
    return result;
}

const Driver* findDriver(HACMDRIVERID hadid) {
    for (const Driver& driver : state().registry.drivers) {
        if (reinterpret_cast<HACMDRIVERID>(driver.id) == hadid) {
            return &driver;
        }
    }
    return nullptr;
}

const OpenHandle* findHandle(HACMDRIVER had) {
    const auto found = state().open.find(reinterpret_cast<std::uintptr_t>(had));
    return found == state().open.end() ? nullptr : &found->second;
}

std::string handleName(HACMDRIVER had) {
    const OpenHandle* handle = findHandle(had);
    char text[32];
    if (handle != nullptr) {
        std::snprintf(text, sizeof text, "h%d", handle->number);
    } else {
        std::snprintf(text, sizeof text, "0x%" PRIxPTR, reinterpret_cast<std::uintptr_t>(had));
    }
    return text;
}

bool allZero(const void* data, std::size_t size) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    return std::all_of(bytes, bytes + size, [](unsigned char b) { return b == 0; });
}

void copyText(char* field, std::size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(size, text.size()));
}

#if defined(_WIN32) && defined(__i386__)
// Calls fn with count 32-bit arguments (args[0] first) pushed on the stack,
// as the platform's ACM calls an enumeration callback, and returns fn's
// result. *left receives the bytes of arguments that fn left on the stack:
// 0 for a __stdcall function, which pops its own arguments.
BOOL callWithArguments(std::uintptr_t fn, const std::uint32_t* args, std::uint32_t count,
                       std::uint32_t* left) {
    BOOL result = 0;
    __asm__ volatile(
        "movl %%esp, %%edi\n\t"
        "1:\n\t"
        "pushl -4(%%esi,%%ecx,4)\n\t"
        "loop 1b\n\t"
        "call *%%ebx\n\t"
        "movl %%edi, %%ecx\n\t"
        "subl %%esp, %%ecx\n\t"
        "movl %%edi, %%esp\n\t"
        : "=a"(result), "+c"(count)
        : "S"(args), "b"(fn)
        : "edx", "edi", "memory", "cc");
    *left = count;
    return result;
}

template <typename T>
std::uint32_t argumentWord(T value) {
    if constexpr (std::is_pointer<T>::value) {
        return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(value));
    } else {
        return static_cast<std::uint32_t>(value);
    }
}
#endif

// Hands an enumeration callback its arguments. On 32-bit Windows the
// platform's ACM calls every callback as __stdcall, whatever the caller's
// declarations say, and measures the stack: a callback of another
// convention leaves its arguments there, which a forgiving manager hides by
// restoring its own frame and a strict one does not survive.
template <typename Callback, typename... Args>
BOOL callBack(Callback fn, Args... args) {
#if defined(_WIN32) && defined(__i386__)
    const std::uint32_t words[] = {argumentWord(args)...};
    std::uint32_t left = 0;
    const BOOL result =
        callWithArguments(reinterpret_cast<std::uintptr_t>(fn), words, sizeof...(Args), &left);
    if (left != 0) {
        ++state().report.badCalls;
        traceLine("callback left %u bytes of arguments on the stack: not __stdcall",
                  static_cast<unsigned>(left));
    }
#else
    const BOOL result = fn(args...);
#endif
    if (result != TRUE) {
        traceLine("callback returned %d", static_cast<int>(result));
    }
    return result;
}

}  // namespace

void install(const Registry& registry) {
    State& s = state();
    s = State();
    s.registry = registry;
}

const std::string& trace() {
    return state().trace;
}

HandleReport handles() {
    return state().report;
}

void noteFree(const void* block) {
    std::vector<const void*>& buffers = state().formatBuffers;
    const auto found = std::find(buffers.begin(), buffers.end(), block);
    if (found != buffers.end()) {
        buffers.erase(found);
        traceLine("free(format buffer)");
    }
}

}  // namespace scripted

using namespace scripted;

extern "C" {

MMRESULT WINAPI acmDriverEnum(ACMDRIVERENUMCB fnCallback, DWORD_PTR dwInstance, DWORD fdwEnum) {
    State& s = state();
    traceLine("acmDriverEnum(instance=0x%" PRIxPTR ", flags=0x%" PRIx32 ")", dwInstance, fdwEnum);
    if (fnCallback == nullptr) {
        return badCall("no callback", MMSYSERR_INVALPARAM);
    }
    if (injectFault(Op::DriverEnum)) {
        return MMSYSERR_ERROR;
    }
    ++s.depth;
    for (const Driver& driver : s.registry.drivers) {
        const BOOL result = callBack(fnCallback, reinterpret_cast<HACMDRIVERID>(driver.id),
                                     dwInstance, driver.support);
        if (result == FALSE) {
            break;
        }
    }
    --s.depth;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmDriverOpen(HACMDRIVER* phad, HACMDRIVERID hadid, DWORD fdwOpen) {
    State& s = state();
    traceLine("acmDriverOpen(did=0x%" PRIxPTR ", flags=0x%" PRIx32 ")",
              reinterpret_cast<std::uintptr_t>(hadid), fdwOpen);
    const Driver* driver = findDriver(hadid);
    if (phad == nullptr) {
        return badCall("no out-parameter", MMSYSERR_INVALPARAM);
    }
    *phad = reinterpret_cast<HACMDRIVER>(kRefusedHandle);
    if (driver == nullptr) {
        return badCall("unknown driver", MMSYSERR_INVALHANDLE);
    }
    if (fdwOpen != 0) {
        return badCall("flags", MMSYSERR_INVALFLAG);
    }
    if (injectFault(Op::DriverOpen)) {
        return MMSYSERR_ERROR;
    }
    int& onDriver = s.openOnDriver[driver->id];
    if ((onDriver == 0 && driver->refuseFirstOpen) || (onDriver > 0 && driver->refuseSecondOpen)) {
        traceAppend(" -> refused");
        return MMSYSERR_NOTSUPPORTED;
    }
    const int number = ++s.handlesIssued;
    const std::uintptr_t value = 0x5000 + 0x10 * static_cast<std::uintptr_t>(number);
    s.open[value] = OpenHandle{number, driver};
    *phad = reinterpret_cast<HACMDRIVER>(value);
    ++s.report.opened;
    s.report.mostOnOneDriver = std::max(s.report.mostOnOneDriver, ++onDriver);
    traceAppend(" -> h" + std::to_string(number));
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmDriverClose(HACMDRIVER had, DWORD fdwClose) {
    State& s = state();
    traceLine("acmDriverClose(%s, flags=0x%" PRIx32 ")", handleName(had).c_str(), fdwClose);
    const OpenHandle* handle = findHandle(had);
    if (handle == nullptr) {
        return badCall("unknown handle", MMSYSERR_INVALHANDLE);
    }
    // A close that fails still ends the caller's duty to the handle.
    --s.openOnDriver[handle->driver->id];
    s.open.erase(reinterpret_cast<std::uintptr_t>(had));
    ++s.report.closed;
    if (fdwClose != 0) {
        return badCall("flags", MMSYSERR_INVALFLAG);
    }
    return injectFault(Op::DriverClose) ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmFormatTagEnumA(HACMDRIVER had, ACMFORMATTAGDETAILSA* paftd,
                                  ACMFORMATTAGENUMCBA fnCallback, DWORD_PTR dwInstance,
                                  DWORD fdwEnum) {
    State& s = state();
    const bool zeroed =
        paftd != nullptr && allZero(&paftd->dwFormatTagIndex, sizeof *paftd - sizeof(DWORD));
    traceLine("acmFormatTagEnumA(%s, cbStruct=%" PRIu32 ", %s, instance=0x%" PRIxPTR
              ", flags=0x%" PRIx32 ")",
              handleName(had).c_str(), paftd != nullptr ? paftd->cbStruct : 0,
              zeroed ? "zeroed" : "not zeroed", dwInstance, fdwEnum);
    const OpenHandle* handle = findHandle(had);
    if (handle == nullptr) {
        return badCall("unknown handle", MMSYSERR_INVALHANDLE);
    }
    if (paftd == nullptr || paftd->cbStruct < sizeof *paftd || fnCallback == nullptr) {
        return badCall("record or callback", MMSYSERR_INVALPARAM);
    }
    if (fdwEnum != 0) {
        return badCall("flags", MMSYSERR_INVALFLAG);
    }
    if (injectFault(Op::TagEnum)) {
        return MMSYSERR_ERROR;
    }
    const Driver& driver = *handle->driver;
    ++s.depth;
    s.tagRecords.push_back(paftd);
    for (std::size_t index = 0; index < driver.tags.size(); ++index) {
        const Tag& tag = driver.tags[index];
        paftd->dwFormatTagIndex = static_cast<DWORD>(index);
        paftd->dwFormatTag = tag.tag;
        paftd->cbFormatSize = sizeof(WAVEFORMATEX);
        paftd->fdwSupport = tag.support;
        paftd->cStandardFormats = tag.standardFormats;
        copyText(paftd->szFormatTag, sizeof paftd->szFormatTag, tag.name);
        const BOOL result = callBack(fnCallback, reinterpret_cast<HACMDRIVERID>(driver.id), paftd,
                                     dwInstance, tag.handedSupport.value_or(driver.support));
        if (result == FALSE) {
            break;
        }
    }
    s.tagRecords.pop_back();
    --s.depth;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmFormatEnumA(HACMDRIVER had, ACMFORMATDETAILSA* pafd, ACMFORMATENUMCBA fnCallback,
                               DWORD_PTR dwInstance, DWORD fdwEnum) {
    State& s = state();
    if (pafd == nullptr || pafd->pwfx == nullptr) {
        traceLine("acmFormatEnumA(%s)", handleName(had).c_str());
        return badCall("no record or no format buffer", MMSYSERR_INVALPARAM);
    }
    const bool zeroed = pafd->dwFormatIndex == 0 && pafd->fdwSupport == 0 &&
                        allZero(pafd->szFormat, sizeof pafd->szFormat);
    const WAVEFORMATEX& header = *pafd->pwfx;
    const bool headerClean =
        pafd->cbwfx >= sizeof header && allZero(&header.nChannels, sizeof header - sizeof(WORD));
    char instance[32];
    if (!s.tagRecords.empty() &&
        dwInstance == reinterpret_cast<DWORD_PTR>(s.tagRecords.back()->szFormatTag)) {
        std::snprintf(instance, sizeof instance, "szFormatTag");
    } else {
        std::snprintf(instance, sizeof instance, "0x%" PRIxPTR, dwInstance);
    }
    traceLine("acmFormatEnumA(%s, cbStruct=%" PRIu32 ", dwFormatTag=0x%" PRIx32
              ", %s, pwfx={wFormatTag=0x%x, %s}, cbwfx=%" PRIu32 ", instance=%s, flags=0x%" PRIx32
              ")",
              handleName(had).c_str(), pafd->cbStruct, pafd->dwFormatTag,
              zeroed ? "zeroed" : "not zeroed", static_cast<unsigned>(header.wFormatTag),
              headerClean ? "rest zero" : "rest not zero", pafd->cbwfx, instance, fdwEnum);
    if (std::find(s.formatBuffers.begin(), s.formatBuffers.end(), pafd->pwfx) ==
        s.formatBuffers.end()) {
        s.formatBuffers.push_back(pafd->pwfx);
    }
    const OpenHandle* handle = findHandle(had);
    if (handle == nullptr) {
        return badCall("unknown handle", MMSYSERR_INVALHANDLE);
    }
    if (pafd->cbStruct < sizeof *pafd || fnCallback == nullptr || pafd->cbwfx < sizeof header) {
        return badCall("record, buffer or callback", MMSYSERR_INVALPARAM);
    }
    if (fdwEnum != 0 && fdwEnum != ACM_FORMATENUMF_WFORMATTAG) {
        return badCall("flags", MMSYSERR_NOTSUPPORTED);
    }
    if (injectFault(Op::FormatEnum)) {
        return MMSYSERR_ERROR;
    }
    // Every format overwrites the buffer, so the wanted tag is read first.
    const WORD wanted = header.wFormatTag;
    const Driver& driver = *handle->driver;
    ++s.depth;
    for (const Tag& tag : driver.tags) {
        if (fdwEnum == ACM_FORMATENUMF_WFORMATTAG &&
            static_cast<WORD>(tag.tag & 0xFFFF) != wanted) {
            continue;
        }
        bool stopped = false;
        for (std::size_t index = 0; index < tag.formats.size() && !stopped; ++index) {
            const Format& format = tag.formats[index];
            pafd->dwFormatIndex = static_cast<DWORD>(index);
            pafd->dwFormatTag = tag.tag;
            pafd->fdwSupport = format.support;
            copyText(pafd->szFormat, sizeof pafd->szFormat, format.description);
            // A format as long as the buffer allows, header first.
            unsigned char* bytes = reinterpret_cast<unsigned char*>(pafd->pwfx);
            const DWORD fill = std::min(pafd->cbwfx, kMaxFormatFill);
            std::memset(bytes, 0xa5, fill);
            WAVEFORMATEX filled = {};
            filled.wFormatTag = static_cast<WORD>(tag.tag & 0xFFFF);
            filled.nChannels = 1;
            filled.cbSize = static_cast<WORD>(fill - sizeof filled);
            std::memcpy(bytes, &filled, sizeof filled);
            const BOOL result =
                callBack(fnCallback, reinterpret_cast<HACMDRIVERID>(driver.id), pafd, dwInstance,
                         format.handedSupport.value_or(driver.support));
            stopped = result == FALSE;
        }
        if (stopped) {
            break;
        }
    }
    --s.depth;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI acmMetrics(HACMOBJ hao, UINT uMetric, void* pMetric) {
    State& s = state();
    traceLine("acmMetrics(hao=%s, metric=%" PRIu32 ")", hao == nullptr ? "null" : "not null",
              uMetric);
    if (pMetric == nullptr || hao != nullptr || uMetric != ACM_METRIC_MAX_SIZE_FORMAT) {
        return badCall("arguments", MMSYSERR_INVALPARAM);
    }
    // A failing call stores its value anyway: the caller must not use it.
    std::memcpy(pMetric, &s.registry.maxFormatSize, sizeof(DWORD));
    const MMRESULT result = injectFault(Op::Metrics) ? MMSYSERR_ERROR : s.registry.metricsResult;
    traceAppend(" -> " + std::to_string(result) + ", " + std::to_string(s.registry.maxFormatSize));
    return result;
}

}  // extern "C"
