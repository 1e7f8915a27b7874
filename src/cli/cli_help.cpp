#include "cli/cli_help.h"

#include <string_view>

#include "cli/cli_options.h"
#include "cli/exit_codes.h"
#include "model/utf8.h"
#include "platform/port_naming.h"
#include "platform/system_words.h"

#ifndef KIV_VERSION
#define KIV_VERSION "unknown"
#endif

namespace kiv {

std::string CliVersion() {
    return std::string("kiv-cli ") + KIV_VERSION;
}

namespace {

// The blocks of --help, in order: a heading, the options listed under it
// with their descriptions starting in `column`, and text after them.
struct HelpBlock {
    CliHelpSection section;
    std::string_view heading;
    std::size_t column;
    std::string_view after;
};

constexpr HelpBlock kHelpBlocks[] = {
    {CliHelpSection::Line, "Line settings (the serial page's texts):", 25,
     R"(
Without --device kiv-cli creates a virtual port and prints "sending on
/dev/pts/N". Sending starts once a program has held that path open for a
quarter of a second, so the receiver gets every frame from the first however
late it opens it; a program that opens it only for a moment (such as
"stty -F /dev/pts/N raw -echo") does not start it. Until then nothing is
sent and the run's clock has not started.
)"},
    {CliHelpSection::Content, "Send content (the send page):", 28, ""},
    {CliHelpSection::Frame, "Frame format (the frame format page; default: the slots alone):", 33,
     R"(  In frame order: header, counter, length byte, slots, checksum, trailer.
  --header "01 03" --frame 0,10,0,2 --checksum crc16-modbus sends the
  Modbus request 01 03 00 0A 00 02 E4 09.
)"},
    {CliHelpSection::Signals, "Signal parameters (the signal pages), repeatable:", 0,
     R"(  --set squx2=t1:20,t2:30
  --set trix1=t1:50,t2:50,t3:50,am:60,a0:100
  --set noise=am:10
)"},
    {CliHelpSection::Stopping, "Stopping (default: until {stop}):", 25,
     R"(  {stop} end the run within a second:
  the frame under way gets what is left of that second, and what cannot be
  delivered in it is dropped and counted on standard error.
)"},
    {CliHelpSection::Setups, "Setups (files the window saves and opens, Ctrl+S / Ctrl+O):", 25, ""},
    {CliHelpSection::Other, "Other:", 25, ""},
};

// The Line block's text where the system offers no virtual port.
constexpr std::string_view kWithoutVirtualPort = R"(
This system has no virtual port: name the port to send on with --device
({devices}). --write-setup alone needs none: nothing is sent.
)";

// A help text with this system's words: its device names and how a user
// stops a program.
std::string Filled(std::string_view text) {
    std::string out(text);
    const std::pair<std::string_view, std::string> words[] = {
        {"{devices}", ExampleDeviceNames()},
        {"{device}", ExampleDeviceName()},
        {"{stop}", StopRequestNames()},
    };
    for (const auto& [key, word] : words)
        for (auto at = out.find(key); at != std::string::npos; at = out.find(key, at + word.size()))
            out.replace(at, key.size(), word);
    return out;
}

// Columns a terminal gives the text: the only characters beyond ASCII in
// the help are Chinese, two columns wide.
std::size_t Columns(const std::string& text) {
    std::size_t columns = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = std::max<std::size_t>(Utf8SequenceAt(text, i), 1);
        columns += n == 1 ? 1 : 2;
        i += n;
    }
    return columns;
}

// An option's lines: its name and value, then its description, each further
// line of it starting in the column of the first.
std::string HelpLines(const CliOption& option, std::size_t column) {
    // Appended piece by piece: MinGW's g++ 12 at -O3 reports a false overlap
    // (-Wrestrict) for "  " + std::string(...).
    std::string out = "  ";
    out += option.name;
    if (!option.value.empty()) {
        out += ' ';
        out += option.value;
    }
    if (option.help.empty()) return out + "\n";
    out.append(column > Columns(out) ? column - Columns(out) : 1, ' ');
    const std::string help = Filled(option.help);
    std::size_t at = 0;
    for (;;) {
        const std::size_t end = help.find('\n', at);
        out += help.substr(at, end - at);
        out += '\n';
        if (end == std::string::npos) break;
        out.append(column, ' ');
        at = end + 1;
    }
    return out;
}

}  // namespace

std::string CliUsage() {
    std::string text = R"(kiv-cli: the KIV signal generator without a window.

Usage: kiv-cli [options]          (--name=value works as well as --name value)

)";
    for (const HelpBlock& block : kHelpBlocks) {
        text += Filled(block.heading) + "\n";
        for (const CliOption& option : kCliOptions)
            if (option.section == block.section) text += HelpLines(option, block.column);
        const bool noVirtualPort = block.section == CliHelpSection::Line && !VirtualPortOffered();
        text += Filled(noVirtualPort ? kWithoutVirtualPort : block.after) + "\n";
    }
    text += "Exit codes:\n";
    for (const ExitCodeInfo& e : kExitCodes) {
        std::string code = "  " + std::to_string(e.code);
        code.resize(25, ' ');
        text += code + e.meaning + "\n";
    }
    text += R"(
Example:
  kiv-cli --frame 5,6,sinx1,sinx2 --period 10 --set sinx1=t1:200 --frames 100
)";
    return text;
}

}  // namespace kiv
