#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "model/form.h"

// The signal variables a slot can name, and the noise source: one row per
// entry of signalParams. Composition, the signal pages, the window's
// read-only boxes and kiv-cli all read this table. It lives with the model
// because the model's boxes are locked from it.
namespace kiv {

enum class Waveform { None, Sine, Rectangular, Sawtooth, Noise };

// The five parameter boxes of a row, in column order: fuction_t1 .. fuction_a0.
enum ParamBox : int { kBoxT1, kBoxT2, kBoxT3, kBoxAm, kBoxA0, kParamBoxCount };
// What a box is called in a setup file and on kiv-cli's command line.
inline constexpr std::array<std::string_view, kParamBoxCount> kParamBoxNames = {"t1", "t2", "t3",
                                                                                "am", "a0"};
// The form's name of each column of boxes.
inline constexpr std::array<std::string_view, kParamBoxCount> kParamBoxControls = {
    "fuction_t1", "fuction_t2", "fuction_t3", "fuction_am", "fuction_a0"};

// The box named `name` ("am"), or -1.
constexpr int FindParamBox(std::string_view name) {
    for (int box = 0; box < kParamBoxCount; ++box)
        if (kParamBoxNames[static_cast<std::size_t>(box)] == name) return box;
    return -1;
}

namespace signal_boxes {
constexpr std::uint8_t kSine = 1U << kBoxT1 | 1U << kBoxAm | 1U << kBoxA0;
constexpr std::uint8_t kRectangular = kSine | 1U << kBoxT2;
constexpr std::uint8_t kSawtooth = kRectangular | 1U << kBoxT3;
constexpr std::uint8_t kNoise = 1U << kBoxAm;
}  // namespace signal_boxes

// One row per wave: the page its rows are on and which of their boxes the
// user may type into, which the composition, the locked boxes, setup files,
// the box labels, kiv-cli and the window's pages and pictures all read. A
// wave's times t1.. are the boxes it has before am; a picture marks one
// segment of a period for each.
struct WaveRow {
    Waveform waveform;
    tab::Page page;
    std::uint8_t editable;  // bit (1 << ParamBox) set for a box the user may type into

    constexpr bool Editable(int box) const { return (editable >> box) & 1U; }
    // The times t1, t2, t3 of its period that the user sets: 0 for the noise
    // source, which has none.
    constexpr int TimeCount() const {
        int count = 0;
        for (int box = kBoxT1; box < kBoxAm; ++box) count += Editable(box) ? 1 : 0;
        return count;
    }
    // With an offset a0 the wave swings between a0 and a0 + am; without one
    // (the noise source) it is a band of height am.
    constexpr bool HasOffset() const { return Editable(kBoxA0); }
};

inline constexpr std::array<WaveRow, 4> kWaves = {{
    {Waveform::Sine, tab::kSine, signal_boxes::kSine},
    {Waveform::Rectangular, tab::kRectangular, signal_boxes::kRectangular},
    {Waveform::Sawtooth, tab::kSawtooth, signal_boxes::kSawtooth},
    {Waveform::Noise, tab::kNoise, signal_boxes::kNoise},
}};

// The row of `waveform`; a name that is no wave (Waveform::None) has every
// box locked and no page of its own (the send page, where it was typed).
constexpr WaveRow WaveOf(Waveform waveform) {
    for (const WaveRow& row : kWaves)
        if (row.waveform == waveform) return row;
    return {Waveform::None, tab::kSend, 0};
}

struct SignalVariable {
    std::string_view name;  // what a slot holds ("sinx1"); the noise source is "noise"
    int entry;              // its entry of signalParams, 1..10
    Waveform waveform;

    constexpr bool Editable(int box) const { return WaveOf(waveform).Editable(box); }
};

inline constexpr std::array<SignalVariable, kSignalEntryCount> kSignalVariables = {{
    {"sinx1", 1, Waveform::Sine},
    {"sinx2", 2, Waveform::Sine},
    {"sinx3", 3, Waveform::Sine},
    {"squx1", 4, Waveform::Rectangular},
    {"squx2", 5, Waveform::Rectangular},
    {"squx3", 6, Waveform::Rectangular},
    {"trix1", 7, Waveform::Sawtooth},
    {"trix2", 8, Waveform::Sawtooth},
    {"trix3", 9, Waveform::Sawtooth},
    {"noise", 10, Waveform::Noise},
}};

// The row of signalParams entry 1..10.
constexpr const SignalVariable& SignalVariableOf(int entry) {
    return kSignalVariables.at(static_cast<std::size_t>(entry - 1));
}

// The row named `name` exactly (the noise source included), or nullptr.
constexpr const SignalVariable* FindSignalVariable(std::string_view name) {
    for (const SignalVariable& v : kSignalVariables)
        if (v.name == name) return &v;
    return nullptr;
}

// The first entry of a waveform's page.
constexpr int FirstEntryOf(Waveform waveform) {
    for (const SignalVariable& v : kSignalVariables)
        if (v.waveform == waveform) return v.entry;
    return 0;
}

// The last entry of a waveform's page.
constexpr int LastEntryOf(Waveform waveform) {
    int last = 0;
    for (const SignalVariable& v : kSignalVariables)
        if (v.waveform == waveform) last = v.entry;
    return last;
}

}  // namespace kiv
