// A synthetic ACM for the benchmarks: drivers x tags x formats records made
// up on the fly, so that it costs next to nothing and its memory does not grow
// with the number of records.
#ifndef ACM_INVENTORY_TESTS_BENCH_SYNTHETIC_ACM_H
#define ACM_INVENTORY_TESTS_BENCH_SYNTHETIC_ACM_H

namespace synthetic {

// Serves drivers x tags x formats records from now on.
void configure(unsigned drivers, unsigned tags, unsigned formats);

}  // namespace synthetic

#endif  // ACM_INVENTORY_TESTS_BENCH_SYNTHETIC_ACM_H
