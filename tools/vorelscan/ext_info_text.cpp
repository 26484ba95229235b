#include "ext_info_text.h"

#include <cstdio>

namespace {

// The source's own item: how many feeder sheets it dropped as blank right
// before this page.
constexpr TW_UINT16 kBlankSheetsBefore = 0x8001;

struct ItemName {
    TW_UINT16 id;
    const char* name;
};
constexpr ItemName kItems[] = {
    {TWEI_DOCUMENTNUMBER, "document"}, {TWEI_PAGENUMBER, "page"},      {TWEI_PAGESIDE, "side"},
    {TWEI_FRAMENUMBER, "frame number"}, {TWEI_FRAME, "frame"},          {TWEI_PIXELFLAVOR, "flavour"},
    {kBlankSheetsBefore, "blank sheets before"},
};

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string ValueText(const ExtInfoItem& item) {
    switch (item.id) {
    case TWEI_PAGESIDE: return item.value == TWCS_TOP ? "top" : item.value == TWCS_BOTTOM ? "bottom" : "both";
    case TWEI_PIXELFLAVOR: return item.value == TWPF_VANILLA ? "vanilla" : "chocolate";
    case TWEI_FRAME:
        return Number(item.frame[0]) + "-" + Number(item.frame[2]) + " x " + Number(item.frame[1]) + "-" +
               Number(item.frame[3]);
    default: return std::to_string(item.value);
    }
}

}  // namespace

std::vector<TW_UINT16> ExtInfoItemsAsked() {
    std::vector<TW_UINT16> ids;
    for (const ItemName& item : kItems) ids.push_back(item.id);
    return ids;
}

std::string ExtInfoLine(int page, const std::vector<ExtInfoItem>& items) {
    std::string line = "page " + std::to_string(page) + " info:";
    const char* separator = " ";
    for (const ExtInfoItem& item : items) {
        std::string name = "item 0x";
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", item.id);
        name += hex;
        for (const ItemName& known : kItems) {
            if (known.id == item.id) name = known.name;
        }
        line += separator + name + " " + (item.returnCode == TWRC_SUCCESS ? ValueText(item) : "not supported");
        separator = ", ";
    }
    return line;
}
