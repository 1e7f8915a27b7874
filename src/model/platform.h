#pragma once

#include <cstdint>
#include <string>

// What the platform gives the program, as narrow interfaces so that the
// logic runs the same against the real window and against test fakes.
namespace kiv {

// A message box's style word (the platform's numbering): the button set in
// its low bits, the icon above them.
namespace message_style {
constexpr std::int32_t kButtonsMask = 0x0F;
constexpr std::int32_t kIconMask = 0x70;
// The one button set the program shows: Cancel, Try Again, Continue.
constexpr std::int32_t kCancelTryAgainContinue = 6;
// The one icon the program shows: the stop sign.
constexpr std::int32_t kIconCritical = 16;
}  // namespace message_style

// Button codes a message box returns (the platform's numbering), for the
// buttons of the program's set.
enum MessageAnswer : std::int32_t {
    kAnswerCancel = 2,
    kAnswerTryAgain = 10,
    kAnswerContinue = 11,
};

class MessageBoxService {
  public:
    virtual ~MessageBoxService() = default;
    // Shows a modal box and waits for the user; returns the button's code.
    virtual std::int32_t Show(const std::string& text, std::int32_t style, const std::string& title,
                              const std::string& helpFile, std::int32_t helpContext) = 0;
    // The same box with a detailed text the user can unfold (the system's
    // reason behind the message); a box that has no room for it shows the
    // message alone.
    virtual std::int32_t ShowWithDetail(const std::string& text, std::int32_t style,
                                        const std::string& title, const std::string& helpFile,
                                        std::int32_t helpContext, const std::string& /*detail*/) {
        return Show(text, style, title, helpFile, helpContext);
    }
};

// Milliseconds since the system started, wrapping at 2^32.
class MillisecondClock {
  public:
    virtual ~MillisecondClock() = default;
    virtual std::uint32_t Now() = 0;
};

// One pass of the window's message processing. Runs every pending window
// event; when there is none, it may sleep until the next event or until the
// millisecond clock reads wakeAt, whichever comes first.
class Yielder {
  public:
    virtual ~Yielder() = default;
    virtual void YieldUntil(std::uint32_t wakeAt) = 0;
};

// Uniform single-precision values in [0, 1), re-seeded before every draw.
class RandomSource {
  public:
    virtual ~RandomSource() = default;
    virtual float Draw() = 0;
};

}  // namespace kiv
