// What every handler shares for reporting: the condition code of the last
// refusal, the diagnostic text composed at a refusal, the trace hook, and
// the dialog window that event processing hands messages to.
#pragma once

#include "twain/twain.h"

extern TW_UINT16 conditionCode;
extern void* dialogWindow;

// The text that goes with a condition code.
const char* ConditionText(TW_UINT16 code);

// Composes prefix + condition text. The source keeps no log: the text is
// only kept as the last diagnostic, for tests and debugging sessions.
void FailureText(const char* prefix, TW_UINT16 code);
const char* LastFailureText();

// The diagnostic trace hook; deliberately does nothing.
void Trace(const char* text);

// Sets conditionCode, composes the diagnostic text when a prefix is given,
// and returns TWRC_FAILURE: the common ending of a refusal.
TW_UINT16 Refuse(TW_UINT16 code, const char* prefix = nullptr);

// The condition code of a scanner's failure the user was not shown:
// `twain2Code` (TWCC_PAPERJAM, TWCC_NOMEDIA, TWCC_CHECKDEVICEONLINE) for a
// TWAIN 2 application, TWCC_BUMMER for a 1.x one, which knows no other.
TW_UINT16 DeviceCondition(TW_UINT16 twain2Code);
