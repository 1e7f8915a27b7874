#pragma once

#include <vector>

#include "platform/serial_device_list.h"

namespace kiv::testing {

// The devices a test says are present; nothing of this machine's.
class FakeDeviceList final : public DeviceList {
  public:
    explicit FakeDeviceList(std::vector<SerialDevice> devices = {})
        : m_devices(std::move(devices)) {}
    std::vector<SerialDevice> Read() override {
        ++m_reads;
        return m_devices;
    }
    void set(std::vector<SerialDevice> devices) { m_devices = std::move(devices); }
    int reads() const { return m_reads; }

  private:
    std::vector<SerialDevice> m_devices;
    int m_reads = 0;
};

}  // namespace kiv::testing
