// Reading the VOREL_SIM_* environment variables. Numbers must be whole
// decimal integers in range with nothing after them; anything else is
// reported and the default kept.
#include "simulator_settings.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace sim {
namespace {

bool ParseInteger(const char* text, long minimum, long maximum, long& value) {
    if (text == nullptr || *text == '\0') return false;
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || end == text) return false;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end != '\0' || parsed < minimum || parsed > maximum) return false;
    value = parsed;
    return true;
}

const char* Variable(const char* name) {
    const char* value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? value : nullptr;
}

void Complain(std::FILE* diagnostics, const char* name, const char* value, const char* expected,
              const char* fallback) {
    if (diagnostics == nullptr) return;
    std::fprintf(diagnostics, "VOREL32 simulator: %s=\"%s\" is not %s; using %s\n", name, value, expected,
                 fallback);
}

void ReadFlag(std::FILE* diagnostics, const char* name, bool& flag) {
    const char* text = Variable(name);
    if (text == nullptr) return;
    long value = 0;
    if (ParseInteger(text, 0, 1, value)) {
        flag = value != 0;
    } else {
        Complain(diagnostics, name, text, "0 or 1", flag ? "1" : "0");
    }
}

void ReadStatus(std::FILE* diagnostics, const char* name, std::int16_t& status) {
    const char* text = Variable(name);
    if (text == nullptr) return;
    long value = 0;
    if (ParseInteger(text, INT16_MIN, INT16_MAX, value)) {
        status = static_cast<std::int16_t>(value);
    } else {
        Complain(diagnostics, name, text, "a 16-bit status", "0");
    }
}

void ReadFeeder(std::FILE* diagnostics, SimulatorSettings& settings) {
    const char* text = Variable("VOREL_SIM_FEEDER");
    if (text == nullptr || std::strcmp(text, "none") == 0) return;
    if (std::strcmp(text, "enabled") == 0) {
        settings.feederEnabled = true;
    } else if (std::strcmp(text, "loaded") == 0) {
        settings.feederEnabled = true;
        settings.feederLoaded = true;
    } else {
        Complain(diagnostics, "VOREL_SIM_FEEDER", text, "none, enabled or loaded", "none");
    }
}

void ReadLineLimit(std::FILE* diagnostics, SimulatorSettings& settings) {
    const char* text = Variable("VOREL_SIM_LINES");
    if (text == nullptr) return;
    long value = 0;
    if (ParseInteger(text, 0, INT32_MAX, value)) {
        settings.lineLimit = static_cast<std::int32_t>(value);
    } else {
        Complain(diagnostics, "VOREL_SIM_LINES", text, "a line count of 0 or more", "no limit");
    }
}

// The injected failure: which call, counted from power-on, and the non-zero
// status it answers.
void ReadInjectedFailure(std::FILE* diagnostics, SimulatorSettings& settings) {
    long value = 0;
    if (const char* text = Variable("VOREL_SIM_FAIL_AT")) {
        if (ParseInteger(text, 0, INT32_MAX, value)) {
            settings.failAt = static_cast<std::int32_t>(value);
        } else {
            Complain(diagnostics, "VOREL_SIM_FAIL_AT", text, "a call number of 0 or more", "none");
        }
    }
    if (const char* text = Variable("VOREL_SIM_FAIL_STATUS")) {
        if (ParseInteger(text, INT16_MIN, INT16_MAX, value) && value != 0) {
            settings.failStatus = static_cast<std::int16_t>(value);
        } else {
            Complain(diagnostics, "VOREL_SIM_FAIL_STATUS", text, "a non-zero 16-bit status", "-6");
        }
    }
}

void ReadCount(std::FILE* diagnostics, const char* name, long minimum, const char* expected, std::int32_t& count) {
    const char* text = Variable(name);
    if (text == nullptr) return;
    long value = 0;
    if (ParseInteger(text, minimum, INT16_MAX, value)) {
        count = static_cast<std::int32_t>(value);
    } else {
        Complain(diagnostics, name, text, expected, std::to_string(count).c_str());
    }
}

// A comma-separated list of page, blank, line and signature, one word a
// sheet. A list with any other word is refused whole.
void ReadSheetContent(std::FILE* diagnostics, SimulatorSettings& settings) {
    const char* text = Variable("VOREL_SIM_SHEET_CONTENT");
    if (text == nullptr) return;
    std::vector<SheetContent> content;
    const std::string list = text;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = list.find(',', from);
        const std::string word = list.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        if (word == "page") {
            content.push_back(SheetContent::Page);
        } else if (word == "blank") {
            content.push_back(SheetContent::Blank);
        } else if (word == "line") {
            content.push_back(SheetContent::Line);
        } else if (word == "signature") {
            content.push_back(SheetContent::Signature);
        } else {
            Complain(diagnostics, "VOREL_SIM_SHEET_CONTENT", text, "a list of page, blank, line and signature",
                     "pages");
            return;
        }
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    settings.sheetContent = content;
}

}  // namespace

SimulatorSettings ReadSimulatorSettings(std::FILE* diagnostics) {
    SimulatorSettings settings;
    ReadFlag(diagnostics, "VOREL_SIM_COLOR", settings.colour);
    ReadStatus(diagnostics, "VOREL_SIM_OPEN", settings.openStatus);
    ReadStatus(diagnostics, "VOREL_SIM_RESET", settings.resetStatus);
    ReadFeeder(diagnostics, settings);
    ReadFlag(diagnostics, "VOREL_SIM_MATRIX7", settings.matrix7);
    ReadLineLimit(diagnostics, settings);
    ReadCount(diagnostics, "VOREL_SIM_SHEETS", 0, "a sheet count from 0 to 32767", settings.sheets);
    ReadCount(diagnostics, "VOREL_SIM_JAM", 1, "a sheet number from 1 to 32767", settings.jamSheet);
    if (const char* page = Variable("VOREL_SIM_PAGE")) settings.pagePath = page;
    if (const char* log = Variable("VOREL_SIM_LOG")) settings.logPath = log;
    ReadInjectedFailure(diagnostics, settings);
    ReadSheetContent(diagnostics, settings);
    if (const char* text = Variable("VOREL_SIM_RATE")) {
        long value = 0;
        if (ParseInteger(text, 1, INT32_MAX, value)) {
            settings.rate = value;
        } else {
            Complain(diagnostics, "VOREL_SIM_RATE", text, "a rate of 1 or more bytes per second", "full speed");
        }
    }
    return settings;
}

}  // namespace sim
