/* The floor of the inventory as a whole process: exactly the I/O that every
 * record needs (open acm.log for appending, write the two lines, close it),
 * with the same bytes as acm-inventory on the synthetic ACM, and nothing else.
 *   floor <drivers> <tags> <formats> */
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>

#include "synthetic_records.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: floor <drivers> <tags> <formats>\n");
        return 2;
    }
    const unsigned drivers = (unsigned)strtoul(argv[1], NULL, 10);
    const unsigned tags = (unsigned)strtoul(argv[2], NULL, 10);
    const unsigned formats = (unsigned)strtoul(argv[3], NULL, 10);
    char name[48];
    char description[128];

    FILE* log = fopen("acm.log", "w");
    if (log != NULL) {
        fclose(log);
    }
    for (unsigned d = 0; d < drivers; ++d) {
        for (unsigned t = 0; t < tags; ++t) {
            synthetic_tag_name(t, name);
            for (unsigned f = 0; f < formats; ++f) {
                synthetic_format_description(f, description);
                log = fopen("acm.log", "a");
                if (log == NULL) {
                    return 1;
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
