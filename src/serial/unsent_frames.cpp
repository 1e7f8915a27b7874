#include "serial/unsent_frames.h"

#include <algorithm>

namespace kiv {

void UnsentFrames::Add(std::span<const std::uint8_t> bytes, bool started) {
    if (bytes.empty()) return;
    m_pieces.push_back({std::vector<std::uint8_t>(bytes.begin(), bytes.end()), started});
    m_bytes += bytes.size();
}

void UnsentFrames::Taken(std::size_t waiting) {
    // The system never holds more than it was given; should it say so, the
    // pieces are taken as all still waiting rather than guessed at.
    std::size_t left = m_bytes - std::min(waiting, m_bytes);
    while (left > 0 && !m_pieces.empty()) {
        Piece& front = m_pieces.front();
        if (front.bytes.size() <= left) {
            left -= front.bytes.size();
            m_bytes -= front.bytes.size();
            m_pieces.pop_front();
            continue;
        }
        front.bytes.erase(front.bytes.begin(),
                          front.bytes.begin() + static_cast<std::ptrdiff_t>(left));
        front.started = true;
        m_bytes -= left;
        left = 0;
    }
}

void UnsentFrames::Close(const std::string& device, std::size_t waiting) {
    Taken(waiting);
    for (const Piece& piece : m_pieces)
        if (!piece.started) ++m_droppedFrames;
    if (!m_pieces.empty() && m_pieces.front().started) {
        KeepTail(device, m_pieces.front().bytes);
    } else {
        m_tail.clear();
        m_tailDevice.clear();
    }
    m_pieces.clear();
    m_bytes = 0;
}

void UnsentFrames::CloseWriting(const std::string& device, std::span<const std::uint8_t> writing,
                                std::size_t sent, bool rest, std::size_t behind) {
    m_pieces.clear();
    m_bytes = 0;
    m_droppedFrames += behind;
    const bool started = sent > 0 || rest;
    if (started && sent < writing.size()) {
        KeepTail(device, writing.subspan(sent));
        return;
    }
    if (sent == 0 && !writing.empty()) ++m_droppedFrames;
    m_tail.clear();
    m_tailDevice.clear();
}

void UnsentFrames::KeepTail(const std::string& device, std::span<const std::uint8_t> tail) {
    m_tail.assign(tail.begin(), tail.end());
    m_tailDevice = m_tail.empty() ? std::string() : device;
}

std::vector<std::uint8_t> UnsentFrames::TakeTail(const std::string& device) {
    std::vector<std::uint8_t> tail;
    if (!m_tail.empty() && device == m_tailDevice) tail.swap(m_tail);
    m_tail.clear();
    m_tailDevice.clear();
    return tail;
}

void UnsentFrames::Clear() {
    m_pieces.clear();
    m_bytes = 0;
    m_tail.clear();
    m_tailDevice.clear();
}

}  // namespace kiv
