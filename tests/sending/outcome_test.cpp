// What the procedures under the form's handlers report: an apply names the
// box at fault for each kind of bad input, and the send loop says why it
// ended. The box the user sees is checked with them.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "app/startup.h"
#include "fakes.h"
#include "model/messages.h"
#include "sending/send_content.h"
#include "sending/send_loop.h"
#include "serial/port_open_close.h"
#include "serial/port_settings.h"
#include "signal/signal_params.h"

namespace kiv {
namespace {

using Started = testing::StartedRig;

struct ApplyCase {
    const char* name;
    std::function<void(Started&)> spoil;
    const char* box;  // nullptr: the apply succeeds
};

// Checks one apply against its cases: the outcome, the box it names, and
// that a failure shows `message` once and a success nothing.
void CheckApply(const std::vector<ApplyCase>& cases, Outcome (*apply)(Model&),
                const Message* message) {
    for (const ApplyCase& c : cases) {
        SCOPED_TRACE(c.name);
        Started r;
        c.spoil(r);
        const Outcome outcome = apply(r.w);
        EXPECT_EQ(outcome.ok, c.box == nullptr);
        if (c.box == nullptr) {
            EXPECT_TRUE(r.box.shown.empty());
            continue;
        }
        EXPECT_EQ(outcome.box, c.box);
        EXPECT_FALSE(outcome.reason.empty());
        if (message == nullptr) {
            EXPECT_TRUE(r.box.shown.empty());
        } else {
            ASSERT_EQ(r.box.shown.size(), 1u);
            EXPECT_EQ(r.box.shown[0].text, message->text);
            EXPECT_EQ(r.box.shown[0].style, kStyleCriticalCancelRetryContinue);
        }
    }
}

TEST(Outcome, ApplySendSettingsNamesTheBoxAtFault) {
    CheckApply(
        {
            {"start-up page", [](Started&) {}, nullptr},
            {"unknown name", [](Started& r) { r.w.sendText1(3).Text = "sinx4"; }, "sendText1(3)"},
            {"constant above a byte", [](Started& r) { r.w.sendText1(1).Text = "256"; },
             "sendText1(1)"},
            {"last slot", [](Started& r) { r.w.sendText1(10).Text = "-1"; }, "sendText1(10)"},
            {"period not a number", [](Started& r) { r.w.autosendtext1.Text = "x"; },
             "autosendtext1"},
            {"period beyond 32 bits", [](Started& r) { r.w.autosendtext1.Text = "1e10"; },
             "autosendtext1"},
            {"port refuses the buffer", [](Started& r) { r.port.failOn = "OutBufferSize"; }, ""},
        },
        &ApplySendSettings, &kSendSettingsMessage);
}

TEST(Outcome, ApplySignalSettingsNamesTheBoxAtFault) {
    CheckApply(
        {
            {"start-up pages", [](Started&) {}, nullptr},
            {"t1 not a number", [](Started& r) { r.w.fuction_t1(2).Text = "x"; }, "fuction_t1(2)"},
            {"t2 beyond 32 bits", [](Started& r) { r.w.fuction_t2(5).Text = "1e12"; },
             "fuction_t2(5)"},
            {"t3 empty", [](Started& r) { r.w.fuction_t3(8).Text = ""; }, "fuction_t3(8)"},
            {"am above a byte", [](Started& r) { r.w.fuction_am(4).Text = "256"; },
             "fuction_am(4)"},
            {"a0 below zero", [](Started& r) { r.w.fuction_a0(10).Text = "-1"; }, "fuction_a0(10)"},
            {"am + a0 above a byte",
             [](Started& r) {
                 r.w.fuction_am(1).Text = "200";
                 r.w.fuction_a0(1).Text = "56";
             },
             "fuction_a0(1)"},
            // Each time fits; their sum, the cycle, overflows while storing.
            {"cycle beyond 32 bits",
             [](Started& r) {
                 r.w.fuction_t1(7).Text = "2000000000";
                 r.w.fuction_t2(7).Text = "2000000000";
             },
             "fuction_t3(7)"},
        },
        &ApplySignalSettings, &kSignalSettingsMessage);
}

// The kind of error behind a refused signal page, which kiv-cli words its
// rule by: the sum of am and a0 is a rule of its own.
TEST(Outcome, ApplySignalSettingsGivesTheKindOfError) {
    struct KindCase {
        const char* name;
        std::function<void(Started&)> spoil;
        std::optional<ErrorKind> kind;
    };
    const KindCase cases[] = {
        {"start-up pages", [](Started&) {}, std::nullopt},
        {"am + a0 above a byte",
         [](Started& r) {
             r.w.fuction_am(2).Text = "100.5";
             r.w.fuction_a0(2).Text = "155";
         },
         ErrorKind::LevelSum},
        {"am + a0 just above a byte on the sawtooth page",
         [](Started& r) {
             r.w.fuction_am(9).Text = "128.4";
             r.w.fuction_a0(9).Text = "128";
         },
         ErrorKind::LevelSum},
        {"am + a0 a byte's top",
         [](Started& r) {
             r.w.fuction_am(9).Text = "127.4";
             r.w.fuction_a0(9).Text = "128";
         },
         std::nullopt},
        {"am alone above a byte", [](Started& r) { r.w.fuction_am(4).Text = "256"; },
         ErrorKind::Overflow},
        {"t1 not a number", [](Started& r) { r.w.fuction_t1(2).Text = "x"; },
         ErrorKind::NotANumber},
        {"cycle beyond 32 bits",
         [](Started& r) {
             r.w.fuction_t1(7).Text = "2000000000";
             r.w.fuction_t2(7).Text = "2000000000";
         },
         ErrorKind::Overflow},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.name);
        Started r;
        c.spoil(r);
        const Outcome outcome = ApplySignalSettings(r.w);
        EXPECT_EQ(outcome.ok, !c.kind.has_value());
        EXPECT_EQ(outcome.kind, c.kind);
    }
}

// ConfigurePort shows nothing: it reports through portConfigured.
TEST(Outcome, ConfigurePortNamesTheChoiceAtFault) {
    CheckApply(
        {
            {"start-up choices", [](Started&) {}, nullptr},
            {"unknown port", [](Started& r) { r.w.Combo1(0).Text = "COM9"; }, "Combo1(0)"},
            {"unknown parity", [](Started& r) { r.w.Combo1(2).Text = "x"; }, "Combo1(2)"},
            {"settings refused", [](Started& r) { r.port.refuseBaud = "9600"; }, ""},
            {"buffer refused", [](Started& r) { r.port.failOn = "InBufferSize"; }, ""},
        },
        &ConfigurePort, nullptr);
}

TEST(Outcome, ApplyPortSettingsNamesATypedChoice) {
    CheckApply(
        {
            {"start-up choices", [](Started&) {}, nullptr},
            {"typed data bits", [](Started& r) { r.w.Combo1(3).Type("9"); }, "Combo1(3)"},
            {"typed port", [](Started& r) { r.w.Combo1(0).Type("COM1"); }, "Combo1(0)"},
            {"settings refused", [](Started& r) { r.port.refuseBaud = "9600"; }, ""},
        },
        &ApplyPortSettings, nullptr);
}

TEST(Outcome, OpenPortGivesTheSystemsReason) {
    CheckApply(
        {
            {"device present", [](Started&) {}, nullptr},
            {"device missing", [](Started& r) { r.port.failOpen = true; }, ""},
        },
        &OpenPort, &kPortSettingsMessage);
}

struct SendEndCase {
    const char* name;
    std::function<void(Started&)> arrange;  // before the start, the port open
    SendEnd end;
    std::size_t frames;  // written before the loop ended
};

TEST(Outcome, SendFramesSaysWhyTheLoopEnded) {
    const SendEndCase cases[] = {
        {"port not open", [](Started& r) { Optionclose_Click(r.w); }, SendEnd::PortNotOpen, 0},
        {"already sending", [](Started& r) { r.w.sendLoopActive = true; }, SendEnd::AlreadySending,
         0},
        {"paused",
         [](Started& r) {
             r.yielder.everyYield = [&r] {
                 if (r.port.frames.size() == 2) pausesend_Click(r.w);
             };
         },
         SendEnd::Paused, 3},
        {"program ended",
         [](Started& r) {
             r.yielder.everyYield = [&r] {
                 if (r.port.frames.size() == 2) Command5_Click(r.w);
             };
         },
         SendEnd::ProgramEnded, 2},
        {"line lost", [](Started& r) { r.port.failOn = "Output"; }, SendEnd::LineLost, 0},
        {"frame error",
         [](Started& r) {
             r.w.sendText1(1).Text = "squx1";
             Command7_Click(r.w);
             r.w.signalParams(4).cycle = 0;
         },
         SendEnd::FrameError, 0},
    };
    for (const SendEndCase& c : cases) {
        SCOPED_TRACE(c.name);
        Started r;
        Optionopen_Click(r.w);
        Command7_Click(r.w);
        c.arrange(r);
        const SendEnd end = SendFrames(r.w);
        EXPECT_EQ(end, c.end);
        EXPECT_EQ(r.port.frames.size(), c.frames);
        EXPECT_EQ(r.box.shown.size(), c.end == SendEnd::PortNotOpen ? 1u : 0u);
    }
}

}  // namespace
}  // namespace kiv
