#pragma once

#include "serial/comm_control.h"

namespace kiv {

// A port control that passes every member on to another one; a wrapper
// overrides only what it watches (the frames written, for instance).
class ForwardingCommControl : public CommControl {
  public:
    explicit ForwardingCommControl(CommControl& inner) : m_inner(inner) {}

    void setInBufferSize(std::int16_t v) override { m_inner.setInBufferSize(v); }
    void setOutBufferSize(std::int16_t v) override { m_inner.setOutBufferSize(v); }
    void setInputMode(std::int32_t v) override { m_inner.setInputMode(v); }
    void setInputLen(std::int16_t v) override { m_inner.setInputLen(v); }
    void setInBufferCount(std::int16_t v) override { m_inner.setInBufferCount(v); }
    void setOutBufferCount(std::int16_t v) override { m_inner.setOutBufferCount(v); }
    void setRThreshold(std::int16_t v) override { m_inner.setRThreshold(v); }
    void setCommPort(std::int16_t v) override { m_inner.setCommPort(v); }
    void setSettings(const std::string& s) override { m_inner.setSettings(s); }
    bool PortOpen() const override { return m_inner.PortOpen(); }
    void setPortOpen(bool open) override { m_inner.setPortOpen(open); }
    std::size_t Output(std::span<const std::uint8_t> bytes) override {
        return m_inner.Output(bytes);
    }
    LineWatch* Watch() override { return m_inner.Watch(); }

  protected:
    CommControl& inner() { return m_inner; }

  private:
    CommControl& m_inner;
};

}  // namespace kiv
