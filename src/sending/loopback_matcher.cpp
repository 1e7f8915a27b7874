#include "sending/loopback_matcher.h"

#include <algorithm>
#include <array>

namespace kiv {
namespace {

constexpr std::uint64_t kFnvStart = 1469598103934665603ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

std::uint64_t HashOf(std::span<const std::uint8_t> bytes) {
    std::uint64_t h = kFnvStart ^ bytes.size();
    for (const std::uint8_t b : bytes) h = (h ^ b) * kFnvPrime;
    return h;
}

std::uint64_t HashAt(const ArrivedStore& arrived, std::uint64_t at, std::size_t length) {
    std::uint64_t h = kFnvStart ^ length;
    for (std::size_t i = 0; i < length; ++i) h = (h ^ arrived.At(at + i)) * kFnvPrime;
    return h;
}

}  // namespace

bool LoopbackMatcher::Matches(const SentFrame& frame, const ArrivedStore& arrived,
                              std::uint64_t at) const {
    if (at < arrived.oldest() || at + frame.length > arrived.total()) return false;
    for (std::size_t i = 0; i < frame.length; ++i)
        if (arrived.At(at + i) != frame.bytes[i]) return false;
    return true;
}

void LoopbackMatcher::PassOver(std::uint64_t upTo) {
    if (upTo <= m_read) return;
    if (m_everSynced) m_extra += upTo - m_read;
    m_read = upTo;
}

bool LoopbackMatcher::FindFirst(const SentFrames& sent, const ArrivedStore& arrived) {
    // An index of the newest frames' contents by hash, and the lengths they
    // have: each position of the stream is then looked up once per length.
    const std::uint64_t from = std::max<std::uint64_t>(
        sent.oldest(), sent.total() >= kFramesSearched ? sent.total() - kFramesSearched + 1 : 1);
    m_index.clear();
    std::array<bool, kMaxFrameBytes + 1> lengths{};
    std::size_t longest = 0;
    for (std::uint64_t n = from; n <= sent.total(); ++n) {
        const SentFrame* f = sent.Find(n);
        if (f == nullptr || f->length == 0) continue;
        m_index.emplace_back(HashOf(f->Bytes()), n);
        lengths[f->length] = true;
        longest = std::max<std::size_t>(longest, f->length);
    }
    if (m_index.empty()) {
        PassOver(arrived.total());
        return false;
    }
    std::sort(m_index.begin(), m_index.end());
    for (std::uint64_t q = m_read; q < arrived.total(); ++q) {
        for (std::size_t length = 1; length <= longest; ++length) {
            if (!lengths[length] || q + length > arrived.total()) continue;
            const std::uint64_t h = HashAt(arrived, q, length);
            auto [lo, hi] = std::equal_range(
                m_index.begin(), m_index.end(), std::pair<std::uint64_t, std::uint64_t>(h, 0),
                [](const auto& a, const auto& b) { return a.first < b.first; });
            // Frames of equal contents (a constant plan) all match: the one
            // taken is the newest that leaves frames enough sent for the
            // bytes that came back after it.
            const std::uint64_t after = (arrived.total() - q - length) / length;
            // How many frames back the frames in flight at the look may
            // reach is not known: as many alike as are older than the one
            // taken may still come back after the newest frame sent.
            const SentFrame* chosen = nullptr;
            bool settled = false;
            std::uint64_t alikeBefore = 0;
            for (auto it = hi; it != lo && alikeBefore < kFramesSearched;) {
                --it;
                const SentFrame* f = sent.Find(it->second);
                if (f == nullptr || !Matches(*f, arrived, q)) continue;
                // Once followed, the count never goes back to frames it
                // passed.
                if (m_everSynced && f->number < m_nextFrame) continue;
                if (settled) {
                    ++alikeBefore;
                    continue;
                }
                chosen = f;
                settled = f->number + after <= sent.total();
            }
            if (chosen == nullptr) continue;
            // Only at the first match: later, the frames passed were
            // counted as missed already.
            m_alikeAhead = m_everSynced ? 0 : alikeBefore;
            PassOver(q);
            if (m_everSynced && chosen->number > m_nextFrame)
                m_missed += chosen->number - m_nextFrame;
            m_synced = true;
            m_everSynced = true;
            m_nextFrame = chosen->number;
            return true;
        }
    }
    // The tail may still be the front of a frame coming back.
    const std::uint64_t keep = std::min<std::uint64_t>(longest - 1, arrived.total() - m_read);
    PassOver(arrived.total() - keep);
    return false;
}

LoopbackMatcher::Step LoopbackMatcher::Resynchronise(const SentFrames& sent,
                                                     const ArrivedStore& arrived) {
    // The frame expected came back different. Where does a whole frame
    // begin again: the expected one after bytes that came in addition, or
    // one of the next few after bytes that went missing?
    const std::uint64_t last = std::min(sent.total(), m_nextFrame + kFramesAhead);
    std::uint64_t reach = 0;  // bytes the frames looked for span, and some
    for (std::uint64_t n = m_nextFrame; n <= last; ++n)
        if (const SentFrame* f = sent.Find(n)) reach += f->length + 1u;
    const std::uint64_t end = std::min(arrived.total(), m_read + reach);
    for (std::uint64_t q = m_read + 1; q < end; ++q) {
        for (std::uint64_t n = m_nextFrame; n <= last; ++n) {
            const SentFrame* f = sent.Find(n);
            if (f == nullptr || f->length == 0 || !Matches(*f, arrived, q)) continue;
            // Frames m_nextFrame .. n - 1 came back in the bytes before q.
            std::uint64_t expected = 0;
            for (std::uint64_t k = m_nextFrame; k < n; ++k) expected += sent.Find(k)->length;
            const std::uint64_t span = q - m_read;
            if (n == m_nextFrame) {
                m_extra += span;
            } else if (span == expected) {
                for (std::uint64_t k = m_nextFrame, at = m_read; k < n; ++k) {
                    const SentFrame* g = sent.Find(k);
                    ++(Matches(*g, arrived, at) ? m_equal : m_different);
                    at += g->length;
                }
            } else {
                m_different += n - m_nextFrame;
                if (span < expected)
                    m_missedBytes += expected - span;
                else
                    m_extra += span - expected;
            }
            m_read = q;
            m_nextFrame = n;
            return Step::Went;
        }
    }
    const bool laterSent = m_nextFrame < sent.total();
    // Not enough back yet to tell.
    if (laterSent && m_read + reach > arrived.total()) return Step::Wait;
    if (!laterSent) {
        // No later frame to slip into: the frame changed in place.
        ++m_different;
        m_read += sent.Find(m_nextFrame)->length;
        ++m_nextFrame;
        return Step::Went;
    }
    // Lost further than a few frames: a frame is looked for anywhere.
    m_synced = false;
    return Step::Went;
}

LoopbackMatcher::Step LoopbackMatcher::Follow(const SentFrames& sent, const ArrivedStore& arrived) {
    if (m_nextFrame > sent.total()) {
        // Nothing sent is waiting to come back; but where the first match
        // had frames alike to choose from, the count may be ahead of the
        // line by a few of them.
        const SentFrame* newest = sent.Newest();
        if (m_alikeAhead > 0 && newest != nullptr && newest->length > 0) {
            if (m_read + newest->length > arrived.total()) return Step::Wait;
            if (Matches(*newest, arrived, m_read)) {
                --m_alikeAhead;
                ++m_equal;
                m_read += newest->length;
                return Step::Went;
            }
        }
        PassOver(arrived.total());
        return Step::Wait;
    }
    const SentFrame* expected = sent.Find(m_nextFrame);
    if (expected == nullptr) {
        // The ring dropped it before it came back: what follows is found
        // afresh.
        m_synced = false;
        return Step::Went;
    }
    if (expected->length == 0) {
        ++m_nextFrame;
        return Step::Went;
    }
    if (m_read + expected->length > arrived.total()) return Step::Wait;
    if (Matches(*expected, arrived, m_read)) {
        ++m_equal;
        m_read += expected->length;
        ++m_nextFrame;
        return Step::Went;
    }
    return Resynchronise(sent, arrived);
}

void LoopbackMatcher::Update(const SentFrames& sent, std::uint64_t session,
                             const ArrivedStore& arrived) {
    if (!m_started || session != m_session) {
        // Bytes that came before the look belong to frames that cannot all
        // be told apart any more: counting starts with what comes next.
        *this = LoopbackMatcher();
        m_started = true;
        m_session = session;
        m_read = arrived.total();
        // Nothing sent yet: the first frame is the first to come back.
        if (sent.empty()) {
            m_synced = true;
            m_everSynced = true;
            m_nextFrame = 1;
        }
    }
    if (m_read > arrived.total()) m_read = arrived.total();  // the store started over
    if (m_read < arrived.oldest()) {
        // Bytes dropped from the store unread: the frames they held are
        // missed, counted once a frame is found again.
        m_read = arrived.oldest();
        m_synced = false;
    }
    while (m_read < arrived.total()) {
        if (!m_synced) {
            if (!FindFirst(sent, arrived)) break;
            continue;
        }
        if (Follow(sent, arrived) == Step::Wait) break;
    }
}

}  // namespace kiv
