#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// The controls of the window as plain state: the properties the program
// reads and writes, nothing else. The widget binding mirrors them on screen.
namespace kiv {

// Colours as 0x00BBGGRR values.
constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kGreen = 0x008000;
constexpr std::uint32_t kLightGreen = 0x80FF80;

struct TextBox {
    std::string Text;
    bool Enabled = true;
    bool Locked = false;  // read-only
};

struct CheckBox {
    int Value = 0;  // 0 clear, 1 ticked
    std::string Caption;
    bool Enabled = true;
};

struct ComboBox {
    std::vector<std::string> List;
    int ListIndex = -1;  // -1: the text was typed, not picked
    std::string Text;
    bool Enabled = true;

    // A pick from the list: text and position follow the entry.
    void Pick(int index) {
        ListIndex = index;
        Text = List.at(static_cast<std::size_t>(index));
    }
    // Typing: the text changes and the box has no list position.
    void Type(const std::string& text) {
        Text = text;
        ListIndex = -1;
    }
};

struct CommandButton {
    std::string Caption;
    bool Enabled = true;
};

struct OptionButton {
    std::string Caption;
    bool Value = false;
    bool Enabled = true;
};

struct Label {
    std::string Caption;
};

struct Shape {
    std::uint32_t BackColor = kBlack;
};

// A page container of the tab strip.
struct Frame {
    std::string Caption;
    bool Enabled = true;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int ZOrder = 0;  // the highest is in front
};

struct TabStrip {
    std::vector<std::string> Tabs;
    int SelectedItem = 1;  // 1-based
    int ClientLeft = 0, ClientTop = 0, ClientWidth = 0, ClientHeight = 0;
};

// The numeric send-count display.
struct Tally {
    std::int32_t Value = 0;
};

// A control array addressed as name(i) with the form's own indexes Lo..Hi.
template <typename T, int Lo, int Hi>
class ControlArray {
  public:
    static constexpr int kLow = Lo;
    static constexpr int kHigh = Hi;
    static constexpr int Count() { return Hi - Lo + 1; }

    T& operator()(int i) { return m_items[Slot(i)]; }
    const T& operator()(int i) const { return m_items[Slot(i)]; }

  private:
    static std::size_t Slot(int i) {
        if (i < Lo || i > Hi) throw std::out_of_range("control array index out of range");
        return static_cast<std::size_t>(i - Lo);
    }
    T m_items[Hi - Lo + 1]{};
};

}  // namespace kiv
