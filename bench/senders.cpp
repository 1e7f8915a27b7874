#include "senders.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>
#include <stdexcept>

#include "clocks.h"
#include "frame_timing.h"

namespace kiv::bench {
namespace {

void OpenForSending(QSerialPort& port, const std::string& devicePath) {
    port.setPortName(QString::fromStdString(devicePath));
    if (!port.open(QIODevice::WriteOnly)) {
        throw std::runtime_error("cannot open " + devicePath + ": " +
                                 port.errorString().toStdString());
    }
}

void WriteFrame(QSerialPort& port, int number) {
    const auto frame = NumberedFrame(number);
    port.write(reinterpret_cast<const char*>(frame.data()), kFrameBytes);
    // write() only queues; without flush the bytes leave at the next pass of
    // the event loop, which is not what is being measured.
    port.flush();
}

void FinishSending(QSerialPort& port) {
    while (port.bytesToWrite() > 0 && port.waitForBytesWritten(1000)) {
    }
    port.close();
}

}  // namespace

void SendWithPreciseTimer(const std::string& devicePath, int periodMs, int frames) {
    QSerialPort port;
    OpenForSending(port, devicePath);
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(periodMs);
    QEventLoop loop;
    int sent = 0;
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        WriteFrame(port, sent);
        if (++sent == frames) {
            timer.stop();
            loop.quit();
        }
    });
    if (frames > 0) {
        timer.start();
        loop.exec();
    }
    FinishSending(port);
}

void SendWithBusyWait(const std::string& devicePath, int periodMs, int frames) {
    QSerialPort port;
    OpenForSending(port, devicePath);
    const std::int64_t start = MonotonicNs();
    const std::int64_t periodNs = std::int64_t{periodMs} * 1'000'000;
    for (int i = 0; i < frames; ++i) {
        const std::int64_t deadline = start + (i + 1) * periodNs;
        while (MonotonicNs() < deadline) QCoreApplication::processEvents(QEventLoop::AllEvents);
        WriteFrame(port, i);
    }
    FinishSending(port);
}

}  // namespace kiv::bench
