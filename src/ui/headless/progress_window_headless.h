// What the headless progress window was asked to do, for the native tests.
// Its texts are kept without allocating, so that the fault sweeps count the
// same allocations in every cycle.
#pragma once

struct HeadlessProgressLog {
    int shows = 0;  // Show calls that made the window appear
    int hides = 0;
    bool visible = false;
    int updates = 0;
    char firstText[64] = "";  // the text of the window's first Show
    char lastText[64] = "";   // its text after the latest Show or Update
    char pageLabel[32] = "";  // the line above its bar, from the latest Show
    int cancelAtUpdate = 0;   // the Update that finds Cancel pressed; 0 never
    void* applicationWindow = nullptr;  // the owner it was given for when the dialog is hidden
};

extern HeadlessProgressLog headlessProgressLog;
