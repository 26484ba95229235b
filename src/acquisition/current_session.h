// The scan session of the current opening of the source. The module makes
// the session and its window; the protocol handlers reach both through here.
#pragma once

class ScanSession;

// Makes a new session with its window (the previous one goes) and returns
// it; registered by the module when it is loaded.
using SessionMaker = ScanSession* (*)();
void SetSessionMaker(SessionMaker maker);

// A new session for an opening of the source; null without a maker.
ScanSession* StartSession();
// The session of the current opening, or null.
ScanSession* CurrentSession();
void SetCurrentSession(ScanSession* session);
