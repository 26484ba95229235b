// Error boxes for scanner failures, captioned with the source's name.
#include "device/error_message.h"

#include <string>

#include "platform/message_box.h"
#include "platform/strings.h"
#include "resources/resource_ids.h"

namespace {
bool boxesAllowed = true;
}  // namespace

void AllowErrorBoxes(bool allow) { boxesAllowed = allow; }
bool ErrorBoxesAllowed() { return boxesAllowed; }

int ShowErrorMessage(unsigned stringId) {
    if (!boxesAllowed) return 0;
    std::string text = platform::LoadStringResource(stringId);
    text += "  [" + std::to_string(stringId) + "]";
    std::string caption = platform::LoadStringResource(IDS_PRODUCT_NAME);
    platform::ShowMessageBox(nullptr, text.c_str(), caption.c_str(), platform::kBoxOk | platform::kBoxIconWarning);
    return 0;
}
