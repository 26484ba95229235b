// The messages the source sends the source manager on its own.
#pragma once

#include "twain/twain.h"

// Sets the state to 600, then sends MSG_XFERREADY. Non-zero when a source
// manager took the message; 0 when none could be reached or it refused, and
// the state is then back where it was: the application would otherwise
// wait for a transfer it is never told about.
int NotifyXferReady();
// Sends MSG_CLOSEDSREQ; no state change. Non-zero when a manager took it.
int NotifyCloseDSRequest();
// Sends MSG_CLOSEDSOK (the user accepted a set-up-only dialog); no state
// change. Non-zero when a manager took it.
int NotifyCloseDSOk();

// Native tests receive the messages here instead of a source manager; the
// hook answers as DSM_Entry would.
using NotificationHook = TW_UINT16 (*)(TW_UINT16 msg);
void SetNotificationHookForTesting(NotificationHook hook);
