// Fault injection for the C library calls the program makes: the heap
// allocation of the format buffer and the opens, writes and closes of the
// log. A test binary links with --wrap=malloc,free,fopen,fclose,fprintf so
// that every such call in it passes through here (on Windows, where the C
// library is linked in statically, the program's own calls are renamed to
// the wrappers instead); without a fault armed the calls go straight to the
// C library.
#ifndef ACM_INVENTORY_TESTS_LIBC_FAULTS_H
#define ACM_INVENTORY_TESTS_LIBC_FAULTS_H

namespace libc_faults {

enum class Call { Malloc, LogOpen, LogWrite, LogClose };

// Forgets every armed fault and count, and starts tracking heap blocks anew.
void reset();

// Fails the nth call of that kind counted since reset() (1 for the first; 0 never),
// and every later one if persistent. A failed malloc returns null; a failed
// fopen returns null; a failed fprintf writes nothing and returns -1; a
// failed fclose closes the stream and returns EOF. Every fopen and fclose
// counts (the program opens no other file); an fprintf counts unless it
// writes to standard output or standard error.
void failNth(Call call, int nth, bool persistent);

// Allocations of more than limit bytes fail from now on, as they would in a
// small address space; reset() lifts the limit.
void limitAllocations(unsigned long long limit);

// Calls observer with every block that the program frees, before it is
// freed; null stops it. reset() stops it too.
void observeFrees(void (*observer)(const void* block));

struct Report {
    int calls[4] = {};  // by Call
    int injected = 0;
    int liveBlocks = 0;  // blocks from malloc since reset() not yet freed
    int openFiles = 0;   // files from fopen since reset() not yet closed
};
Report report();

}  // namespace libc_faults

#endif  // ACM_INVENTORY_TESTS_LIBC_FAULTS_H
