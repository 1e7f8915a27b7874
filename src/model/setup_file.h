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
//
// Values are taken as written, without the blanks around them; a value in
// double quotes keeps blanks and may hold \" \\ and \xHH (any byte). Lines
// starting with # or ; are comments. A key the file leaves out takes the
// text the window starts with. Read-only parameter boxes are not stored.
namespace kiv {

struct Setup {
    std::array<std::string, 5> serial;      // Combo1(0..4)
    std::array<std::string, 10> slotTexts;  // sendText1(1..10)
    std::string period;                     // autosendtext1
    std::array<bool, 10> noise{};           // Check2(1..10) ticked
    // fuction_t1..fuction_a0 of entries 1..10, [entry - 1][column]. Read-only
    // boxes hold their fixed text "0".
    std::array<std::array<std::string, kParamBoxCount>, 10> params;

    bool operator==(const Setup&) const = default;
};

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

}  // namespace kiv
