#include "cli/cli_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "model/signal_table.h"
#include "signal/numbers.h"

namespace kiv {
namespace {

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : text) {
        if (c == sep) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts.push_back(cur);
    return parts;
}

std::optional<long> WholeNumber(const std::string& text, long lo, long hi) {
    long v = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || v < lo || v > hi)
        return std::nullopt;
    return v;
}

std::variant<SignalSetting, std::string> ParseSet(const std::string& value) {
    const std::string option = "--set " + value;
    const auto eq = value.find('=');
    if (eq == std::string::npos) return option + ": expected NAME=KEY:VALUE,...";
    SignalSetting s;
    s.name = value.substr(0, eq);
    s.option = option;
    const SignalVariable* row = FindSignalVariable(s.name);
    if (row == nullptr)
        return option + ": unknown signal \"" + s.name + "\" (sinx1..3, squx1..3, trix1..3, noise)";
    s.entry = row->entry;
    for (const std::string& part : Split(value.substr(eq + 1), ',')) {
        const auto colon = part.find(':');
        if (colon == std::string::npos)
            return option + ": expected KEY:VALUE, got \"" + part + "\"";
        std::string key = part.substr(0, colon);
        const auto box = std::find(kParamBoxNames.begin(), kParamBoxNames.end(), key);
        // Only the boxes of that row the window lets a user type into.
        if (box == kParamBoxNames.end() ||
            !row->Editable(static_cast<int>(box - kParamBoxNames.begin())))
            return option + ": " + s.name + " has no settable parameter \"" + key + "\"";
        s.fields.emplace_back(key, part.substr(colon + 1));
    }
    return s;
}

}  // namespace

std::variant<CliOptions, std::string> ParseCliOptions(const std::vector<std::string>& args) {
    CliOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            o.help = true;
            continue;
        }
        if (a.rfind("--", 0) != 0) return "unexpected argument \"" + a + "\"";
        if (i + 1 >= args.size()) return a + ": missing value";
        const std::string& v = args[++i];
        if (a == "--baud") {
            o.baud = v;
        } else if (a == "--parity") {
            if (v == "n" || v == "无")
                o.parity = "无";
            else if (v == "o" || v == "奇")
                o.parity = "奇";
            else if (v == "e" || v == "偶")
                o.parity = "偶";
            else
                return "--parity " + v + ": expected 无|奇|偶 or n|o|e";
        } else if (a == "--data-bits") {
            o.dataBits = v;
        } else if (a == "--stop-bits") {
            o.stopBits = v;
        } else if (a == "--device") {
            if (v.empty()) return "--device: empty path";
            o.device = v;
        } else if (a == "--frame") {
            auto slots = Split(v, ',');
            if (slots.size() > 10) return "--frame " + v + ": at most 10 slots";
            o.frame = slots;
        } else if (a == "--period") {
            o.period = v;
        } else if (a == "--set") {
            auto s = ParseSet(v);
            if (auto* err = std::get_if<std::string>(&s)) return *err;
            o.sets.push_back(std::get<SignalSetting>(s));
        } else if (a == "--noise") {
            for (const std::string& part : Split(v, ',')) {
                auto slot = WholeNumber(part, 1, 10);
                if (!slot) return "--noise " + v + ": slots are numbers 1..10";
                o.noise.push_back(static_cast<int>(*slot));
            }
        } else if (a == "--frames") {
            auto n = WholeNumber(v, 1, 1000000000L);
            if (!n) return "--frames " + v + ": expected a whole number of frames, 1 or more";
            o.frames = *n;
        } else if (a == "--seconds") {
            auto s = ReadNumber(v);
            if (!s || !(*s > 0) || !std::isfinite(*s))
                return "--seconds " + v + ": expected a positive number";
            o.seconds = *s;
        } else if (a == "--log") {
            o.log = v;
        } else {
            return "unknown option " + a + " (see --help)";
        }
    }
    return o;
}

std::string CliUsage() {
    return R"(kiv-cli: the KIV signal generator without a window.

Usage: kiv-cli [options]

Line settings (the serial page's texts):
  --baud 9600            300 600 1200 2400 4800 9600 19200 38400 43000 56000 57600 115200
  --parity 无|奇|偶       also n|o|e
  --data-bits 8          6, 7 or 8
  --stop-bits 1          1 or 2
  --device PATH          the serial device, e.g. /dev/ttyUSB0. Without it kiv-cli
                         creates a virtual port and prints "sending on /dev/pts/N"

Send content (the send page):
  --frame 5,6,sinx1,sinx2   up to ten slots: constants 0..255 or sinx1..3 squx1..3 trix1..3
  --period 10               send period in milliseconds
  --noise 1,3               slots that get noise added

Signal parameters (the signal pages), repeatable:
  --set sinx1=t1:100,am:60,a0:100
  --set squx2=t1:20,t2:30
  --set trix1=t1:50,t2:50,t3:50,am:60,a0:100
  --set noise=am:10

Stopping (default: until interrupted; SIGINT or SIGTERM end after the frame under way):
  --frames N             stop after N frames
  --seconds S            stop after S seconds

Other:
  --log FILE             one CSV line per frame sent: count,ms since start,byte,byte,...
  --help                 this text

Example:
  kiv-cli --frame 5,6,sinx1,sinx2 --period 10 --set sinx1=t1:200 --frames 100
)";
}

}  // namespace kiv
