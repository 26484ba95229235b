// The simulated command library's twelve functions, the only way in from
// outside. Each takes the lock, hands its arguments to the one Simulator,
// keeps any exception from crossing into the caller (it becomes an
// internal-error status) and writes the call to the log when one is
// asked for. Natively the same functions make up SimulatedScannerLibrary().
#include <mutex>
#include <string>

#include "call_log.h"
#include "simulated_library.h"
#include "simulator.h"
#include "simulator_status.h"

namespace {

using sim::Format;
using sim::Simulator;

std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}

// Created on the first call, so the environment is read when the library is
// first used rather than while the loader holds its own lock. created says
// whether this call switched it on.
Simulator& Instance(bool* created = nullptr) {
    static bool exists = false;
    static Simulator simulator;
    if (created != nullptr) *created = !exists;
    exists = true;
    return simulator;
}

std::string Pointer(const void* pointer) { return pointer == nullptr ? "null" : "ptr"; }

std::string Status(std::int16_t status) { return Format("%d", status); }

// Runs one command. describe(status) gives the log line's arguments and
// result; it runs only when there is a log.
template <typename Command, typename Describe>
std::int16_t Call(int ordinal, const char* name, Command command, Describe describe) {
    std::lock_guard<std::mutex> guard(Lock());
    Simulator* simulator = nullptr;
    std::int16_t status = sim::kInternalError;
    try {
        simulator = &Instance();
        if (!simulator->InjectFailure(status)) status = command(*simulator);
    } catch (...) {
        if (simulator != nullptr) status = simulator->InternalError();
    }
    if (simulator != nullptr && !simulator->Settings().logPath.empty()) {
        try {
            std::string arguments;
            std::string result = Status(status);
            describe(arguments, result);
            sim::AppendCallLog(simulator->Settings().logPath, ordinal, name, arguments, result);
        } catch (...) {
            // A log line that cannot be built is not worth failing the call.
        }
    }
    return status;
}

}  // namespace

