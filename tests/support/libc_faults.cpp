#include "libc_faults.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "fault_rule.h"

extern "C" {
void* __real_malloc(std::size_t size);
void __real_free(void* block);
std::FILE* __real_fopen(const char* path, const char* mode);
int __real_fclose(std::FILE* stream);

#ifdef __MINGW32__
// On Windows the program's own calls are renamed to the wrappers in its
// object files instead of being wrapped by the linker, so the real functions
// keep their names.
void* __real_malloc(std::size_t size) {
    return std::malloc(size);
}
void __real_free(void* block) {
    std::free(block);
}
std::FILE* __real_fopen(const char* path, const char* mode) {
    return std::fopen(path, mode);
}
int __real_fclose(std::FILE* stream) {
    return std::fclose(stream);
}
int __real___mingw_vfprintf(std::FILE* stream, const char* format, va_list args) {
    return __mingw_vfprintf(stream, format, args);
}
#endif
}

namespace libc_faults {
namespace {

struct Fault {
    Call call;
    int nth;
    bool persistent;
};

// Plain arrays: the allocator's own bookkeeping must not allocate.
struct State {
    Fault faults[8];
    int faultCount;
    Report report;
    void* blocks[1024];
    int blockCount;
    int openFiles;
    unsigned long long allocationLimit;
    void (*freeObserver)(const void* block);
};
State gState = {{}, 0, {}, {}, 0, 0, ~0ull, nullptr};

bool inject(Call call) {
    const int count = ++gState.report.calls[static_cast<int>(call)];
    for (int i = 0; i < gState.faultCount; ++i) {
        const Fault& fault = gState.faults[i];
        if (fault.call == call && faultFires(fault.nth, fault.persistent, count)) {
            ++gState.report.injected;
            return true;
        }
    }
    return false;
}

}  // namespace

void reset() {
    gState = State();
    gState.allocationLimit = ~0ull;
}

void observeFrees(void (*observer)(const void* block)) {
    gState.freeObserver = observer;
}

void limitAllocations(unsigned long long limit) {
    gState.allocationLimit = limit;
}

void failNth(Call call, int nth, bool persistent) {
    if (gState.faultCount < 8) {
        gState.faults[gState.faultCount++] = Fault{call, nth, persistent};
    }
}

Report report() {
    Report result = gState.report;
    result.liveBlocks = gState.blockCount;
    result.openFiles = gState.openFiles;
    return result;
}

}  // namespace libc_faults

using libc_faults::Call;
using libc_faults::gState;
using libc_faults::inject;

extern "C" {

void* __wrap_malloc(std::size_t size) {
    if (inject(Call::Malloc) || size > gState.allocationLimit) {
        return nullptr;
    }
    void* block = __real_malloc(size);
    if (block != nullptr && gState.blockCount < 1024) {
        gState.blocks[gState.blockCount++] = block;
    }
    return block;
}

void __wrap_free(void* block) {
    if (gState.freeObserver != nullptr) {
        gState.freeObserver(block);
    }
    for (int i = 0; i < gState.blockCount; ++i) {
        if (gState.blocks[i] == block) {
            gState.blocks[i] = gState.blocks[--gState.blockCount];
            break;
        }
    }
    __real_free(block);
}

std::FILE* __wrap_fopen(const char* path, const char* mode) {
    std::FILE* file = inject(Call::LogOpen) ? nullptr : __real_fopen(path, mode);
    gState.openFiles += file != nullptr ? 1 : 0;
    return file;
}

int __wrap_fclose(std::FILE* stream) {
    --gState.openFiles;
    const bool fail = inject(Call::LogClose);
    const int result = __real_fclose(stream);
    return fail ? EOF : result;
}

// Only writes to the log count: standard output and error stay reliable.
bool failWrite(std::FILE* stream) {
    return stream != stdout && stream != stderr && inject(Call::LogWrite);
}

#ifdef __MINGW32__
// MinGW-w64's fprintf is an inline function that calls this one.
int __wrap___mingw_vfprintf(std::FILE* stream, const char* format, va_list args) {
    return failWrite(stream) ? -1 : __real___mingw_vfprintf(stream, format, args);
}
#else
__attribute__((format(printf, 2, 3))) int __wrap_fprintf(std::FILE* stream, const char* format,
                                                         ...) {
    if (failWrite(stream)) {
        return -1;
    }
    va_list args;
    va_start(args, format);
    const int result = std::vfprintf(stream, format, args);
    va_end(args);
    return result;
}
#endif

}  // extern "C"
