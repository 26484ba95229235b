// The record of library calls that VOREL_SIM_LOG asks for: one line per
// call with the ordinal, the name, the arguments and the result, appended
// to a file so that several processes (the source under Wine and a test
// reading the file) can follow a session.
#pragma once

#include <string>

namespace sim {

// Appends "ordinal name(arguments) = result" and a newline to the file at
// path. Nothing happens when path is empty; a file that cannot be opened
// is reported on stderr once and then left alone.
void AppendCallLog(const std::string& path, int ordinal, const char* name, const std::string& arguments,
                   const std::string& result);

// printf-style formatting into a std::string, for the log's fields.
std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace sim
