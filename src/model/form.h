#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// The window's dimensions and the fixed lists of its serial page, named once:
// every layer that counts slots, serial boxes, ports or pages, or spells a
// parity, reads them here.
namespace kiv {

// The send page's slots sendText1(1..kSlotCount), with their noise boxes
// Check2 and the noise page's Check1: a frame holds at most this many bytes
// of content.
inline constexpr int kSlotCount = 10;

// Entries of signalParams and rows of the signal pages' boxes fuction_t1 ..
// fuction_a0: nine signal variables and the noise source.
inline constexpr int kSignalEntryCount = 10;

// The serial page's boxes Combo1(0..kPortBoxCount - 1), by index.
enum PortBox : int {
    kPortBoxPort,
    kPortBoxBaud,
    kPortBoxParity,
    kPortBoxDataBits,
    kPortBoxStopBits,
    kPortBoxCount
};

// The ports the port box offers: COM1 .. COM<kPortCount>.
inline constexpr int kPortCount = 4;

// The pages of the tab strip by index: tabpage(kSend) .. tabpage(kFrame),
// then the window's own line monitor, which no handler of the program knows.
namespace tab {
enum Page : int {
    kSend = 0,
    kSerial = 1,
    kSine = 2,
    kRectangular = 3,
    kSawtooth = 4,
    kNoise = 5,
    kInstructions = 6,
    kFrame = 7,
    kMonitor = 8,
};
}  // namespace tab

// The seven pages laid out before the frame format page.
inline constexpr int kPageCount = tab::kFrame;
// Every page of the program, tabpage(0) .. tabpage(tab::kFrame).
inline constexpr int kProgramPageCount = tab::kFrame + 1;

// A character's parity bit.
enum class Parity { None, Odd, Even };

// The parity box's entries in list order: the word the box shows and the
// letter a settings text gives it ("9600,n,8,1").
struct ParityName {
    Parity parity;
    std::string_view word;
    char letter;
};
inline constexpr std::array<ParityName, 3> kParityNames = {{
    {Parity::None, "无", 'n'},
    {Parity::Odd, "奇", 'o'},
    {Parity::Even, "偶", 'e'},
}};

// The row whose box word is `word` ("奇"), or nullptr.
constexpr const ParityName* FindParityWord(std::string_view word) {
    for (const ParityName& p : kParityNames)
        if (p.word == word) return &p;
    return nullptr;
}

// The row whose settings letter is `letter` (lower case), or nullptr.
constexpr const ParityName* FindParityLetter(char letter) {
    for (const ParityName& p : kParityNames)
        if (p.letter == letter) return &p;
    return nullptr;
}

// The settings a port control holds before anyone sets them, and what the
// serial page's start-up entries give.
inline constexpr std::string_view kDefaultLineSettings = "9600,n,8,1";

}  // namespace kiv
