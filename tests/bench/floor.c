/* The floor of the inventory as a whole process: exactly the I/O that every
 * record needs (open acm.log for appending, write the two lines, close it),
 * with the same bytes as acm-inventory on the synthetic ACM, and nothing else.
 *   floor <drivers> <tags> <formats> */
#include <stdio.h>
#include <stdlib.h>

#include "floor_loop.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: floor <drivers> <tags> <formats>\n");
        return 2;
    }
    const unsigned drivers = (unsigned)strtoul(argv[1], NULL, 10);
    const unsigned tags = (unsigned)strtoul(argv[2], NULL, 10);
    const unsigned formats = (unsigned)strtoul(argv[3], NULL, 10);
    return synthetic_floor_loop("acm.log", drivers, tags, formats) == 0 ? 0 : 1;
}
