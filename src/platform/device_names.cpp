#include "platform/device_names.h"

#include <algorithm>
#include <cctype>

namespace kiv {
namespace {

bool IsComName(const std::string& text) {
    if (text.size() < 4 || text.size() > 6) return false;
    if (std::toupper(static_cast<unsigned char>(text[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(text[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(text[2])) != 'M')
        return false;
    if (text[3] == '0') return false;
    return std::all_of(text.begin() + 3, text.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

// The hexadecimal number after `key` ("VID_") in id, or -1.
int HexAfter(const std::string& id, const std::string& key) {
    std::string upper = id;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const auto at = upper.find(key);
    if (at == std::string::npos) return -1;
    int value = 0;
    std::size_t digits = 0;
    for (std::size_t i = at + key.size(); i < upper.size() && digits < 4; ++i, ++digits) {
        const char c = upper[i];
        if (c >= '0' && c <= '9') {
            value = value * 16 + (c - '0');
        } else if (c >= 'A' && c <= 'F') {
            value = value * 16 + (c - 'A' + 10);
        } else {
            break;
        }
    }
    return digits == 4 ? value : -1;
}

}  // namespace

std::string PortNameInFriendlyName(const std::string& friendlyName) {
    std::string name = friendlyName;
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())) != 0)
        name.pop_back();
    if (name.empty() || name.back() != ')') return {};
    const auto open = name.rfind('(');
    if (open == std::string::npos) return {};
    std::string inside = name.substr(open + 1, name.size() - open - 2);
    if (!IsComName(inside)) return {};
    std::transform(inside.begin(), inside.end(), inside.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return inside;
}

std::string DescriptionOfFriendlyName(const std::string& friendlyName) {
    if (PortNameInFriendlyName(friendlyName).empty()) return friendlyName;
    std::string name = friendlyName.substr(0, friendlyName.rfind('('));
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())) != 0)
        name.pop_back();
    return name;
}

UsbIds UsbIdsOfHardwareId(const std::string& hardwareId) {
    UsbIds ids;
    ids.vendorId = HexAfter(hardwareId, "VID_");
    ids.productId = HexAfter(hardwareId, "PID_");
    if (ids.vendorId < 0 || ids.productId < 0) ids = {};
    return ids;
}

}  // namespace kiv
