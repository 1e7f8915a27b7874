#include "signal/noise_targets.h"

namespace kiv {

// The toolkit may report a programmatic change as a click of the changed box;
// the mirror then runs nested, finds the rows equal and changes nothing.
void Check1_Click(Model& w, int /*index*/) {
    for (int j = 1; j <= decltype(w.Check1)::Count(); ++j) w.Check2(j).Value = w.Check1(j).Value;
}

void Check2_Click(Model& w, int /*index*/) {
    for (int j = 1; j <= decltype(w.Check2)::Count(); ++j) w.Check1(j).Value = w.Check2(j).Value;
}

}  // namespace kiv
