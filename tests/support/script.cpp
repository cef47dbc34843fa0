// The text form of a scripted registry; see parse() in scripted_acm.h.
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "scripted_acm.h"

namespace scripted {
namespace {

bool readNumber(std::istringstream& line, unsigned long long limit, unsigned long long* value) {
    std::string word;
    if (!(line >> word)) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    *value = std::strtoull(word.c_str(), &end, 0);
    return errno == 0 && *end == '\0' && *value <= limit;
}

bool readDword(std::istringstream& line, DWORD* value) {
    unsigned long long number = 0;
    const bool ok = readNumber(line, 0xFFFFFFFFull, &number);
    *value = static_cast<DWORD>(number);
    return ok;
}

// "<support>" or "<support>/<handed>".
bool readSupport(std::istringstream& line, DWORD* support, std::optional<DWORD>* handed) {
    std::string word;
    if (!(line >> word)) {
        return false;
    }
    const std::size_t slash = word.find('/');
    std::istringstream own(word.substr(0, slash));
    if (!readDword(own, support)) {
        return false;
    }
    handed->reset();
    if (slash == std::string::npos) {
        return true;
    }
    std::istringstream other(word.substr(slash + 1));
    DWORD value = 0;
    if (!readDword(other, &value)) {
        return false;
    }
    *handed = value;
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The rest of the line after one separating space, with \xNN and \\ undone.
bool readText(std::istringstream& line, std::string* text) {
    std::string rest;
    std::getline(line, rest);
    if (!rest.empty()) {
        rest.erase(0, 1);
    }
    text->clear();
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '\\') {
            *text += rest[i];
        } else if (i + 1 < rest.size() && rest[i + 1] == '\\') {
            *text += '\\';
            ++i;
        } else if (i + 3 < rest.size() && rest[i + 1] == 'x' && hexDigit(rest[i + 2]) >= 0 &&
                   hexDigit(rest[i + 3]) >= 0) {
            *text += static_cast<char>(hexDigit(rest[i + 2]) * 16 + hexDigit(rest[i + 3]));
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

bool readOp(const std::string& name, Op* op) {
    static const struct {
        const char* name;
        Op op;
    } kOps[] = {{"driver-enum", Op::DriverEnum},   {"driver-open", Op::DriverOpen},
                {"driver-close", Op::DriverClose}, {"tag-enum", Op::TagEnum},
                {"format-enum", Op::FormatEnum},   {"metrics", Op::Metrics}};
    for (const auto& known : kOps) {
        if (name == known.name) {
            *op = known.op;
            return true;
        }
    }
    return false;
}

bool parseLine(const std::string& text, Registry* registry) {
    std::istringstream line(text);
    std::string keyword;
    if (!(line >> keyword) || keyword[0] == '#') {
        return true;
    }
    if (keyword == "metrics") {
        return readDword(line, &registry->metricsResult) &&
               readDword(line, &registry->maxFormatSize);
    }
    if (keyword == "driver") {
        Driver driver;
        unsigned long long id = 0;
        if (!readNumber(line, UINTPTR_MAX, &id) || !readDword(line, &driver.support)) {
            return false;
        }
        driver.id = static_cast<std::uintptr_t>(id);
        std::string option;
        while (line >> option) {
            if (option == "refuse-first") {
                driver.refuseFirstOpen = true;
            } else if (option == "refuse-second") {
                driver.refuseSecondOpen = true;
            } else {
                return false;
            }
        }
        registry->drivers.push_back(driver);
        return true;
    }
    if (keyword == "tag") {
        Tag tag;
        if (registry->drivers.empty() || !readDword(line, &tag.tag) ||
            !readSupport(line, &tag.support, &tag.handedSupport) ||
            !readDword(line, &tag.standardFormats) || !readText(line, &tag.name)) {
            return false;
        }
        registry->drivers.back().tags.push_back(tag);
        return true;
    }
    if (keyword == "format") {
        Format format;
        if (registry->drivers.empty() || registry->drivers.back().tags.empty() ||
            !readSupport(line, &format.support, &format.handedSupport) ||
            !readText(line, &format.description)) {
            return false;
        }
        registry->drivers.back().tags.back().formats.push_back(format);
        return true;
    }
    if (keyword == "fail") {
        Fault fault;
        std::string op;
        unsigned long long nth = 0;
        std::string forever;
        if (!(line >> op) || !readOp(op, &fault.op) || !readNumber(line, 1000000, &nth)) {
            return false;
        }
        fault.nth = static_cast<int>(nth);
        if (line >> forever) {
            if (forever != "forever") {
                return false;
            }
            fault.persistent = true;
        }
        registry->faults.push_back(fault);
        return true;
    }
    return false;
}

}  // namespace

Registry parse(const std::string& script, std::string* error) {
    Registry registry;
    std::istringstream lines(script);
    std::string text;
    int number = 0;
    while (std::getline(lines, text)) {
        ++number;
        if (!parseLine(text, &registry)) {
            *error = "script line " + std::to_string(number) + ": " + text;
            return Registry();
        }
    }
    error->clear();
    return registry;
}

}  // namespace scripted
