#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "model/errors.h"
#include "serial/comm_control.h"

namespace kiv::testing {

// A serial port control without a device: it keeps what it is told, records
// every frame, and refuses to open when a test asks it to.
class FakePort : public CommControl {
  public:
    void setInBufferSize(std::int16_t) override {}
    void setOutBufferSize(std::int16_t bytes) override { outBufferSize = bytes; }
    void setInputMode(std::int32_t) override {}
    void setInputLen(std::int16_t) override {}
    void setInBufferCount(std::int16_t) override {}
    void setOutBufferCount(std::int16_t) override {}
    void setRThreshold(std::int16_t) override {}
    void setCommPort(std::int16_t port) override { commPort = port; }
    void setSettings(const std::string& text) override { settings = text; }

    bool PortOpen() const override { return open; }
    void setPortOpen(bool value) override {
        if (value && refuseOpen) Raise(ErrorKind::Port, "the fake port refuses to open");
        open = value;
    }

    void Output(std::span<const std::uint8_t> bytes) override {
        if (!open) Raise(ErrorKind::Port, "write to a closed port");
        const auto n = std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(outBufferSize));
        frames.emplace_back(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    }

    bool refuseOpen = false;
    bool open = false;
    std::int16_t commPort = 0;
    std::int16_t outBufferSize = 0;
    std::string settings;
    std::vector<std::vector<std::uint8_t>> frames;
};

}  // namespace kiv::testing
