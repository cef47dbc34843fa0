#include "libc_faults.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>

#include "fault_rule.h"

extern "C" {
void* __real_malloc(std::size_t size);
void __real_free(void* block);
std::FILE* __real_fopen(const char* path, const char* mode);
int __real_fclose(std::FILE* stream);
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
    unsigned long long allocationLimit;
};
State gState = {{}, 0, {}, {}, 0, ~0ull};

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
    for (int i = 0; i < gState.blockCount; ++i) {
        if (gState.blocks[i] == block) {
            gState.blocks[i] = gState.blocks[--gState.blockCount];
            break;
        }
    }
    __real_free(block);
}

std::FILE* __wrap_fopen(const char* path, const char* mode) {
    return inject(Call::LogOpen) ? nullptr : __real_fopen(path, mode);
}

int __wrap_fclose(std::FILE* stream) {
    const bool fail = inject(Call::LogClose);
    const int result = __real_fclose(stream);
    return fail ? EOF : result;
}

__attribute__((format(printf, 2, 3))) int __wrap_fprintf(std::FILE* stream, const char* format,
                                                         ...) {
    // Only writes to the log count: standard output and error stay reliable.
    if (stream != stdout && stream != stderr && inject(Call::LogWrite)) {
        return -1;
    }
    va_list args;
    va_start(args, format);
    const int result = std::vfprintf(stream, format, args);
    va_end(args);
    return result;
}

}  // extern "C"
