// What the headless dialog window was asked to do, for the native tests.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ui/headless/headless_list.h"

// A setting control of the headless window: a list's entries and
// selection, a slider's range and position, a text.
struct HeadlessControl {
    std::vector<std::string> entries;
    int selected = -1;
    int minimum = 0;
    int maximum = 0;
    int position = 0;
    std::string text;
    bool enabled = true;
};

struct HeadlessWindowLog {
    bool failCreation = false;  // the next creations fail, as when no window can be made
    int windowsAlive = 0;
    bool scanButtonsEnabled = true;
    std::string scanButtonText;  // empty: the text the window was made with
    bool setupControlsEnabled = true;  // the image type list and the preview
    std::map<int, HeadlessControl> controls;  // by control id
    std::string aboutMenuText;
    int aboutBoxes = 0;
    int renders = 0;
    // Event processing: whether the dialog takes the messages it is offered,
    // and the window and message it was last offered.
    bool consumeMessages = false;
    void* offeredWindow = nullptr;
    void* offeredMessage = nullptr;
};

extern HeadlessWindowLog headlessWindowLog;