extern "C" {

std::int16_t VOREL_API OpenScanner(std::uint16_t window, std::int16_t flag) {
    return Call(
        2, "OpenScanner", [&](Simulator& s) { return s.OpenScanner(window, flag); },
        [&](std::string& arguments, std::string&) { arguments = Format("%u, %d", unsigned{window}, flag); });
}

std::int16_t VOREL_API DownloadBlock(std::int16_t type, void* buffer) {
    return Call(
        9, "DownloadBlock", [&](Simulator& s) { return s.DownloadBlock(type, buffer); },
        [&](std::string& arguments, std::string&) {
            arguments = Format("%d, %s", type, Pointer(buffer).c_str());
            if (buffer == nullptr) return;
            const auto* bytes = static_cast<const std::uint8_t*>(buffer);
            if (type == 2) {
                arguments += " {";
                for (int k = 0; k < 9; ++k) arguments += Format(k == 0 ? "%d" : " %d", static_cast<std::int8_t>(bytes[k]));
                arguments += "}";
            } else if (type == 1) {
                arguments += Format(" {%u %u ... %u %u}", bytes[0], bytes[1], bytes[254], bytes[255]);
            }
        });
}

std::int16_t VOREL_API GetScanGeometry(ScanGeometry* geometry) {
    return Call(
        10, "GetScanGeometry", [&](Simulator& s) { return s.GetScanGeometry(geometry); },
        [&](std::string& arguments, std::string& result) {
            arguments = Pointer(geometry);
            if (result == "0") {
                result += Format(" {pixels %d, bytes %d, lines %d, total %ld}", geometry->pixelsPerLine,
                                 geometry->bytesPerLine, geometry->lines, static_cast<long>(geometry->totalBytes));
            }
        });
}

std::int16_t VOREL_API ResetScanner() {
    return Call(
        13, "ResetScanner", [&](Simulator& s) { return s.ResetScanner(); }, [&](std::string&, std::string&) {});
}

std::int16_t VOREL_API ReadScanData(std::int16_t mode, void* buffer, std::int32_t count, std::int32_t* got) {
    return Call(
        14, "ReadScanData", [&](Simulator& s) { return s.ReadScanData(mode, buffer, count, got); },
        [&](std::string& arguments, std::string& result) {
            arguments = Format("%d, %s, %ld, %s", mode, Pointer(buffer).c_str(), static_cast<long>(count),
                               Pointer(got).c_str());
            if (got != nullptr) result += Format(" [got %ld]", static_cast<long>(*got));
        });
}

std::int16_t VOREL_API SetScanResolution(std::int16_t x, std::int16_t y) {
    return Call(
        17, "SetScanResolution", [&](Simulator& s) { return s.SetScanResolution(x, y); },
        [&](std::string& arguments, std::string&) { arguments = Format("%d, %d", x, y); });
}

std::int16_t VOREL_API SetScaling(std::int16_t x, std::int16_t y) {
    return Call(
        18, "SetScaling", [&](Simulator& s) { return s.SetScaling(x, y); },
        [&](std::string& arguments, std::string&) { arguments = Format("%d, %d", x, y); });
}

std::int16_t VOREL_API SetScanWindow(std::uint16_t* window, std::int16_t zero) {
    return Call(
        20, "SetScanWindow", [&](Simulator& s) { return s.SetScanWindow(window, zero); },
        [&](std::string& arguments, std::string&) {
            arguments = window == nullptr ? Format("null, %d", zero)
                                          : Format("{%u, %u, %u, %u, %u}, %d", unsigned{window[0]}, unsigned{window[1]},
                                                   unsigned{window[2]}, unsigned{window[3]}, unsigned{window[4]}, zero);
        });
}

std::int16_t VOREL_API UploadBlock(std::int16_t type, void* buffer, std::int16_t maxLength, std::int16_t* length) {
    return Call(
        22, "UploadBlock", [&](Simulator& s) { return s.UploadBlock(type, buffer, maxLength, length); },
        [&](std::string& arguments, std::string& result) {
            arguments = Format("%d, %s, %d, %s", type, Pointer(buffer).c_str(), maxLength, Pointer(length).c_str());
            if (result == "0") result += Format(" [length %d]", *length);
        });
}

std::int16_t VOREL_API InquireParameter(std::int16_t code, std::int16_t form, std::int16_t* value) {
    return Call(
        26, "InquireParameter", [&](Simulator& s) { return s.InquireParameter(code, form, value); },
        [&](std::string& arguments, std::string& result) {
            arguments = Format("%d, %d, %s", code, form, Pointer(value).c_str());
            if (result == "0") result += Format(" [value %d]", *value);
        });
}

std::int16_t VOREL_API GetCommandError() {
    return Call(
        27, "GetCommandError", [&](Simulator& s) { return s.GetCommandError(); }, [&](std::string&, std::string&) {});
}

std::int16_t VOREL_API SetParameter(std::int16_t code, std::int16_t value) {
    return Call(
        30, "SetParameter", [&](Simulator& s) { return s.SetParameter(code, value); },
        [&](std::string& arguments, std::string&) { arguments = Format("%d, %d", code, value); });
}

}  // extern "C"

const ScannerLibrary& SimulatedScannerLibrary() {
    static const ScannerLibrary library = {
        OpenScanner,  DownloadBlock, GetScanGeometry, ResetScanner,     ReadScanData,     SetScanResolution,
        SetScaling,   SetScanWindow, UploadBlock,     InquireParameter, GetCommandError, SetParameter,
    };
    return library;
}

void ResetSimulator() {
    std::lock_guard<std::mutex> guard(Lock());
    bool created = false;
    Simulator& simulator = Instance(&created);
    if (!created) simulator.PowerOn();  // a new one has just read the environment
}
