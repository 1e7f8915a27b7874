#pragma once

#include <array>
#include <string>
#include <variant>

#include "model/model.h"
#include "model/signal_table.h"

// A setup: the texts of the boxes a user types into, kept in a small INI
// text file so that a configured generator can be saved once and loaded in
// the window or in kiv-cli.
//
//   # KIV(数字信号发生器) Ver1.0 setup, written by kiv
//   [serial]
//   port=COM1
//   baud=9600
//   parity=无
//   data_bits=8
//   stop_bits=1
//   [send]
//   slot1=5
//   ...
//   period=10
//   noise_slots=1,3
//   [sinx1]
//   t1=100
//   am=60
//   a0=100
//   ...
//   [noise]
//   am=10
//   [frame]
//   header=01 03
//   counter=u16le
//   length=1
//   checksum=crc16-modbus
//   checksum_order=le
//   checksum_from=start
//   trailer=0D 0A
//
// The [frame] section is written only for a frame format that is on; a file
// without it sends the slots alone. Its values are the names kiv-cli's
// options take; an empty value is none, a checksum_order left out is the
// checksum's usual order, and length is 1 or 0.
// Values are taken as written, without the blanks around them; a value in
// double quotes keeps blanks and may hold \" \\ and \xHH (any byte). Lines
// starting with # or ; are comments. A key the file leaves out takes the
// text the window starts with. Read-only parameter boxes are not stored.
namespace kiv {

struct Setup {
    std::array<std::string, kPortBoxCount> serial;  // Combo1(0..4)
    std::array<std::string, kSlotCount> slotTexts;  // sendText1(1..10)
    std::string period;                             // autosendtext1
    std::array<bool, kSlotCount> noise{};           // Check2(1..10) ticked
    // fuction_t1..fuction_a0 of entries 1..10, [entry - 1][column]. Read-only
    // boxes hold their fixed text "0".
    std::array<std::array<std::string, kParamBoxCount>, kSignalEntryCount> params;
    // The frame format page's boxes, each by its name (FrameSetupKey).
    std::array<std::string, 7> frame;

    bool operator==(const Setup&) const = default;
};

// The keys of the [frame] section, one per box of the frame format page, in
// the order of Setup::frame.
enum class FrameSetupKey {
    Header,
    Counter,
    Length,
    Checksum,
    ChecksumOrder,
    ChecksumFrom,
    Trailer
};
struct FrameSetupRow {
    FrameSetupKey key;
    const char* name;     // the key in the file
    const char* control;  // the page's box
};
inline constexpr std::array<FrameSetupRow, 7> kFrameSetupKeys = {{
    {FrameSetupKey::Header, "header", "frameHeader"},
    {FrameSetupKey::Counter, "counter", "frameCounter"},
    {FrameSetupKey::Length, "length", "frameLengthByte"},
    {FrameSetupKey::Checksum, "checksum", "frameChecksum"},
    {FrameSetupKey::ChecksumOrder, "checksum_order", "frameChecksumOrder"},
    {FrameSetupKey::ChecksumFrom, "checksum_from", "frameChecksumFrom"},
    {FrameSetupKey::Trailer, "trailer", "frameTrailer"},
}};
inline std::string& FrameText(Setup& s, FrameSetupKey key) {
    return s.frame[static_cast<std::size_t>(key)];
}
inline const std::string& FrameText(const Setup& s, FrameSetupKey key) {
    return s.frame[static_cast<std::size_t>(key)];
}

// A file that cannot be taken as a setup: the line at fault (1-based) and why.
struct SetupRefusal {
    int line = 0;
    std::string reason;
    std::string Describe() const;  // "line 7: ..."
};

// The texts a fresh window starts with.
Setup InitialSetup();

// Whether the window lets a user type into parameter box `column` (a
// ParamBox) of `entry`.
bool IsEditableParam(int entry, int column);

// Reads a setup file's text (UTF-8). Keys left out take the initial texts.
std::variant<Setup, SetupRefusal> ParseSetup(const std::string& text);

// The file text of a setup; `writer` names the program in the top comment.
std::string WriteSetup(const Setup& setup, const std::string& writer);

// The setup the boxes of a window hold now, and the reverse: the texts put
// into the boxes (a port box text that is one of its entries is picked, any
// other is typed), nothing applied.
Setup SetupFromBoxes(const Model& w);
void PutSetupInBoxes(Model& w, const Setup& setup);
// The same for the frame format page alone. An empty checksum_order puts
// the checksum's usual byte order in its box.
std::array<std::string, 7> FrameTextsFromBoxes(const Model& w);
void PutFrameTextsInBoxes(Model& w, const std::array<std::string, 7>& frame);

}  // namespace kiv
