// tools/run-inventory --prefix: the inventory of a Wine prefix that exists
// already, taken by both Windows builds (the 32-bit one only in a 32-bit
// prefix), which leaves the prefix as it found it and refuses a folder that
// is not a prefix.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "wine_support.h"

namespace {

using test_support::readFile;
using test_support::TempDir;

// Runs tools/run-inventory --prefix on prefix, named as seen from a fresh
// working folder: by its full path, or relative to that folder; with path
// (if given) as its PATH.
test_support::SpawnResult runInventory(const std::string& prefix, bool relative = false,
                                       const std::string& path = "") {
    TempDir cwd;
    test_support::Spawn spawn;
    spawn.argv = {SOURCE_DIR "/tools/run-inventory", "--prefix",
                  relative ? std::filesystem::relative(prefix, cwd.path()).string() : prefix};
    spawn.cwd = cwd.path();
    // The same Wine server as the other tests in that prefix use; the
    // scripted driver, where there is one, lists its plainest scenario.
    spawn.env = {{"TMPDIR", prefix + "-tmp"}, {"ACM_SCRIPTED_DRIVER", "clean"}};
    if (!path.empty()) {
        spawn.env.emplace_back("PATH", path);
    }
    return test_support::spawn(spawn);
}

// What run-inventory prints for one build's run: a heading and the log.
// *log receives the log.
std::string printedRun(const std::string& arch, const std::string& prefix, std::string* log) {
    const std::string run = SOURCE_DIR "/build/inventory/prefix-" + arch;
    *log = readFile(run + "/acm.log");
    return "== windows-" + arch + " in " + prefix + ": exit status 0; " + run + "/acm.log:\n" +
           *log;
}

// The scripted driver's records in its "clean" scenario, under the one
// identifier of the log that they stand under: as many as there are.
int scriptedDriverListings(const std::string& log) {
    std::set<std::string> dids;
    for (const wine_support::Record& record : wine_support::records(log)) {
        dids.insert(record.did);
    }
    int listings = 0;
    for (const std::string& did : dids) {
        std::string block;
        for (std::uint32_t index = 0; index < 3; ++index) {
            block += test_support::record(std::stoull(did, nullptr, 16), "Scripted ADPCM", 0xa101,
                                          index, "Scripted ADPCM format");
        }
        listings += log.find(block) != std::string::npos ? 1 : 0;
    }
    return listings;
}

// The parts of a prefix that make it one, and the driver installed in it.
std::vector<std::string> prefixState(const std::string& prefix) {
    std::vector<std::string> state;
    for (const char* file :
         {"system.reg", "user.reg", "drive_c/windows/system.ini",
          "drive_c/windows/system32/scripted.acm", "drive_c/windows/syswow64/scripted.acm"}) {
        const std::string path = prefix + "/" + file;
        state.push_back(file + std::string(std::filesystem::exists(path) ? " exists" : " missing"));
        if (std::string(file).find(".acm") != std::string::npos ||
            std::string(file).find(".ini") != std::string::npos) {
            state.push_back(readFile(path));
        }
    }
    return state;
}

TEST(RunInventoryPrefix, ListsACodecDriverOfThePrefixInBothBuildsAndLeavesThePrefixAlone) {
    const std::string prefix = WINE_DRIVER_PREFIX;
    const std::vector<std::string> before = prefixState(prefix);
    wine_support::clearScriptedDriverCache(prefix);

    const test_support::SpawnResult result = runInventory(prefix);
    EXPECT_EQ(0, result.status) << result.err;
    std::string x86;
    std::string x64;
    const std::string expected = "== " + wine_support::wineVersion() + " in the prefix " + prefix +
                                 "\n" + printedRun("x86", prefix, &x86) +
                                 printedRun("x64", prefix, &x64);
    EXPECT_EQ(expected, result.out);
    EXPECT_EQ(1, scriptedDriverListings(x86)) << x86;
    EXPECT_EQ(1, scriptedDriverListings(x64)) << x64;
    EXPECT_EQ(before, prefixState(prefix));
}

TEST(RunInventory32BitPrefix, RunsOnlyThe32BitBuildAndSaysSo) {
    const std::string prefix = WINE32_PREFIX;
    ASSERT_FALSE(std::filesystem::exists(prefix + "/drive_c/windows/syswow64"));
    const test_support::SpawnResult result = runInventory(prefix, true);
    EXPECT_EQ(0, result.status) << result.err;
    std::string x86;
    EXPECT_EQ("== " + wine_support::wineVersion() + " in the prefix " + prefix +
                  "\n== a 32-bit prefix (no drive_c/windows/syswow64): the 32-bit build " +
                  "only\n" + printedRun("x86", prefix, &x86),
              result.out);
    EXPECT_NE("", x86) << "Wine's own codecs";
}

TEST(RunInventoryPrefix, ReportsARunThatWritesNoLogAndGoesOnWithTheOtherBuild) {
    // A Wine that starts no program, on the PATH before the real one, and a
    // folder shaped like a 64-bit prefix for it.
    TempDir fake;
    std::filesystem::create_directories(fake.file("prefix/drive_c/windows/syswow64"));
    test_support::writeFile(fake.file("prefix/system.reg"), "");
    std::filesystem::create_directory(fake.file("bin"));
    test_support::writeFile(
        fake.file("bin/wine"),
        "#!/bin/sh\n[ \"$1\" = --version ] && echo wine-0.0 && exit 0\nexit 3\n");
    std::filesystem::permissions(fake.file("bin/wine"), std::filesystem::perms::owner_all);

    const test_support::SpawnResult result =
        runInventory(fake.file("prefix"), false, fake.file("bin") + ":" + std::getenv("PATH"));

    EXPECT_EQ(1, result.status) << result.err;
    std::string expected = "== wine-0.0 in the prefix " + fake.file("prefix") + "\n";
    for (const char* arch : {"x86", "x64"}) {
        expected += std::string("== windows-") + arch + " in " + fake.file("prefix") +
                    ": exit status 3; no acm.log was written\n";
    }
    EXPECT_EQ(expected, result.out);
}

TEST(RunInventoryPrefix, RefusesAFolderThatIsNotAPrefixAndChangesNothing) {
    TempDir notAPrefix;
    test_support::writeFile(notAPrefix.file("notes.txt"), "mine\n");
    std::filesystem::create_directory(notAPrefix.file("windows"));
    const std::string missing = notAPrefix.file("missing");
    for (const std::string& dir : {notAPrefix.path(), missing}) {
        SCOPED_TRACE(dir);
        const test_support::SpawnResult result = runInventory(dir);
        EXPECT_EQ(2, result.status);
        EXPECT_EQ("", result.out);
        EXPECT_EQ("run-inventory: " + dir +
                      " is not a Wine prefix (no drive_c or system.reg); nothing was run or "
                      "changed\n",
                  result.err);
    }
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::directory_iterator(notAPrefix.path())) {
        entries.push_back(entry.path().filename().string());
    }
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ((std::vector<std::string>{"notes.txt", "windows"}), entries);
    EXPECT_EQ("mine\n", readFile(notAPrefix.file("notes.txt")));
}

}  // namespace
