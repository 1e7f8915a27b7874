#include "model/texts.h"

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "support/table_cases.h"

namespace kiv {
namespace {

// Restores English, which every other test expects, however a test ends.
struct LanguageGuard {
    explicit LanguageGuard(TextLanguage language) { SetTextLanguage(language); }
    ~LanguageGuard() { SetTextLanguage(TextLanguage::English); }
};

std::set<char> Placeholders(std::string_view form) {
    std::set<char> found;
    for (std::size_t i = 0; i + 1 < form.size(); ++i)
        if (form[i] == '%' && form[i + 1] >= '1' && form[i + 1] <= '9') found.insert(form[i + 1]);
    return found;
}

bool HasChinese(std::string_view text) {
    // Every CJK ideograph and full-width sign is three bytes in UTF-8, led by
    // 0xE3..0xEF.
    for (unsigned char c : text)
        if (c >= 0xE3 && c <= 0xEF) return true;
    return false;
}

bool IsAscii(std::string_view text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

class EveryText : public ::testing::TestWithParam<int> {};

// The window never shows an English sentence of the program's own, and
// kiv-cli never a Chinese one; a text filled in differently in the two
// languages would drop or repeat a fact.
TEST_P(EveryText, HasBothFormsWithTheSamePlaceholders) {
    const auto id = static_cast<TextId>(GetParam());
    const std::string_view english = TextForm(id, TextLanguage::English);
    const std::string_view chinese = TextForm(id, TextLanguage::Chinese);
    ASSERT_FALSE(english.empty());
    EXPECT_TRUE(IsAscii(english)) << english;
    EXPECT_TRUE(HasChinese(chinese)) << chinese;
    EXPECT_EQ(Placeholders(english), Placeholders(chinese)) << english << " / " << chinese;
}

INSTANTIATE_TEST_SUITE_P(Texts, EveryText, ::testing::Range(0, static_cast<int>(TextId::Count)),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Text" + std::to_string(info.param);
                         });

struct SayCase {
    const char* name;
    TextLanguage language;
    TextId id;
    std::vector<std::string> args;
    std::string expected;
};

using kiv::testing::PrintTo;

class SayTest : public ::testing::TestWithParam<SayCase> {};

TEST_P(SayTest, FillsTheFormOfTheLanguageInForce) {
    const SayCase& c = GetParam();
    const LanguageGuard guard(c.language);
    std::string said;
    switch (c.args.size()) {
        case 0:
            said = Say(c.id);
            break;
        case 1:
            said = Say(c.id, {c.args[0]});
            break;
        case 2:
            said = Say(c.id, {c.args[0], c.args[1]});
            break;
        case 3:
            said = Say(c.id, {c.args[0], c.args[1], c.args[2]});
            break;
        default:
            said = Say(c.id, {c.args[0], c.args[1], c.args[2], c.args[3], c.args[4]});
            break;
    }
    EXPECT_EQ(said, c.expected);
}

constexpr auto kEn = TextLanguage::English;
constexpr auto kZh = TextLanguage::Chinese;

// The English lines are the ones kiv-cli has always printed, byte for byte.
INSTANTIATE_TEST_SUITE_P(
    Cases, SayTest,
    ::testing::Values(
        SayCase{"MissingDeviceEnglish",
                kEn,
                TextId::OpenMissing,
                {"COM3 (/dev/ttyUSB0)", " (the system said: No such file or directory)"},
                "COM3 (/dev/ttyUSB0): there is no such device. Plug the adapter in, or make sure "
                "the port number names the device you mean (the system said: No such file or "
                "directory)."},
        SayCase{
            "MissingDeviceChinese",
            kZh,
            TextId::OpenMissing,
            {"COM3 (/dev/ttyUSB0)", ""},
            "COM3 (/dev/ttyUSB0)：没有这个设备。请插上适配器，或确认串口号对应的是您要用的设备。"},
        SayCase{"GroupNamedTwiceEnglish",
                kEn,
                TextId::OpenGroupOnly,
                {"COM1", "dialout", "/dev/ttyS0"},
                "COM1: permission denied. Only members of the group dialout may use /dev/ttyS0. "
                "Add yourself with \"sudo usermod -aG dialout $USER\", then log out and back in."},
        SayCase{"GroupNamedTwiceChinese",
                kZh,
                TextId::OpenGroupOnly,
                {"COM1", "dialout", "/dev/ttyS0"},
                "COM1：没有权限。只有 dialout 组的成员可以使用 /dev/ttyS0。请用“sudo usermod -aG "
                "dialout $USER”把自己加入该组，然后注销并重新登录。"},
        SayCase{"OwnerAndModeEnglish",
                kEn,
                TextId::OpenOwnerOnly,
                {"COM2", "/dev/ttyS1", "root", "root", "0600"},
                "COM2: permission denied. /dev/ttyS1 is owned by root:root, mode 0600, so no group "
                "you could join may use it. Ask the system's administrator for read and write "
                "access to it."},
        SayCase{"StoppedEnglish",
                kEn,
                TextId::SendingStopped,
                {"12:34:56", "COM1 was lost: Input/output error"},
                "Sending stopped at 12:34:56: COM1 was lost: Input/output error"},
        SayCase{"StoppedChinese",
                kZh,
                TextId::SendingStopped,
                {"12:34:56", "COM1 已断开：Input/output error"},
                "12:34:56 停止发送：COM1 已断开：Input/output error"},
        SayCase{"LogThroughALinkEnglish",
                kEn,
                TextId::LogLeadsTo,
                {"/tmp/x", "a pipe"},
                "leads to /tmp/x, which is a pipe; a log is written only to a regular file"},
        SayCase{"LogThroughALinkChinese",
                kZh,
                TextId::LogLeadsTo,
                {"/tmp/x", "管道"},
                "指向 /tmp/x，而它是管道；记录只写入普通文件"},
        SayCase{"NoArgumentsEnglish", kEn, TextId::PortNotOpen, {}, "the port is not open"},
        SayCase{"NoArgumentsChinese", kZh, TextId::PortNotOpen, {}, "串口未打开"},
        SayCase{"SetupLineEnglish",
                kEn,
                TextId::SetupLine,
                {"7", "expected key=value, [section] or a # comment"},
                "line 7: expected key=value, [section] or a # comment"},
        SayCase{"SetupLineChinese",
                kZh,
                TextId::SetupLine,
                {"7", "不是 UTF-8 文本"},
                "第 7 行：不是 UTF-8 文本"},
        // A value that looks like a placeholder is put in as it is.
        SayCase{"ArgumentKeepsItsPercent",
                kEn,
                TextId::SetupUnknownKey,
                {"%2%1", "send"},
                "unknown key \"%2%1\" in [send]"},
        SayCase{"MissingArgumentIsEmpty", kEn, TextId::PortLost, {"COM4"}, "COM4 was lost: "},
        SayCase{"QuotesAndBackslashesEnglish",
                kEn,
                TextId::SetupUnknownEscape,
                {"q"},
                "unknown escape \\q in a quoted value (use \\\", \\\\ or \\xHH)"}),
    [](const ::testing::TestParamInfo<SayCase>& info) { return std::string(info.param.name); });

TEST(TextLanguageTest, IsEnglishUntilTheWindowChoosesChinese) {
    EXPECT_EQ(CurrentTextLanguage(), TextLanguage::English);
    {
        const LanguageGuard guard(TextLanguage::Chinese);
        EXPECT_EQ(CurrentTextLanguage(), TextLanguage::Chinese);
        EXPECT_EQ(Say(TextId::KindFolder), "文件夹");
    }
    EXPECT_EQ(Say(TextId::KindFolder), "a folder");
}

}  // namespace
}  // namespace kiv
