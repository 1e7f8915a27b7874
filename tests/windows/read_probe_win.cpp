// kiv_read_probe: the Windows port control's read path on a real COM port.
//
//   kiv_read_probe.exe COM7 <frame in hex> <bytes expected back>
//
// Opens the port through WinCommControl as kiv-cli does (the named device
// on every port number, paced by the real clock and yield), sends the frame
// with Output, then runs the event loop until the control's ArrivedStore
// holds the bytes expected back and everything sent has left. Prints
// "arrived: <hex>" and "queued: <n>"; exits 0 when both came, 1 when the
// ceiling passed first (saying what it saw), 2 on bad arguments or a port
// that did not open. tests/windows/read_under_wine.py runs it against a
// pseudo-terminal that answers.
#include <QCoreApplication>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/real_time_services.h"
#include "model/errors.h"
#include "platform/device_comm_control.h"

namespace {

// A ceiling, not an expected duration: Wine on a loaded machine.
constexpr std::uint32_t kCeilingMs = 60000;
constexpr std::uint32_t kSliceMs = 10;

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

bool ParseHex(const std::string& text, std::vector<std::uint8_t>& out) {
    if (text.empty() || text.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const std::string pair = text.substr(i, 2);
        if (pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
        out.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kiv;
    QCoreApplication app(argc, argv);
    std::vector<std::uint8_t> frame;
    if (argc != 4 || !ParseHex(argv[2], frame) || std::stoll(argv[3]) < 0) {
        std::fprintf(stderr, "usage: kiv_read_probe COMn FRAME-HEX BYTES-EXPECTED\n");
        return 2;
    }
    const auto expected = static_cast<std::uint64_t>(std::stoll(argv[3]));

    RealTimeServices services;
    PortMap map;
    for (int n = PortMap::kFirstPort; n <= PortMap::kLastPort; ++n) map.setDevice(n, argv[1]);
    DeviceCommControl port(map);
    services.Pace(port);
    LineWatch* watch = port.Watch();
    try {
        port.setPortOpen(true);
        port.Output(frame);
    } catch (const KivError& e) {
        std::fprintf(stderr, "kiv_read_probe: %s\n", e.what());
        return 2;
    }

    std::int64_t queued = watch->BytesQueued();
    bool saneQueue = queued >= 0;
    const std::uint32_t until = services.clock.Now() + kCeilingMs;
    while (static_cast<std::int32_t>(until - services.clock.Now()) > 0) {
        const std::uint64_t total = watch->Arrived().total();
        queued = watch->BytesQueued();
        saneQueue = saneQueue && queued >= 0;
        if (total >= expected && queued == 0) break;
        services.yielder.YieldUntil(services.clock.Now() + kSliceMs);
    }

    std::vector<std::uint8_t> arrived;
    const kiv::ArrivedStore& store = watch->Arrived();
    for (std::uint64_t at = store.oldest(); at < store.total(); ++at)
        arrived.push_back(store.At(at));
    std::printf("arrived: %s\nqueued: %lld\n", Hex(arrived).c_str(),
                static_cast<long long>(queued));
    port.setPortOpen(false);
    if (arrived.size() >= expected && queued == 0 && saneQueue) return 0;
    std::fprintf(stderr,
                 "kiv_read_probe: %zu of %llu bytes came back, %lld still queued%s within %u ms\n",
                 arrived.size(), static_cast<unsigned long long>(expected),
                 static_cast<long long>(queued), saneQueue ? "" : " (once below 0)", kCeilingMs);
    return 1;
}
