// What the connected application's kind decides. A TWAIN 2 application
// (DF_APP2 in the identity it opened the source with) is answered by the
// rules TWAIN 2 gives; a TWAIN 1.x application keeps the answers such
// applications were written against. Every difference between the two is
// one field here, so the handlers ask a question rather than a version.
#pragma once

#include "twain/twain.h"

struct ApplicationRules {
    // MSG_GET of a TW_BOOL capability answers a TW_ENUMERATION of its
    // values, not a TW_ONEVALUE.
    bool boolsAsEnumerations;
    // The condition code of a message a capability does not take, and of
    // a capability the source does not have.
    TW_UINT16 refusedCapabilityMessage;
    TW_UINT16 unknownCapability;
    // Capabilities and the frame are set and reset in state 4 only: in
    // states 5 to 7 they describe images that are already promised.
    bool negotiationInStateFourOnly;
    // CAP_XFERCOUNT 0 (no images at all) is refused.
    bool refuseZeroTransferCount;
    // A message a triplet does not know is refused with TWCC_BADPROTOCOL
    // before the state is looked at.
    bool checkMessageBeforeState;
    // ICAP_UNITS after opening and after a reset.
    TW_UINT16 firstUnits;
};

// The rules for the application that has the source open (a 1.x one's
// while nobody has).
const ApplicationRules& CurrentApplicationRules();
bool ApplicationIsTwain2();
