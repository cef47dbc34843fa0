// Helpers of the tests that run the Windows builds under Wine.
#ifndef ACM_INVENTORY_TESTS_WINE_WINE_SUPPORT_H
#define ACM_INVENTORY_TESTS_WINE_WINE_SUPPORT_H

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace wine_support {

// One of the two Windows build trees.
struct Build {
    const char* name;
    const char* dir;
};
void PrintTo(const Build& build, std::ostream* out);

extern const Build kX86;
extern const Build kX64;

std::string program(const Build& build);
std::string helper(const Build& build, const std::string& file);  // tests/wine/windows/<file>

// Runs argv (a Windows program and its arguments) under Wine in prefix, with
// no debug output and no installer dialogs, and env on top.
test_support::SpawnResult runWine(const std::string& prefix, const std::vector<std::string>& argv,
                                  const std::string& cwd,
                                  const std::vector<std::pair<std::string, std::string>>& env = {});

// What `wine --version` prints, without its line end ("wine-8.0 (...)").
std::string wineVersion();

// Wine caches a driver's details in the registry the first time it loads it;
// a run with another scenario of the scripted driver must clear the cache.
void clearScriptedDriverCache(const std::string& prefix);

// Driver identifiers are handles that may differ between processes and
// bitnesses: each becomes D1, D2, ... in order of first appearance. Meant for
// comparing two logs of the same codecs, which it changes alike.
std::string normalized(const std::string& log);

// A log's records: the driver identifier of each, and its two lines. The log
// is split at its line ends, so this holds only for logs whose names and
// descriptions hold no CR LF: those of Wine's own codecs and of the scripted
// driver's scenarios. Expected records are built with test_support::record.
struct Record {
    std::string did;  // "0x..."
    std::string lines;
};
std::vector<Record> records(const std::string& log);

}  // namespace wine_support

#endif  // ACM_INVENTORY_TESTS_WINE_WINE_SUPPORT_H
