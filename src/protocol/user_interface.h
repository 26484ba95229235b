// What the source's window asks of DAT_USERINTERFACE.
#pragma once

// "OK" in a set-up-only dialog (MSG_ENABLEDSUIONLY) showing `imageType`
// (0 bi-level, 1 grey, 2 colour): that type becomes the negotiated
// ICAP_PIXELTYPE and ICAP_BITDEPTH, the region the window shows stays the
// image layout (a region the user changed is no page size any more), and
// MSG_CLOSEDSOK goes to the application. Nothing is scanned. 0 when there
// was nothing to accept (not set-up only, accepted already) or no source
// manager took the message.
int AcceptShownSetup(int imageType);
