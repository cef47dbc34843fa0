// Configures the synthetic ACM, when it is loaded as the program's ACM, from
// SYNTHETIC_ACM="<drivers>,<tags>,<formats>" (default 10,10,10).
#include <cstdio>
#include <cstdlib>

#include "synthetic_acm.h"

namespace {

__attribute__((constructor)) void configureFromEnvironment() {
    unsigned drivers = 10;
    unsigned tags = 10;
    unsigned formats = 10;
    if (const char* shape = std::getenv("SYNTHETIC_ACM")) {
        if (std::sscanf(shape, "%u,%u,%u", &drivers, &tags, &formats) != 3) {
            std::fprintf(stderr,
                         "synthetic ACM: SYNTHETIC_ACM is not <drivers>,<tags>,<formats>\n");
            std::abort();
        }
    }
    synthetic::configure(drivers, tags, formats);
}

}  // namespace
