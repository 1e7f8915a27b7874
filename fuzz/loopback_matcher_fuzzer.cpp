// Frames sent and bytes coming back, as any line may bring them: the bytes
// arrive in chunks of any size, cut, changed, dropped, joined by bytes no
// frame sent, through a ring and a store small enough to overflow, across
// new sending sessions. Afterwards: the counts never go down within a
// session; equal + different + missed never exceed the frames sent in it,
// and extra bytes never exceed the bytes that arrived in it. When every
// frame comes back whole, in order and in time, each counts as equal and
// nothing as different, missed or extra.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <vector>

#include "sending/loopback_matcher.h"
#include "sending/sent_frames.h"
#include "serial/line_watch.h"

namespace {

void Check(bool holds) {
    if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kiv;
    FuzzedDataProvider in(data, size);
    // A faithful line brings every byte back unchanged, and the matcher
    // looks often enough that neither the ring nor the store overflows.
    const bool faithful = in.ConsumeBool();
    SentFrames sent(faithful ? 4096 : in.ConsumeIntegralInRange<std::size_t>(1, 16));
    ArrivedStore arrived(faithful ? 65536 : in.ConsumeIntegralInRange<std::size_t>(1, 64));
    LoopbackMatcher matcher;
    std::uint64_t session = 1;
    std::uint64_t arrivedAtStart = 0;
    std::deque<std::uint8_t> wire;  // sent, not yet arrived
    std::uint64_t equal = 0, different = 0, missed = 0, extra = 0;
    double ms = 0.0;
    matcher.Update(sent, session, arrived);

    auto update = [&] {
        matcher.Update(sent, session, arrived);
        Check(matcher.equal() >= equal && matcher.different() >= different &&
              matcher.missed() >= missed && matcher.extraBytes() >= extra);
        equal = matcher.equal();
        different = matcher.different();
        missed = matcher.missed();
        extra = matcher.extraBytes();
        Check(equal + different + missed <= sent.total());
        Check(extra <= arrived.total() - arrivedAtStart);
    };

    for (int step = 0; step < 400 && in.remaining_bytes() > 0; ++step) {
        const int op = in.ConsumeIntegralInRange<int>(0, faithful ? 2 : 5);
        ms += 1.0;
        switch (op) {
            case 0: {  // a frame goes out and onto the wire
                std::vector<std::uint8_t> frame =
                    in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(1, 10));
                if (frame.empty()) frame.push_back(0);
                sent.Push(ms, frame);
                wire.insert(wire.end(), frame.begin(), frame.end());
                break;
            }
            case 1: {  // some of the wire arrives
                const std::size_t n = std::min(
                    wire.size(), in.ConsumeIntegralInRange<std::size_t>(0, faithful ? 64 : 200));
                std::vector<std::uint8_t> chunk(wire.begin(), wire.begin() + static_cast<long>(n));
                wire.erase(wire.begin(), wire.begin() + static_cast<long>(n));
                arrived.Add(ms, chunk);
                break;
            }
            case 2:
                update();
                break;
            case 3: {  // bytes no frame sent, or a byte changed on the wire
                if (in.ConsumeBool() || wire.empty()) {
                    const auto junk =
                        in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(1, 40));
                    arrived.Add(ms, junk);
                } else {
                    wire[in.ConsumeIntegralInRange<std::size_t>(0, wire.size() - 1)] ^=
                        in.ConsumeIntegralInRange<std::uint8_t>(1, 255);
                }
                break;
            }
            case 4:  // bytes lost on the wire
                if (!wire.empty())
                    wire.erase(
                        wire.begin(),
                        wire.begin() + static_cast<long>(
                                           in.ConsumeIntegralInRange<std::size_t>(1, wire.size())));
                break;
            case 5:  // sending starts again
                sent.Clear();
                ++session;
                arrivedAtStart = arrived.total();
                equal = different = missed = extra = 0;
                update();
                break;
        }
    }
    // Whatever is still on the wire arrives.
    std::vector<std::uint8_t> rest(wire.begin(), wire.end());
    arrived.Add(ms + 1.0, rest);
    update();
    if (faithful && sent.total() <= sent.capacity() && arrived.total() <= arrived.capacity()) {
        Check(equal == sent.total());
        Check(different == 0 && missed == 0 && extra == 0);
    }
    return 0;
}
