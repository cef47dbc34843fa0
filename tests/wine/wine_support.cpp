#include "wine_support.h"

#include <map>
#include <regex>

namespace wine_support {

void PrintTo(const Build& build, std::ostream* out) {
    *out << build.name;
}

const Build kX86 = {"x86", WINDOWS_X86_DIR};
const Build kX64 = {"x64", WINDOWS_X64_DIR};

std::string program(const Build& build) {
    return std::string(build.dir) + "/acm-inventory.exe";
}

std::string helper(const Build& build, const std::string& file) {
    return std::string(build.dir) + "/tests/wine/windows/" + file;
}

test_support::SpawnResult runWine(const std::string& prefix, const std::vector<std::string>& argv,
                                  const std::string& cwd,
                                  const std::vector<std::pair<std::string, std::string>>& env) {
    test_support::Spawn spawn;
    spawn.argv = {"wine"};
    spawn.argv.insert(spawn.argv.end(), argv.begin(), argv.end());
    spawn.cwd = cwd;
    // Wine's server keeps its socket under TMPDIR: beside the prefix, so that
    // removing the prefix leaves nothing behind.
    spawn.env = {{"WINEPREFIX", prefix},
                 {"TMPDIR", prefix + "-tmp"},
                 {"WINEDEBUG", "-all"},
                 {"WINEDLLOVERRIDES", "mscoree,mshtml="}};
    spawn.env.insert(spawn.env.end(), env.begin(), env.end());
    return test_support::spawn(spawn);
}

std::string wineVersion() {
    test_support::TempDir cwd;
    test_support::Spawn spawn;
    spawn.argv = {"wine", "--version"};
    spawn.cwd = cwd.path();
    const std::string out = test_support::spawn(spawn).out;
    return out.substr(0, out.find('\n'));
}

void clearScriptedDriverCache(const std::string& prefix) {
    const std::string key =
        "HKLM\\Software\\Microsoft\\AudioCompressionManager\\DriverCache\\msacm.scripted";
    test_support::TempDir cwd;
    for (const char* view : {"/reg:64", "/reg:32"}) {
        runWine(prefix, {"reg", "delete", key, view, "/f"}, cwd.path());
    }
}

std::string normalized(const std::string& log) {
    static const std::regex did("did=0x[0-9a-f]+,");
    std::map<std::string, std::string> names;
    std::string result;
    std::size_t done = 0;
    for (std::sregex_iterator it(log.begin(), log.end(), did); it != std::sregex_iterator(); ++it) {
        const auto inserted =
            names.emplace(it->str(), "did=D" + std::to_string(names.size() + 1) + ",");
        result += log.substr(done, static_cast<std::size_t>(it->position()) - done);
        result += inserted.first->second;
        done = static_cast<std::size_t>(it->position() + it->length());
    }
    return result + log.substr(done);
}

std::vector<Record> records(const std::string& log) {
    std::vector<Record> result;
    std::size_t at = 0;
    while (at < log.size()) {
        const std::size_t first = log.find("\r\n", at);
        const std::size_t second = first == std::string::npos ? first : log.find("\r\n", first + 2);
        const std::size_t end = second == std::string::npos ? log.size() : second + 2;
        const std::string lines = log.substr(at, end - at);
        const std::size_t comma = lines.find(',');
        result.push_back({lines.compare(0, 4, "did=") == 0 && comma != std::string::npos
                              ? lines.substr(4, comma - 4)
                              : std::string(),
                          lines});
        at = end;
    }
    return result;
}

}  // namespace wine_support
