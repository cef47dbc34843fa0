/* The synthetic registry of the benchmarks, shared by the synthetic ACM and
 * the floor programs so that both write the same bytes: drivers x tags x
 * formats records, every driver a codec, every tag compressed. Plain C, so
 * that the C floor program can use it too. */
#ifndef ACM_INVENTORY_TESTS_BENCH_SYNTHETIC_RECORDS_H
#define ACM_INVENTORY_TESTS_BENCH_SYNTHETIC_RECORDS_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

static inline uintptr_t synthetic_driver_id(unsigned driver) {
    return (uintptr_t)0x00b00000u + (uintptr_t)0x100u * driver;
}

static inline uint32_t synthetic_tag(unsigned tag) {
    return 0x0100u + tag;
}

/* Writes value in decimal to out; returns the number of digits. */
static inline size_t synthetic_decimal(unsigned value, char* out) {
    char digits[10];
    size_t count = 0;
    do {
        digits[count++] = (char)('0' + value % 10u);
        value /= 10u;
    } while (value != 0u);
    for (size_t i = 0; i < count; ++i) {
        out[i] = digits[count - 1 - i];
    }
    return count;
}

/* Fills a 48-character name field, zero-terminated. */
static inline void synthetic_tag_name(unsigned tag, char* field) {
    static const char prefix[] = "Synthetic codec ";
    memset(field, 0, 48);
    memcpy(field, prefix, sizeof prefix - 1);
    synthetic_decimal(tag, field + sizeof prefix - 1);
}

/* Fills a 128-character description field, zero-terminated. */
static inline void synthetic_format_description(unsigned format, char* field) {
    static const char prefix[] = "Synthetic format ";
    static const char suffix[] = " Hz, 16 bit, stereo";
    memset(field, 0, 128);
    memcpy(field, prefix, sizeof prefix - 1);
    const size_t digits = synthetic_decimal(8000u + format, field + sizeof prefix - 1);
    memcpy(field + sizeof prefix - 1 + digits, suffix, sizeof suffix - 1);
}

#endif /* ACM_INVENTORY_TESTS_BENCH_SYNTHETIC_RECORDS_H */
