/* The floor loop: exactly the I/O that every record of the synthetic registry
 * needs (open the log for appending, write the two lines, close it), with the
 * same bytes as acm-inventory on the synthetic ACM, after truncating the log
 * once. Shared by the C floor program and the in-process benchmark. Returns 0,
 * or -1 if the log cannot be opened for a record. */
#ifndef ACM_INVENTORY_TESTS_BENCH_FLOOR_LOOP_H
#define ACM_INVENTORY_TESTS_BENCH_FLOOR_LOOP_H

#include <inttypes.h>
#include <stdio.h>

#include "synthetic_records.h"

static inline int synthetic_floor_loop(const char* path, unsigned drivers, unsigned tags,
                                       unsigned formats) {
    char name[48];
    char description[128];
    FILE* log = fopen(path, "w");
    if (log != NULL) {
        fclose(log);
    }
    for (unsigned d = 0; d < drivers; ++d) {
        for (unsigned t = 0; t < tags; ++t) {
            synthetic_tag_name(t, name);
            for (unsigned f = 0; f < formats; ++f) {
                synthetic_format_description(f, description);
                log = fopen(path, "a");
                if (log == NULL) {
                    return -1;
                }
                fprintf(log, "did=0x%08" PRIxPTR ", name=%.*s\r\n", synthetic_driver_id(d), 48,
                        name);
                fprintf(log, "  tag=0x%04" PRIx32 ", idx=0x%08x, [%.*s]\r\n", synthetic_tag(t), f,
                        128, description);
                fclose(log);
            }
        }
    }
    return 0;
}

#endif /* ACM_INVENTORY_TESTS_BENCH_FLOOR_LOOP_H */
