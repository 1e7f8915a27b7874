// Setup files, the one file the program reads. Any bytes either give a setup
// or a refusal naming a line that is in the file. A setup, written out again,
// reads back to the same setup and the same file, and goes through the
// window's boxes unchanged. The other half of the inputs starts from boxes
// holding any texts at all and checks that what is saved loads back to them.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "box_texts.h"
#include "model/setup_file.h"
#include "reference.h"

namespace kiv::fuzz {
namespace {

void CheckWrittenSetup(const Setup& setup) {
    const std::string file = WriteSetup(setup, "fuzz");
    auto again = ParseSetup(file);
    FUZZ_CHECK(std::holds_alternative<Setup>(again),
               "a written setup is refused: " + std::get<SetupRefusal>(again).Describe() +
                   "\nfile: " + Show(file));
    FUZZ_CHECK(std::get<Setup>(again) == setup,
               "a written setup reads back changed: " + Show(file));
    FUZZ_CHECK(WriteSetup(std::get<Setup>(again), "fuzz") == file,
               "writing a setup read back gives another file: " + Show(file));

    Model w;
    PutSetupInBoxes(w, setup);
    FUZZ_CHECK(SetupFromBoxes(w) == setup, "the boxes do not give back the setup put in them");
    for (int entry = 1; entry <= kSignalEntryCount; ++entry)
        for (int c = 0; c < kParamBoxCount; ++c)
            if (!IsEditableParam(entry, c))
                FUZZ_CHECK(setup.params[static_cast<std::size_t>(entry - 1)]
                                       [static_cast<std::size_t>(c)] == "0",
                           "a read-only box was given a text");
}

// The box texts' forms matter here, not their length: a megabyte of text
// only slows every run down.
std::string Short(std::string text) {
    if (text.size() > 3000) text.resize(3000);
    return text;
}

std::size_t LineCount(const std::string& text) {
    std::size_t lines = 1;
    for (char c : text)
        if (c == '\n') ++lines;
    return lines;
}

}  // namespace
}  // namespace kiv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kiv;
    using namespace kiv::fuzz;
    if (size == 0) return 0;
    if (data[0] % 4 != 0) {
        // The rest of the input as a file.
        const std::string file(reinterpret_cast<const char*>(data + 1), size - 1);
        auto parsed = ParseSetup(file);
        if (auto* refusal = std::get_if<SetupRefusal>(&parsed)) {
            FUZZ_CHECK(
                refusal->line >= 1 && static_cast<std::size_t>(refusal->line) <= LineCount(file),
                "a refusal names line " + std::to_string(refusal->line) + " of a file of " +
                    std::to_string(LineCount(file)) + " lines: " + refusal->reason);
            FUZZ_CHECK(!refusal->reason.empty(), "a refusal without a reason");
            return 0;
        }
        CheckWrittenSetup(std::get<Setup>(parsed));
        return 0;
    }
    // Boxes holding anything, the way kiv-cli can fill them from arguments.
    FuzzedDataProvider in(data + 1, size - 1);
    BoxTexts texts(in, 0);
    Model w;
    for (int i = 0; i < kPortBoxCount; ++i) {
        if (in.ConsumeBool())
            w.Combo1(i).Pick(
                in.ConsumeIntegralInRange<int>(0, static_cast<int>(w.Combo1(i).List.size()) - 1));
        else
            w.Combo1(i).Type(Short(texts.Next(w.Combo1(i).Text)));
    }
    for (int i = 1; i <= kSlotCount; ++i) {
        w.sendText1(i).Text = Short(texts.Next(w.sendText1(i).Text));
        w.Check2(i).Value = in.ConsumeBool() ? 1 : 0;
    }
    w.autosendtext1.Text = Short(texts.Next(w.autosendtext1.Text));
    for (int i = 1; i <= kSignalEntryCount; ++i) {
        w.fuction_t1(i).Text = Short(texts.Next(w.fuction_t1(i).Text));
        w.fuction_am(i).Text = Short(texts.Next(w.fuction_am(i).Text));
        w.fuction_a0(i).Text = Short(texts.Next(w.fuction_a0(i).Text));
    }
    const Setup saved = SetupFromBoxes(w);
    CheckWrittenSetup(saved);
    Model loaded;
    PutSetupInBoxes(loaded, std::get<Setup>(ParseSetup(WriteSetup(saved, "fuzz"))));
    for (int i = 1; i <= kSlotCount; ++i)
        FUZZ_CHECK(loaded.sendText1(i).Text == w.sendText1(i).Text,
                   "slot " + std::to_string(i) + " changed: " + Show(w.sendText1(i).Text));
    for (int i = 0; i < kPortBoxCount; ++i)
        FUZZ_CHECK(
            loaded.Combo1(i).Text == w.Combo1(i).Text &&
                (w.Combo1(i).ListIndex < 0 || loaded.Combo1(i).ListIndex == w.Combo1(i).ListIndex),
            "port box " + std::to_string(i) + " changed: " + Show(w.Combo1(i).Text));
    return 0;
}
