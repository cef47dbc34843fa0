// Loads the scripted ACM's registry when the shared library is loaded, from
// the file named by SCRIPTED_ACM (no variable: no drivers), and writes what
// it saw of the handles to the file named by SCRIPTED_ACM_REPORT at exit.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "scripted_acm.h"

namespace {

void writeReport() {
    const char* path = std::getenv("SCRIPTED_ACM_REPORT");
    if (path == nullptr) {
        return;
    }
    const scripted::HandleReport report = scripted::handles();
    std::ofstream out(path, std::ios::binary);
    out << "opened=" << report.opened << " closed=" << report.closed
        << " most-on-one-driver=" << report.mostOnOneDriver << " bad-calls=" << report.badCalls
        << "\n"
        << scripted::trace();
}

__attribute__((constructor)) void loadScript() {
    std::string script;
    if (const char* path = std::getenv("SCRIPTED_ACM")) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        script = text.str();
    }
    std::string error;
    const scripted::Registry registry = scripted::parse(script, &error);
    if (!error.empty()) {
        std::fprintf(stderr, "scripted ACM: %s\n", error.c_str());
        std::abort();
    }
    scripted::install(registry);
    // Registered after the scripted ACM's state exists, so it runs first at exit.
    std::atexit(writeReport);
}

}  // namespace
