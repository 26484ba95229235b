// Condition code, condition texts, diagnostic texts and the trace hook.
#include "protocol/reporting.h"

#include <cstdio>

#include "protocol/application_rules.h"

TW_UINT16 conditionCode = TWCC_SUCCESS;
void* dialogWindow = nullptr;

TW_UINT16 DeviceCondition(TW_UINT16 twain2Code) {
    return ApplicationIsTwain2() ? twain2Code : TWCC_BUMMER;
}

namespace {
// Room for the longest prefix (66 characters) and the longest text (68).
char lastFailureText[180] = "";
}  // namespace

const char* ConditionText(TW_UINT16 code) {
    switch (code) {
        case TWCC_SUCCESS: return "Success message from detailed error request ??";
        case TWCC_BUMMER: return "Bummer error.";
        case TWCC_LOWMEMORY: return "Low Memory Condition encountered, free up some memory and try again.";
        case TWCC_NODS: return "No Data Source found error.";
        case TWCC_MAXCONNECTIONS: return "Source is connected to max possible apps.";
        case TWCC_OPERATIONERROR: return "An operation error just occurred.";
        case TWCC_BADCAP: return "Bad capabilities error.";
        case TWCC_BADPROTOCOL: return "Bad protocol error.";
        case TWCC_BADVALUE: return "Bad value error.";
        case TWCC_SEQERROR: return "DG DAT MSG is out of expected sequence.";
        default: return "Unknown Error value in condition code.";
    }
}

void FailureText(const char* prefix, TW_UINT16 code) {
    std::snprintf(lastFailureText, sizeof lastFailureText, "%s%s", prefix ? prefix : "", ConditionText(code));
}

const char* LastFailureText() { return lastFailureText; }

void Trace(const char*) {}

TW_UINT16 Refuse(TW_UINT16 code, const char* prefix) {
    conditionCode = code;
    if (prefix != nullptr) FailureText(prefix, code);
    return TWRC_FAILURE;
}
