// The current scan session and the maker of new ones.
#include "acquisition/current_session.h"

namespace {
SessionMaker sessionMaker = nullptr;
ScanSession* currentSession = nullptr;
}  // namespace

void SetSessionMaker(SessionMaker maker) { sessionMaker = maker; }

ScanSession* StartSession() { return sessionMaker != nullptr ? sessionMaker() : nullptr; }

ScanSession* CurrentSession() { return currentSession; }

void SetCurrentSession(ScanSession* session) { currentSession = session; }
