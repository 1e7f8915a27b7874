#pragma once

#include "serial/comm_control.h"

namespace kiv {

// A port control that passes every member on to another one; a wrapper
// overrides only what it watches (the frames written, for instance).
class ForwardingCommControl : public CommControl {
public:
    explicit ForwardingCommControl(CommControl& inner) : inner_(inner) {}

    void setInBufferSize(std::int16_t v) override { inner_.setInBufferSize(v); }
    void setOutBufferSize(std::int16_t v) override { inner_.setOutBufferSize(v); }
    void setInputMode(std::int32_t v) override { inner_.setInputMode(v); }
    void setInputLen(std::int16_t v) override { inner_.setInputLen(v); }
    void setInBufferCount(std::int16_t v) override { inner_.setInBufferCount(v); }
    void setOutBufferCount(std::int16_t v) override { inner_.setOutBufferCount(v); }
    void setRThreshold(std::int16_t v) override { inner_.setRThreshold(v); }
    void setCommPort(std::int16_t v) override { inner_.setCommPort(v); }
    void setSettings(const std::string& s) override { inner_.setSettings(s); }
    bool PortOpen() const override { return inner_.PortOpen(); }
    void setPortOpen(bool open) override { inner_.setPortOpen(open); }
    void Output(std::span<const std::uint8_t> bytes) override { inner_.Output(bytes); }

protected:
    CommControl& inner() { return inner_; }

private:
    CommControl& inner_;
};

}  // namespace kiv
