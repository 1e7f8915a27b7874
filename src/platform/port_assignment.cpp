#include "platform/port_assignment.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace kiv {
namespace {

constexpr std::string_view kVirtualText = "virtual";
constexpr std::string_view kAutoPrefix = "auto ";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view BaseName(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::size_t Index(int port) {
    return static_cast<std::size_t>(std::clamp(port, 1, 4) - 1);
}

// Whether any record of the device with this identity is the console: a
// device listed twice (two paths, one by-id name) is the console when one
// of its records says so.
bool IsConsole(const std::vector<SerialDevice>& present, const std::string& identity) {
    return std::any_of(present.begin(), present.end(), [&](const SerialDevice& d) {
        return d.console && d.Identity() == identity;
    });
}

}  // namespace

bool SerialDevice::IsUart() const {
    const std::string_view name = BaseName(path);
    for (std::string_view prefix : {"ttyS", "ttyAMA", "ttymxc"}) {
        if (name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix &&
            IsDigit(name[prefix.size()]))
            return true;
    }
    return false;
}

std::string SerialDevice::Summary() const {
    std::string text = path;
    if (console) text += std::string(" · ") + kSystemConsoleText;
    for (const std::string* part : {&description, &manufacturer}) {
        if (!part->empty()) text += " · " + *part;
    }
    if (vendorId >= 0 && productId >= 0) {
        char ids[16];
        std::snprintf(ids, sizeof ids, "%04x:%04x", vendorId & 0xFFFF, productId & 0xFFFF);
        text += " · ";
        text += ids;
    }
    return text;
}

bool IsComPortName(std::string_view name) {
    if (name.size() < 4 || name.size() > 6) return false;
    if (name.substr(0, 3) != "COM" || name[3] == '0') return false;
    return std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsAbsoluteDevicePath(std::string_view path) {
    if (path.size() >= 2 && path.front() == '/') return true;
    return path.size() > 4 && path.substr(0, 4) == "\\\\.\\";
}

bool IsAssignablePath(std::string_view path) {
    if (!IsAbsoluteDevicePath(path) && !IsComPortName(path)) return false;
    if (Trim(path) != path) return false;
    return std::none_of(path.begin(), path.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

std::string EncodeAssignment(const PortAssignment& assignment) {
    switch (assignment.kind) {
        case PortAssignment::Kind::Virtual:
            return std::string(kVirtualText);
        case PortAssignment::Kind::Device:
            return assignment.chosen ? assignment.identity
                                     : std::string(kAutoPrefix) + assignment.identity;
        case PortAssignment::Kind::None:
            break;
    }
    return {};
}

PortAssignment DecodeAssignment(std::string_view text) {
    text = Trim(text);
    if (text == kVirtualText) return {PortAssignment::Kind::Virtual, {}, true};
    bool chosen = true;
    if (text.substr(0, kAutoPrefix.size()) == kAutoPrefix) {
        chosen = false;
        text = Trim(text.substr(kAutoPrefix.size()));
    }
    if (!IsAssignablePath(text)) return {};
    return {PortAssignment::Kind::Device, std::string(text), chosen};
}

void Normalise(PortAssignments& ports) {
    for (std::size_t i = 0; i < ports.size(); ++i) {
        PortAssignment& p = ports[i];
        if (p.kind == PortAssignment::Kind::Device && !IsAssignablePath(p.identity)) p = {};
        if (p.kind != PortAssignment::Kind::Device) {
            p.identity.clear();
            continue;
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (ports[j].kind == PortAssignment::Kind::Device && ports[j].identity == p.identity) {
                p = {};
                break;
            }
        }
    }
}

bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            std::size_t ie = i, je = j;
            while (ie < a.size() && IsDigit(a[ie])) ++ie;
            while (je < b.size() && IsDigit(b[je])) ++je;
            // Leading zeros do not make a number larger.
            std::string_view na = a.substr(i, ie - i), nb = b.substr(j, je - j);
            while (na.size() > 1 && na.front() == '0') na.remove_prefix(1);
            while (nb.size() > 1 && nb.front() == '0') nb.remove_prefix(1);
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            i = ie;
            j = je;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    // Equal as numbers ("ttyS01" and "ttyS1"): plain order decides.
    return a < b;
}

const SerialDevice* FindDevice(const std::vector<SerialDevice>& present,
                               const std::string& identity) {
    for (const SerialDevice& d : present)
        if (d.Identity() == identity) return &d;
    return nullptr;
}

bool AssignNewDevices(PortAssignments& ports, const std::vector<SerialDevice>& present) {
    // One entry per identity; of records sharing one, the lowest path stands,
    // so the outcome does not depend on the order of the list.
    bool changed = false;
    for (PortAssignment& p : ports) {
        if (p.kind != PortAssignment::Kind::Device || p.chosen) continue;
        if (IsConsole(present, p.identity)) {
            p = {};
            changed = true;
        }
    }
    std::map<std::string, const SerialDevice*> byIdentity;
    for (const SerialDevice& d : present) {
        if (!IsAssignablePath(d.Identity()) || !IsAssignablePath(d.path)) continue;
        if (IsConsole(present, d.Identity())) continue;
        auto [it, added] = byIdentity.emplace(d.Identity(), &d);
        if (!added && NaturalLess(d.path, it->second->path)) it->second = &d;
    }
    std::vector<const SerialDevice*> fresh;
    for (const auto& entry : byIdentity) {
        const std::string& identity = entry.first;
        const bool numbered = std::any_of(ports.begin(), ports.end(), [&](const PortAssignment& p) {
            return p.kind == PortAssignment::Kind::Device && p.identity == identity;
        });
        if (!numbered) fresh.push_back(entry.second);
    }
    std::sort(fresh.begin(), fresh.end(), [](const SerialDevice* a, const SerialDevice* b) {
        if (a->IsUart() != b->IsUart()) return a->IsUart();
        if (a->path != b->path) return NaturalLess(a->path, b->path);
        return a->Identity() < b->Identity();
    });

    for (const SerialDevice* device : fresh) {
        auto slot = std::find_if(ports.begin(), ports.end(), [](const PortAssignment& p) {
            return p.kind == PortAssignment::Kind::None;
        });
        if (slot == ports.end()) {
            slot = std::find_if(ports.begin(), ports.end(), [&](const PortAssignment& p) {
                return p.kind == PortAssignment::Kind::Device && !p.chosen &&
                       FindDevice(present, p.identity) == nullptr;
            });
        }
        if (slot == ports.end()) break;
        *slot = {PortAssignment::Kind::Device, device->Identity(), false};
        changed = true;
    }
    return changed;
}

void ChooseDevice(PortAssignments& ports, int port, const std::string& identity) {
    if (!IsAssignablePath(identity)) return;
    for (PortAssignment& p : ports)
        if (p.kind == PortAssignment::Kind::Device && p.identity == identity) p = {};
    ports[Index(port)] = {PortAssignment::Kind::Device, identity, true};
}

void ChooseVirtual(PortAssignments& ports, int port) {
    ports[Index(port)] = {PortAssignment::Kind::Virtual, {}, true};
}

bool NothingAssigned(const PortAssignments& ports) {
    return std::all_of(ports.begin(), ports.end(), [](const PortAssignment& p) {
        return p.kind == PortAssignment::Kind::None;
    });
}

}  // namespace kiv
