// The two messages the source sends the source manager on its own.
#pragma once

// Sets the state to 600, then sends MSG_XFERREADY. Non-zero when the
// message reached the source manager.
int NotifyXferReady();
// Sends MSG_CLOSEDSREQ; no state change.
int NotifyCloseDSRequest();

#include "twain/twain.h"

// Native tests receive the messages here instead of a source manager.
using NotificationHook = void (*)(TW_UINT16 msg);
void SetNotificationHookForTesting(NotificationHook hook);
