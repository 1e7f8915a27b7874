#pragma once

#include <string>

namespace kiv {

// A pseudo-terminal with both ends raw: the one set-up behind kiv-cli's
// virtual port, the tests' stand-in cable and the timing harness's reader.
// The pair holds the slave open for its whole life, so the line never falls
// back to cooked mode (0x0A arriving as 0x0D 0x0A) between the opens of
// whoever uses the slave's path. Both descriptors close with the pair.
class RawPty {
  public:
    // Opens the pair; on failure ok() is false and error() says why.
    RawPty();
    ~RawPty();
    RawPty(const RawPty&) = delete;
    RawPty& operator=(const RawPty&) = delete;

    bool ok() const { return m_master >= 0; }
    const std::string& error() const { return m_error; }
    int master() const { return m_master; }
    int slave() const { return m_slave; }
    const std::string& slavePath() const { return m_slavePath; }

    // Reads and writes on the master return at once instead of waiting.
    void SetMasterNonBlocking();
    // The far end goes away, as when a USB adapter is pulled.
    void CloseMaster();

  private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    std::string m_error;
};

}  // namespace kiv
