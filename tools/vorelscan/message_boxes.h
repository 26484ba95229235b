// The source's message boxes as the tool meets them. The source runs in the
// tool's thread, so its boxes are this thread's windows: a hook reads the
// text of each box as it appears, so that a failure can be told in the
// source's own words, and on a display nobody sees answers it with its
// default button (printing the text), so that nothing waits for a user.
#pragma once

#include <string>

class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(bool answer);
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // The text of the last box seen since the last call ("" for none).
    std::string TakeLastText();
};

// What a box of the source says, in the tool's words when it is one of the
// scanner's known errors ("... [109]"), else its text on one line.
std::string BoxInWords(const std::string& text);
