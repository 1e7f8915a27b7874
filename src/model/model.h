#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/controls.h"
#include "model/form.h"
#include "model/frame_format.h"
#include "model/platform.h"

namespace kiv {

class CommControl;  // the serial port control, see serial/comm_control.h
class FrameTap;     // what watches the frames sent, see sending/frame_tap.h

// Parameters of one signal variable or of the noise source (times in ms,
// levels as A/D codes).
struct SignalParams {
    std::int32_t t1 = 0;
    std::int32_t t2 = 0;
    std::int32_t t3 = 0;
    std::int32_t am = 0;
    std::int32_t a0 = 0;
    std::int32_t cycle = 0;  // t1 + t2 + t3
    bool operator==(const SignalParams&) const = default;
};

// Entries of signalParams: 1..3 sine, 4..6 rectangular, 7..9 sawtooth, 10 noise.
constexpr int kNoiseEntry = kSignalEntryCount;

// The entry each serial page box Combo1(0..4) shows at start-up and after a
// restore: COM1, 9600, 无, 8, 1.
inline constexpr std::array<int, kPortBoxCount> kPortStartPositions = {0, 5, 0, 2, 0};

// A one-based array of shared values, written field(i) like the controls.
template <typename T, int Lo, int Hi>
struct FieldArray {
    std::array<T, Hi - Lo + 1> values{};
    T& operator()(int i) { return values.at(static_cast<std::size_t>(i - Lo)); }
    const T& operator()(int i) const { return values.at(static_cast<std::size_t>(i - Lo)); }
    bool operator==(const FieldArray&) const = default;
};

// The main window "KIV": every control with its initial contents, the
// shared fields, and the platform services the handlers use.
struct Model {
    Model();

    std::string Caption = "KIV(数字信号发生器) Ver1.0";

    // Tab strip: the seven pages, then the frame format page.
    TabStrip Tabmain;
    ControlArray<Frame, 0, tab::kFrame> tabpage;
    CommandButton Command5;  // "关闭程序", outside the pages

    // Send page, tabpage(0).
    ControlArray<Label, 0, kSlotCount - 1> Label1;
    ControlArray<TextBox, 1, kSlotCount> sendText1;
    ControlArray<CheckBox, 1, kSlotCount> Check2;
    Label Label53, Label54, Label2;
    TextBox autosendtext1;
    CommandButton Command7, starsend, pausesend, Command8;
    Tally Tally1;
    Label Label49, Label50;
    ControlArray<Shape, 0, 1> Shape1;  // 0 on the serial page, 1 on the send page

    // Serial page, tabpage(1).
    ControlArray<Label, 0, kPortBoxCount - 1> Label3;
    ControlArray<ComboBox, 0, kPortBoxCount - 1> Combo1;
    CommandButton Command1;
    OptionButton Optionopen, Optionclose;

    // Signal pages, tabpage(2..5): boxes indexed by signalParams entry.
    ControlArray<TextBox, 1, kSignalEntryCount> fuction_t1, fuction_t2, fuction_t3, fuction_am,
        fuction_a0;
    CommandButton Command2, Command3, Command4, Command6;
    std::vector<std::string> sineNotes, squareNotes, sawtoothNotes, noiseNotes;
    Label noiseTargetsLabel;  // "叠加对象："
    ControlArray<CheckBox, 1, kSlotCount> Check1;

    // Instructions page, tabpage(6).
    std::vector<Label> instructionLabels;  // title, name, version
    TextBox Text2;                         // the manual, read-only
    Label contactLabel, rightsLabel;

    // Frame format page, tabpage(7): the boxes of the format, its apply
    // button and the live line with the layout and the next frame's bytes.
    TextBox frameHeader, frameTrailer;
    ComboBox frameCounter, frameChecksum, frameChecksumOrder, frameChecksumFrom;
    CheckBox frameLengthByte;
    CommandButton Command9;  // "设置完毕!"
    Label frameLayout;

    // Shared fields.
    std::string msgText;
    std::int32_t msgStyle = 0;
    std::string msgTitle;
    // The reason behind msgText, shown as the box's detailed text; ShowInfo
    // clears it, so each message carries only its own.
    std::string msgDetail;
    float PI_SINGLE = 0.0f;
    FieldArray<SignalParams, 1, kSignalEntryCount> signalParams;
    FieldArray<std::uint8_t, 1, kSlotCount> frameBytes;
    bool isSending = false;
    bool portOpened = false;
    std::int32_t sendCount = 0;
    FieldArray<std::uint8_t, 0, kPortBoxCount - 1> portChoices;
    bool portConfigured = false;
    FieldArray<std::string, 1, kSlotCount> slotText;
    std::int32_t slotCount = 0;
    std::int32_t sendPeriod = 0;
    std::int32_t halfPeriod = 0;
    // The applied frame format; off at start-up.
    FrameFormat frameFormat;

    // True while a send loop runs, so that a second start keeps the running
    // loop instead of nesting another one.
    bool sendLoopActive = false;
    // What the status lamps say when pointed at: the port that is open
    // ("COM1: 虚拟端口 /dev/pts/5"), or what last happened to the line and
    // when.
    std::string lampToolTip;
    // False when no one sees the lamps (kiv-cli): the send loop's first wait
    // then need not wake the thread at the half period just to recolour
    // them.
    bool lampsOnShow = true;
    // Under the serial page's apply button: which box holds a typed text
    // that is not one of its entries; empty when the last apply went through.
    std::string portHint;
    // Set once the program is ending: no loop may run another cycle.
    bool programEnded = false;

    // Platform services; set by whoever builds the window.
    MessageBoxService* messageBox = nullptr;
    MillisecondClock* clock = nullptr;
    Yielder* yielder = nullptr;
    RandomSource* random = nullptr;
    CommControl* MSComm1 = nullptr;
    // Sees every frame the port took, when a line monitor watches; may be
    // null.
    FrameTap* frameTap = nullptr;
    // Ends the program (the window closes); runs after the port is closed.
    std::function<void()> endProgram;
};

// A control of an array as the form writes it: "sendText1(3)".
std::string IndexedName(const std::string& name, int index);

// The whole frame's bytes for the applied plan and frame format: what the
// port's output buffer holds.
int FrameLength(const Model& w);

// Shows msgText with msgStyle and msgTitle in a modal box. Every box asks
// only to be read: which button closed it changes nothing.
void ShowInfo(Model& w);

// The column of parameter boxes of ParamBox `box` (see model/signal_table.h):
// fuction_t1 for kBoxT1 .. fuction_a0 for kBoxA0.
ControlArray<TextBox, 1, kSignalEntryCount>& ParamBoxColumn(Model& w, int box);

// Sets both status lamps, the serial page's first.
void SetLamps(Model& w, std::uint32_t colour);

// The manual shown on the instructions page.
const std::string& ManualText();

// The page in front of the tab strip.
int FrontPage(const Model& w);
void BringToFront(Model& w, int page);

}  // namespace kiv
