// The two messages the source sends the source manager on its own.
#pragma once

// Sets the state to 600, then sends MSG_XFERREADY. Non-zero when the
// message reached the source manager.
int NotifyXferReady();
// Sends MSG_CLOSEDSREQ; no state change.
int NotifyCloseDSRequest();
