#include "kiv_loop_sender.h"

#include "app/real_time_services.h"
#include "app/startup.h"
#include "cli/headless.h"
#include "platform/qt_comm_control.h"
#include "sending/send_content.h"
#include "sending/send_loop.h"
#include "serial/port_open_close.h"
#include "serial/port_settings.h"

namespace kiv::bench {

// The program's own send loop as a user drives it: the start-up state, the
// serial page applied, the port opened, the send page applied with the
// start-up slots (four bytes per frame) and the requested period, then
// "开始发送!". The recorder ends sending after the requested frame count, so
// the loop, its yield, its clock and the QSerialPort layer are all the ones
// the window uses.
std::optional<SendFunction> RegisteredKivLoop() {
    return SendFunction([](const std::string& devicePath, int periodMs, int frames) {
        PortMap map;
        map.setDevice(1, devicePath);
        QtCommControl port(map);
        RealTimeServices services;
        services.Pace(port);

        Model w;
        w.lampsOnShow = false;  // as in kiv-cli
        FrameRecorder recorder(w, port);
        recorder.setFrameLimit(frames);
        services.With(&recorder).AttachTo(w);

        StartUp(w);
        Optionopen_Click(w);
        w.autosendtext1.Text = std::to_string(periodMs);
        Command7_Click(w);
        starsend_Click(w);
        Optionclose_Click(w);
    });
}

}  // namespace kiv::bench
