// DAT_STATUS: reports the condition code of the last refusal, once.
#include "protocol/handlers.h"
#include "protocol/reporting.h"

TW_UINT16 StatusHandler(const TripletRequest* request) noexcept {
    if (request->msg != MSG_GET) return Refuse(TWCC_BADPROTOCOL, "General failure in response to DAT_STATUS.  ");
    auto* status = WritableData<TW_STATUS>(request);
    if (status == nullptr) return Refuse(TWCC_BADVALUE, "General failure in response to DAT_STATUS.  ");
    status->ConditionCode = conditionCode;
    status->Reserved = 0;
    conditionCode = TWCC_SUCCESS;
    return TWRC_SUCCESS;
}
