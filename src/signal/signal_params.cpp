#include "signal/signal_params.h"

#include "model/errors.h"
#include "model/messages.h"
#include "model/texts.h"
#include "signal/numbers.h"

namespace kiv {
namespace {

void ValidateEntry(const Model& w, int i, std::string& box) {
    box = IndexedName("fuction_t1", i);
    ToInteger(w.fuction_t1(i).Text);
    box = IndexedName("fuction_t2", i);
    ToInteger(w.fuction_t2(i).Text);
    box = IndexedName("fuction_t3", i);
    ToInteger(w.fuction_t3(i).Text);
    box = IndexedName("fuction_am", i);
    ToByte(w.fuction_am(i).Text);
    box = IndexedName("fuction_a0", i);
    const std::int32_t a0 = ToByte(w.fuction_a0(i).Text);
    // The sum is tested on the unrounded am: 100.5 + 155 fails although
    // 100.5 alone rounds into range.
    const double sum = ToReal(w.fuction_am(i).Text) + a0;
    const std::int32_t rounded = RealToInt32(sum);
    if (rounded < 0 || rounded > 255) Raise(ErrorKind::LevelSum, Say(TextId::LevelSumOutsideByte));
}

void StoreEntry(Model& w, int i, std::string& box) {
    box = IndexedName("fuction_t3", i);
    SignalParams& p = w.signalParams(i);
    p.t1 = ToInteger(w.fuction_t1(i).Text);
    p.t2 = ToInteger(w.fuction_t2(i).Text);
    p.t3 = ToInteger(w.fuction_t3(i).Text);
    p.am = ToInteger(w.fuction_am(i).Text);
    p.a0 = ToInteger(w.fuction_a0(i).Text);
    // Written last: an overflow leaves the previous cycle with the new times.
    p.cycle = CheckedAdd(CheckedAdd(p.t1, p.t2), p.t3);
}

}  // namespace

Outcome ApplySignalSettings(Model& w) {
    std::string box;
    try {
        for (int i = 1; i <= kSignalEntryCount; ++i) ValidateEntry(w, i, box);
        for (int i = 1; i <= kSignalEntryCount; ++i) StoreEntry(w, i, box);
        return Outcome::Done();
    } catch (const KivError& e) {
        ShowMessage(w, kSignalSettingsMessage);
        return Outcome::Failed(box, e);
    }
}

void Command2_Click(Model& w) {
    ApplySignalSettings(w);
}
void Command3_Click(Model& w) {
    ApplySignalSettings(w);
}
void Command4_Click(Model& w) {
    ApplySignalSettings(w);
}
void Command6_Click(Model& w) {
    ApplySignalSettings(w);
}

}  // namespace kiv
