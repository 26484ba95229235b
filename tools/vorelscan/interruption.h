// Ctrl-C while vorelscan runs. A console program hears of it through a
// console control event (Wine raises one when the process receives
// SIGINT), handled on a thread of its own. That thread asks the main
// thread to stop the way a user would: the Cancel button of the source's
// progress window, a quit for a message loop waiting on the source, and a
// flag the tool reads between memory strips. The main thread then leaves
// the user's file as it was and removes its part files. Should it not have
// finished within the grace period (a source with no window to cancel), the
// control thread removes every part file of the tool itself, leaves a
// hidden command to remove the part file the source was writing once the
// process has gone, and ends the process.
#pragma once

#include <string>

namespace interruption {

// The exit code of an interrupted scan (as a shell gives for SIGINT).
constexpr int kExitCode = 130;

// Registers the control handler; the calling thread is the one that drives
// the source.
void Install();
// An interrupt arrived.
bool Requested();
// The main thread is done with the source and its files: the control
// thread need not step in.
void Finished();

// Part files of the tool, registered for as long as they exist, so that a
// forced end removes them.
void AddPart(const std::wstring& name);
void RemovePart(const std::wstring& name);
// A file transfer into `folder` starts (Watch) and ends (Unwatch): a part
// file of the source's that appears there meanwhile is the transfer's.
void WatchSourceParts(const std::wstring& folder);
void UnwatchSourceParts();

// Calls `move` (which puts a finished file over the user's) unless an
// interrupt has arrived; a forced end cannot come between the check and
// the move. Returns false without calling it when interrupted.
bool UnlessInterrupted(bool (*move)(void* context), void* context);

}  // namespace interruption
