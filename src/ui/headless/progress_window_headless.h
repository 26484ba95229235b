// What the headless progress window was asked to do, for the native tests.
#pragma once

#include <string>
#include <vector>

struct HeadlessProgressLog {
    int shows = 0;     // Show calls that made the window appear
    int hides = 0;
    bool visible = false;
    int updates = 0;
    std::vector<std::string> texts;  // the text after each Show and Update
    int cancelAtUpdate = 0;          // the Update that finds Cancel pressed; 0 never
};

extern HeadlessProgressLog headlessProgressLog;
