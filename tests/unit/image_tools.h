// Running the image readers the formats are checked against (libtiff's
// tiffinfo, ImageMagick's identify and convert) on files the tests wrote,
// and scratch files for them. Tests skip when a tool is not installed.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace image_tools {

inline bool Installed(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

struct Result {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};

inline Result Run(const std::string& command) {
    Result result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return result;
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) result.output.append(chunk, n);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// A fresh file name in the system's temporary folder; the file is removed
// with the object.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& suffix) {
        char pattern[] = "/tmp/vorel_testXXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0) close(fd);
        base_ = pattern;
        path_ = base_ + suffix;
        std::remove(path_.c_str());
    }
    ~ScratchFile() {
        std::remove(path_.c_str());
        std::remove(base_.c_str());
    }
    const std::string& path() const { return path_; }
    const char* c_str() const { return path_.c_str(); }

private:
    std::string base_;
    std::string path_;
};

inline std::vector<unsigned char> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

}  // namespace image_tools
