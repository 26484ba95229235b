// Writing the call log. The file is opened and closed for every line so
// that each line is on disk when the call returns, even if the process
// using the library is killed mid-scan.
#include "call_log.h"

#include <cstdarg>
#include <cstdio>

namespace sim {

std::string Format(const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return length < 0 ? std::string() : std::string(text);
}

void AppendCallLog(const std::string& path, int ordinal, const char* name, const std::string& arguments,
                   const std::string& result) {
    if (path.empty()) return;
    static std::string reportedPath;
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr) {
        if (reportedPath != path) {
            std::fprintf(stderr, "VOREL32 simulator: VOREL_SIM_LOG=\"%s\" cannot be opened for appending; not logging\n",
                         path.c_str());
            reportedPath = path;
        }
        return;
    }
    std::fprintf(file, "%d %s(%s) = %s\n", ordinal, name, arguments.c_str(), result.c_str());
    std::fclose(file);
}

}  // namespace sim
