// The inventory against its floor: the real walk and record writer on the
// synthetic ACM, and in the same run a loop that does only the I/O that every
// record needs (open the log for appending, write the two lines, close it)
// with the same bytes. Runs alternate between the two so that both see the
// same machine; the counters are medians over the runs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "floor_loop.h"
#include "inventory_walk.h"
#include "support/test_support.h"
#include "synthetic_acm.h"

namespace {

struct Shape {
    unsigned drivers;
    unsigned tags;
    unsigned formats;
};

// 10 drivers x 10 tags x (records / 100) formats.
Shape shapeOf(std::int64_t records) {
    return {10, 10, static_cast<unsigned>(records / 100)};
}

void floorLoop(const Shape& shape, const char* path) {
    if (synthetic_floor_loop(path, shape.drivers, shape.tags, shape.formats) != 0) {
        std::abort();
    }
}

template <typename Fn>
double secondsOf(Fn fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void inventoryAgainstFloor(benchmark::State& state) {
    const std::int64_t records = state.range(0);
    const Shape shape = shapeOf(records);
    synthetic::configure(shape.drivers, shape.tags, shape.formats);

    // Both write to the same folder, on the disk the benchmark runs from.
    char folder[] = "acm-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr || chdir(folder) != 0) {
        state.SkipWithError("cannot make a working folder");
        return;
    }

    std::vector<double> program;
    std::vector<double> floor;
    bool programFirst = true;
    for (auto _ : state) {
        double programSeconds = 0;
        double floorSeconds = 0;
        if (programFirst) {
            programSeconds = secondsOf([] { takeInventory(); });
            floorSeconds = secondsOf([&] { floorLoop(shape, "floor.log"); });
        } else {
            floorSeconds = secondsOf([&] { floorLoop(shape, "floor.log"); });
            programSeconds = secondsOf([] { takeInventory(); });
        }
        programFirst = !programFirst;
        state.SetIterationTime(programSeconds);
        program.push_back(programSeconds);
        floor.push_back(floorSeconds);
    }

    const std::string log = test_support::readFile("acm.log");
    const bool same = log == test_support::readFile("floor.log");
    const std::size_t lines = static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n'));
    std::remove("acm.log");
    std::remove("floor.log");
    if (chdir("..") != 0 || rmdir(folder) != 0) {
        state.SkipWithError("cannot remove the working folder");
        return;
    }
    if (!same || lines != 2 * static_cast<std::size_t>(records)) {
        state.SkipWithError("the program and the floor did not write the same records");
        return;
    }

    const double perRecord = 1e6 / static_cast<double>(records);
    state.counters["records"] = static_cast<double>(records);
    state.counters["floor_us_per_record"] = median(floor) * perRecord;
    state.counters["program_us_per_record"] = median(program) * perRecord;
    state.counters["ratio"] = median(program) / median(floor);
}

BENCHMARK(inventoryAgainstFloor)
    ->Arg(1000)
    ->Iterations(101)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(inventoryAgainstFloor)
    ->Arg(10000)
    ->Iterations(21)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(inventoryAgainstFloor)
    ->Arg(100000)
    ->Iterations(7)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
