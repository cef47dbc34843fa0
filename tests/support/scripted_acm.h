// A scripted Audio Compression Manager for tests: it serves a registry of
// drivers, tags and formats that a test describes, refuses, fails and
// misbehaves on cue, and records every call that the program makes of it.
//
// It defines the six ACM operations itself, so a test binary that links it
// links no other ACM. The same code is also built as a shared library that
// takes the stand-in's place under a process, reading its script from a file.
#ifndef ACM_INVENTORY_TESTS_SCRIPTED_ACM_H
#define ACM_INVENTORY_TESTS_SCRIPTED_ACM_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "acm/acm.h"

namespace scripted {

// Support flags come in two places, as they do from the platform's ACM: in
// the record of a tag or format (its own flags) and as the fdwSupport argument
// of the enumeration callback, which real managers fill with the driver's
// flags. The record gets `support`; the callback gets `handedSupport` if set,
// else the driver's flags.
struct Format {
    DWORD support = ACMDRIVERDETAILS_SUPPORTF_CODEC;
    std::optional<DWORD> handedSupport;
    // Copied into szFormat; a text of 128 bytes or more fills the field and
    // leaves no terminating zero.
    std::string description;
};

struct Tag {
    DWORD tag = 0;
    DWORD support = ACMDRIVERDETAILS_SUPPORTF_CODEC;
    std::optional<DWORD> handedSupport;
    DWORD standardFormats = 0;  // reported as cStandardFormats, whatever formats holds
    // Copied into szFormatTag; 48 bytes or more leave no terminating zero.
    std::string name;
    std::vector<Format> formats;
};

struct Driver {
    std::uintptr_t id = 0;
    DWORD support = ACMDRIVERDETAILS_SUPPORTF_CODEC;
    bool refuseFirstOpen = false;   // refuses an open while no handle on it is open
    bool refuseSecondOpen = false;  // refuses an open while a handle on it is open
    std::vector<Tag> tags;
};

// The ACM operations, for failing the Nth call of one kind.
enum class Op { DriverEnum, DriverOpen, DriverClose, TagEnum, FormatEnum, Metrics };

struct Fault {
    Op op = Op::DriverOpen;
    int nth = 0;              // 1 for the first call of that kind; 0 never fails
    bool persistent = false;  // fail the nth call and every later one
};

struct Registry {
    std::vector<Driver> drivers;
    MMRESULT metricsResult = MMSYSERR_NOERROR;
    DWORD maxFormatSize = 50;  // stored by acmMetrics even when it fails
    std::vector<Fault> faults;
};

// Reads a registry from its text form, one item a line ('#' starts a comment):
//   metrics <result> <size>
//   driver <id> <support> [refuse-first] [refuse-second]
//   tag <value> <support>[/<handed>] <standard formats> [<name>]
//   format <support>[/<handed>] [<description>]
//   fail <op> <nth> [forever]      op: driver-enum, driver-open, driver-close,
//                                      tag-enum, format-enum, metrics
// <support> goes into the record; <handed>, if given, is what the callback
// is handed instead of the driver's flags. Numbers take C notation (0x for
// hex). A name or description is the rest of the line after one space; \xNN
// stands for a byte and \\ for a backslash. On a line it cannot read, *error
// holds a message and the result is empty.
Registry parse(const std::string& script, std::string* error);

// Serves registry from now on, with fresh call counts, trace and handles.
void install(const Registry& registry);

// One line per ACM call since install(), indented by enumeration depth, with
// the arguments that the program passed.
const std::string& trace();

struct HandleReport {
    int opened = 0;
    int closed = 0;
    int mostOnOneDriver = 0;  // the most handles open at once on one driver
    int badCalls = 0;         // calls with unknown handles, bad records or flags, and
                              // callbacks of the wrong calling convention
    int injected = 0;         // calls failed by the registry's faults
};
HandleReport handles();

// Tells the scripted ACM that the caller freed a heap block. If it is a
// format buffer that the caller handed to acmFormatEnumA, the trace records
// it as "free(format buffer)", so that its place among the ACM calls shows.
void noteFree(const void* block);

}  // namespace scripted

#endif  // ACM_INVENTORY_TESTS_SCRIPTED_ACM_H
