#include <algorithm>
#include <cctype>

#include "platform/win_serial.h"

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

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string Narrow(const wchar_t* text, int length) {
    if (length <= 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(std::max(n, 0)), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, narrow.data(), n, nullptr, nullptr);
    return narrow;
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

std::wstring DevicePathOf(const std::string& device) {
    if (device.rfind("\\\\", 0) == 0) return Widen(device);
    return L"\\\\.\\" + Widen(device);
}

void FillDcb(const LineSettings& settings, DCB& dcb) {
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = static_cast<DWORD>(settings.baud);
    dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
    switch (settings.parity) {
        case Parity::Odd:
            dcb.Parity = ODDPARITY;
            break;
        case Parity::Even:
            dcb.Parity = EVENPARITY;
            break;
        case Parity::None:
            dcb.Parity = NOPARITY;
            break;
    }
    dcb.fParity = settings.parity == Parity::None ? FALSE : TRUE;
    dcb.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
}

COMMTIMEOUTS WriteOnlyTimeouts() {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = 0;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = 0;
    return t;
}

OpenProblem OpenProblemOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_UNIT:
        case ERROR_DEV_NOT_EXIST:
            return OpenProblem::Missing;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return OpenProblem::Busy;
        case ERROR_INVALID_PARAMETER:
        case ERROR_NOT_SUPPORTED:
        case ERROR_BAD_COMMAND:
            return OpenProblem::Refused;
        default:
            return OpenProblem::Other;
    }
}

std::string SystemErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = n > 0 && buffer != nullptr ? Narrow(buffer, static_cast<int>(n)) : "";
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(error) : text;
}

std::string PortNameInFriendlyName(const std::string& friendlyName) {
    std::string name = friendlyName;
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())) != 0)
        name.pop_back();
    if (name.empty() || name.back() != ')') return {};
    const auto open = name.rfind('(');
    if (open == std::string::npos) return {};
    const std::string inside = name.substr(open + 1, name.size() - open - 2);
    return IsComName(inside) ? inside : std::string();
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
