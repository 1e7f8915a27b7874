// The serial page's apply (Command1_Click) with every box picked, typed, or
// holding any text at all at a list position, and with the port refusing
// any one of its settings. Afterwards: a typed box stops the apply after the
// choices before it were stored, with the port untouched; otherwise the port
// received the settings in order up to the first refusal, and the open and
// close options were enabled exactly when everything was accepted.
#include <fuzzer/FuzzedDataProvider.h>
#include <regex.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/startup.h"
#include "box_texts.h"
#include "fakes.h"
#include "reference.h"
#include "serial/port_settings.h"

namespace kiv::fuzz {
namespace {

// Whether the port takes a settings text: a whole baud rate 1..4000000, the
// parity letter, 5..8 data bits, 1 or 2 stop bits.
bool SettingsAccepted(const std::string& s) {
    static regex_t pattern = [] {
        regex_t r;
        regcomp(&r, "^([0123456789]{1,9}),[nNoOeE],([0123456789]{1,9}),([0123456789]{1,9})$",
                REG_EXTENDED);
        return r;
    }();
    if (s.find('\0') != std::string::npos) return false;
    regmatch_t m[4];
    if (regexec(&pattern, s.c_str(), 4, m, 0) != 0) return false;
    auto field = [&](int i) {
        return std::strtol(s.substr(static_cast<std::size_t>(m[i].rm_so),
                                    static_cast<std::size_t>(m[i].rm_eo - m[i].rm_so))
                               .c_str(),
                           nullptr, 10);
    };
    const long baud = field(1), dataBits = field(2), stopBits = field(3);
    return baud >= 1 && baud <= 4000000 && dataBits >= 5 && dataBits <= 8 && stopBits >= 1 &&
           stopBits <= 2;
}

const char* const kCallNames[] = {"",         "InBufferSize",  "OutBufferSize",  "InputMode",
                                  "InputLen", "InBufferCount", "OutBufferCount", "RThreshold",
                                  "CommPort", "Settings"};

}  // namespace
}  // namespace kiv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kiv;
    using namespace kiv::fuzz;
    FuzzedDataProvider in(data, size);
    testing::Rig rig;
    Model& w = rig.w;
    StartUp(w);

    // What earlier actions left.
    for (int i = 0; i < kPortBoxCount; ++i) w.portChoices(i) = in.ConsumeIntegral<std::uint8_t>();
    w.Optionopen.Enabled = in.ConsumeBool();
    w.Optionclose.Enabled = in.ConsumeBool();
    w.portConfigured = in.ConsumeBool();
    w.slotCount = in.ConsumeIntegralInRange<std::int32_t>(0, 10);
    const int refused = in.ConsumeIntegralInRange<int>(0, 9);
    if (refused > 0) rig.port.failOn = kCallNames[refused];
    if (in.ConsumeBool())
        rig.port.refuseBaud = w.Combo1(1).List.at(in.ConsumeIntegralInRange<std::size_t>(0, 11));
    rig.port.calls.clear();

    BoxTexts texts(in);
    for (int i = 0; i < kPortBoxCount; ++i) {
        ComboBox& box = w.Combo1(i);
        const int last = static_cast<int>(box.List.size()) - 1;
        switch (in.ConsumeIntegralInRange<int>(0, 3)) {
            case 0:
            case 1:
                box.Pick(in.ConsumeIntegralInRange<int>(0, last));
                break;
            case 2:
                box.Type(texts.Next(box.Text));
                break;
            default:  // any text at all behind a list position
                box.ListIndex = in.ConsumeIntegralInRange<int>(0, last);
                box.Text = texts.Next(box.Text);
                break;
        }
    }

    std::array<std::uint8_t, 5> choicesBefore{};
    for (int i = 0; i < kPortBoxCount; ++i)
        choicesBefore[static_cast<std::size_t>(i)] = w.portChoices(i);
    const bool openEnabledBefore = w.Optionopen.Enabled, closeEnabledBefore = w.Optionclose.Enabled;
    const bool configuredBefore = w.portConfigured;
    const int commPortBefore = rig.port.commPort;
    const std::string settingsBefore = rig.port.settings, statusBefore = w.Label50.Caption;

    int typedBox = -1;
    for (int i = 0; i <= 4 && typedBox < 0; ++i) {
        if (w.Combo1(i).ListIndex < 0) typedBox = i;
    }
    std::vector<std::string> calls;
    bool configured = false;
    int commPort = commPortBefore;
    std::string settings = settingsBefore;
    if (typedBox < 0) {
        std::vector<std::string> planned = {
            "InBufferSize=600",
            "OutBufferSize=" + std::to_string(w.slotCount >= 1 ? w.slotCount : 10),
            "InputMode=1",
            "InputLen=1",
            "InBufferCount=0",
            "OutBufferCount=0",
            "RThreshold=1"};
        int number = 0;
        for (int n = 1; n <= 4; ++n) {
            if (w.Combo1(0).Text == "COM" + std::to_string(n)) number = n;
        }
        const std::string& parity = w.Combo1(2).Text;
        const char* letter = parity == "无"   ? "n"
                             : parity == "奇" ? "o"
                             : parity == "偶" ? "e"
                                              : nullptr;
        const std::string text = w.Combo1(1).Text + "," + (letter ? letter : "") + "," +
                                 w.Combo1(3).Text + "," + w.Combo1(4).Text;
        if (number != 0) {
            planned.push_back("CommPort=" + std::to_string(number));
            if (letter != nullptr) planned.push_back("Settings=" + text);
        }
        bool stopped = false;
        for (const std::string& call : planned) {
            calls.push_back(call);
            if (rig.port.failOn && call.rfind(*rig.port.failOn, 0) == 0) {
                stopped = true;
                break;
            }
            if (call.rfind("CommPort=", 0) == 0) commPort = number;
        }
        const bool reachedSettings = !stopped && number != 0 && letter != nullptr;
        const bool accepted =
            reachedSettings && SettingsAccepted(text) &&
            !(rig.port.refuseBaud && text.rfind(*rig.port.refuseBaud + ",", 0) == 0);
        if (accepted) settings = text;
        configured = accepted;
    }

    Command1_Click(w);

    std::string page;
    for (int i = 0; i < kPortBoxCount; ++i) {
        page += " [" + std::to_string(w.Combo1(i).ListIndex) + "]" + Show(w.Combo1(i).Text);
    }
    FUZZ_CHECK(rig.port.calls == calls, "port calls differ for" + page);
    FUZZ_CHECK(rig.box.shown.empty(), "the serial page's apply showed a message");
    FUZZ_CHECK(rig.port.commPort == commPort && rig.port.settings == settings,
               "the port holds other settings than were accepted for" + page);
    for (int i = 0; i < kPortBoxCount; ++i) {
        const bool stored = typedBox < 0 || i < typedBox;
        const auto want = stored ? static_cast<std::uint8_t>(w.Combo1(i).ListIndex)
                                 : choicesBefore[static_cast<std::size_t>(i)];
        FUZZ_CHECK(w.portChoices(i) == want, "portChoices(" + std::to_string(i) + ") for" + page);
    }
    if (typedBox >= 0) {
        FUZZ_CHECK(w.portConfigured == configuredBefore &&
                       w.Optionopen.Enabled == openEnabledBefore &&
                       w.Optionclose.Enabled == closeEnabledBefore,
                   "a typed box changed the port state for" + page);
    } else {
        FUZZ_CHECK(w.portConfigured == configured, std::string("portConfigured should be ") +
                                                       (configured ? "true" : "false") + " for" +
                                                       page);
        const bool openEnabled = configured || openEnabledBefore;
        const bool closeEnabled = configured || closeEnabledBefore;
        FUZZ_CHECK(w.Optionopen.Enabled == openEnabled && w.Optionclose.Enabled == closeEnabled,
                   "open/close options wrong for" + page);
    }
    FUZZ_CHECK(!rig.port.open && w.Label50.Caption == statusBefore,
               "the apply opened the port or changed the status line");
    return 0;
}
