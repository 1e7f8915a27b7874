#include "sending/loopback_matcher.h"

#include <algorithm>

namespace kiv {

void LoopbackMatcher::Reset() {
    *this = LoopbackMatcher();
}

const SentFrame* LoopbackMatcher::Expected(const SentFrames& sent) {
    if (m_nextFrame < sent.oldest()) {
        // The frame under way can no longer be compared; the alignment is
        // kept by length only as far as the ring still knows the lengths.
        m_missed += sent.oldest() - m_nextFrame;
        m_nextFrame = sent.oldest();
        m_partial.clear();
    }
    return sent.Find(m_nextFrame);
}

void LoopbackMatcher::Lost(const SentFrames& sent, std::uint64_t bytes) {
    while (bytes > 0) {
        if (m_skip > 0) {
            const std::uint64_t s = std::min(bytes, m_skip);
            m_skip -= s;
            bytes -= s;
            if (m_skip == 0) ++m_nextFrame;
            continue;
        }
        const SentFrame* frame = Expected(sent);
        if (frame == nullptr) {
            m_extra += bytes;
            m_partial.clear();
            return;
        }
        // The frame under way loses its bytes: it is missed, whole.
        ++m_missed;
        m_skip = frame->length - m_partial.size();
        m_partial.clear();
        if (m_skip == 0) ++m_nextFrame;
    }
}

void LoopbackMatcher::Update(const SentFrames& sent, std::uint64_t session,
                             const ArrivedStore& arrived) {
    if (!m_started || session != m_session) {
        // Bytes that came before this session belong to no frame of it.
        *this = LoopbackMatcher();
        m_started = true;
        m_session = session;
        m_read = arrived.total();
    }
    if (m_read > arrived.total()) m_read = arrived.total();  // the store started over
    if (m_read < arrived.oldest()) {
        const std::uint64_t lost = arrived.oldest() - m_read;
        m_read = arrived.oldest();
        Lost(sent, lost);
    }
    while (m_read < arrived.total()) {
        const std::uint64_t available = arrived.total() - m_read;
        if (m_skip > 0) {
            const std::uint64_t s = std::min(available, m_skip);
            m_read += s;
            m_skip -= s;
            if (m_skip == 0) ++m_nextFrame;
            continue;
        }
        const SentFrame* expected = Expected(sent);
        if (expected == nullptr) {
            // Nothing sent is waiting to come back.
            m_extra += available;
            m_read = arrived.total();
            break;
        }
        if (expected->length == 0) {
            ++m_nextFrame;
            continue;
        }
        const std::uint64_t take =
            std::min<std::uint64_t>(expected->length - m_partial.size(), available);
        for (std::uint64_t i = 0; i < take; ++i) m_partial.push_back(arrived.At(m_read + i));
        m_read += take;
        if (m_partial.size() < expected->length) break;
        if (std::equal(m_partial.begin(), m_partial.end(), expected->bytes.begin()))
            ++m_equal;
        else
            ++m_different;
        m_partial.clear();
        ++m_nextFrame;
    }
}

}  // namespace kiv
