// The two sets of rules and the choice between them.
#include "protocol/application_rules.h"

#include "protocol/source_globals.h"

namespace {

constexpr ApplicationRules kTwain2Rules{
    true,                  // boolsAsEnumerations
    TWCC_CAPBADOPERATION,  // refusedCapabilityMessage
    TWCC_CAPUNSUPPORTED,   // unknownCapability
    true,                  // negotiationInStateFourOnly
    true,                  // refuseZeroTransferCount
    true,                  // checkMessageBeforeState
    TWUN_INCHES,           // firstUnits
};

// A 1.x application has always been answered so: pixels, the units the
// source measured in, and the older condition codes.
constexpr ApplicationRules kTwain1Rules{
    false,            // boolsAsEnumerations
    TWCC_BADPROTOCOL, // refusedCapabilityMessage
    TWCC_BADCAP,      // unknownCapability
    false,            // negotiationInStateFourOnly
    false,            // refuseZeroTransferCount
    false,            // checkMessageBeforeState
    TWUN_PIXELS,      // firstUnits
};

}  // namespace

bool ApplicationIsTwain2() { return (appIdentity.SupportedGroups & DF_APP2) != 0; }

const ApplicationRules& CurrentApplicationRules() { return ApplicationIsTwain2() ? kTwain2Rules : kTwain1Rules; }
