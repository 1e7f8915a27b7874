#include "model/setup_file.h"

#include <gtest/gtest.h>

#include <string>

namespace kiv {
namespace {

// Boxes as a user might leave them: picked and typed port texts, slots with
// blanks, quotes and backslashes kept exactly, non-ASCII text, and bytes no
// window would produce but a command line can.
Model EditedWindow() {
    Model w;
    w.Combo1(0).Pick(2);
    w.Combo1(1).Type("38400 ");
    w.Combo1(2).Pick(2);  // 偶
    w.Combo1(3).Type("七");
    w.Combo1(4).Pick(1);
    w.sendText1(1).Text = " 12 ";
    w.sendText1(2).Text = "\"quoted\"";
    w.sendText1(3).Text = "a\\b=c # ; [x]";
    w.sendText1(4).Text = "正弦";
    w.sendText1(5).Text = std::string("\xff\x01\tz", 4);
    w.sendText1(10).Text = "\"";
    w.autosendtext1.Text = "\t1e1";
    w.Check2(3).Value = 1;
    w.Check2(10).Value = 1;
    w.fuction_t1(1).Text = "2.5";
    w.fuction_am(10).Text = "";
    w.fuction_t3(9).Text = "  ";
    return w;
}

TEST(SetupFile, SaveLoadSaveGivesTheSameFileAndTheSameBoxes) {
    const Model edited = EditedWindow();
    const kiv::Setup saved = SetupFromBoxes(edited);
    const std::string file = WriteSetup(saved, "test");

    auto parsed = ParseSetup(file);
    ASSERT_TRUE(std::holds_alternative<kiv::Setup>(parsed))
        << std::get<SetupRefusal>(parsed).Describe() << "\n"
        << file;
    Model loaded;
    PutSetupInBoxes(loaded, std::get<kiv::Setup>(parsed));
    EXPECT_EQ(WriteSetup(SetupFromBoxes(loaded), "test"), file);

    for (int i = 1; i <= kSlotCount; ++i) {
        EXPECT_EQ(loaded.sendText1(i).Text, edited.sendText1(i).Text) << i;
        EXPECT_EQ(loaded.Check2(i).Value, edited.Check2(i).Value) << i;
    }
    for (int i = 0; i < kPortBoxCount; ++i) {
        EXPECT_EQ(loaded.Combo1(i).Text, edited.Combo1(i).Text) << i;
        EXPECT_EQ(loaded.Combo1(i).ListIndex, edited.Combo1(i).ListIndex) << i;
    }
    EXPECT_EQ(loaded.autosendtext1.Text, "\t1e1");
    EXPECT_EQ(loaded.fuction_t1(1).Text, "2.5");
    EXPECT_EQ(loaded.fuction_t3(9).Text, "  ");
    EXPECT_EQ(loaded.fuction_am(10).Text, "");
}

TEST(SetupFile, NonAsciiTextsAreWrittenAsTheyAre) {
    const std::string file = WriteSetup(SetupFromBoxes(EditedWindow()), "test");
    EXPECT_NE(file.find("\nparity=偶\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\ndata_bits=七\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\nslot4=正弦\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\nslot5=\"\\xFF\\x01\\x09z\"\n"), std::string::npos) << file;
    EXPECT_EQ(file.rfind("# KIV(数字信号发生器) Ver1.0 setup, written by test\n", 0), 0u);
    // Read-only boxes are not in the file.
    EXPECT_NE(file.find("[sinx1]\nt1=2.5\nam=60\na0=100\n"), std::string::npos) << file;
    EXPECT_NE(file.find("[noise]\nam=\n"), std::string::npos) << file;
}

TEST(SetupFile, AHandWrittenFileLeavesOutWhatItDoesNotChange) {
    const std::string file =
        "\xEF\xBB\xBF; made by hand\r\n"
        "[send]\r\n"
        "  slot1 =  200  \r\n"
        "slot5=sinx3\r\n"
        "noise_slots = 1, 5 ,1\r\n"
        "\r\n"
        "[ trix2 ]\n"
        "t3=7\n"
        "[serial]\n"
        "parity=奇";
    auto parsed = ParseSetup(file);
    ASSERT_TRUE(std::holds_alternative<kiv::Setup>(parsed))
        << std::get<SetupRefusal>(parsed).Describe();
    kiv::Setup expected = InitialSetup();
    expected.slotTexts[0] = "200";
    expected.slotTexts[4] = "sinx3";
    expected.noise[0] = expected.noise[4] = true;
    expected.params[7][2] = "7";
    expected.serial[2] = "奇";
    EXPECT_EQ(std::get<kiv::Setup>(parsed), expected);
    EXPECT_EQ(InitialSetup().serial, (std::array<std::string, 5>{"COM1", "9600", "无", "8", "1"}));
    EXPECT_EQ(InitialSetup().slotTexts[2], "sinx1");
}

// The [frame] section: written only for a format that is on, read into the
// frame page's boxes by name, and what the page reads back from them.
TEST(SetupFile, TheFrameSectionGoesIntoTheFramePage) {
    const struct {
        const char* name;
        std::string section;               // the file's [frame] section, "" for none
        std::array<const char*, 4> boxes;  // counter, checksum, order, range as the page shows them
        const char* header;
        int lengthByte;
        const char* written;  // the section as written back, "" for none
    } cases[] = {
        {"no section", "", {"无", "无", "低字节在前", "从帧首"}, "", 0, ""},
        {"an empty section", "[frame]\n", {"无", "无", "低字节在前", "从帧首"}, "", 0, ""},
        {"every key",
         "[frame]\nheader=0xaa,0x55\ncounter=u16be\nlength=1\nchecksum=crc16-modbus\n"
         "checksum_order=be\nchecksum_from=payload\ntrailer=0D 0A\n",
         {"16 位 高字节在前", "crc16-modbus", "高字节在前", "从帧头之后"},
         "0xaa,0x55",
         1,
         "[frame]\nheader=0xaa,0x55\ncounter=u16be\nlength=1\nchecksum=crc16-modbus\n"
         "checksum_order=be\nchecksum_from=payload\ntrailer=0D 0A\n"},
        {"a checksum without its order takes the usual one",
         "[frame]\nchecksum=crc16-ccitt-false\n",
         {"无", "crc16-ccitt-false", "高字节在前", "从帧首"},
         "",
         0,
         "[frame]\nheader=\ncounter=\nlength=0\nchecksum=crc16-ccitt-false\n"
         "checksum_order=be\nchecksum_from=start\ntrailer=\n"},
        {"a counter alone",
         "[frame]\ncounter=u8\n",
         {"8 位", "无", "低字节在前", "从帧首"},
         "",
         0,
         "[frame]\nheader=\ncounter=u8\nlength=0\nchecksum=\nchecksum_order=le\n"
         "checksum_from=start\ntrailer=\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto parsed = ParseSetup("[send]\nslot1=5\n" + c.section);
        ASSERT_TRUE(std::holds_alternative<kiv::Setup>(parsed));
        Model w;
        PutSetupInBoxes(w, std::get<kiv::Setup>(parsed));
        EXPECT_EQ(w.frameCounter.Text, c.boxes[0]);
        EXPECT_EQ(w.frameChecksum.Text, c.boxes[1]);
        EXPECT_EQ(w.frameChecksumOrder.Text, c.boxes[2]);
        EXPECT_EQ(w.frameChecksumFrom.Text, c.boxes[3]);
        EXPECT_EQ(w.frameHeader.Text, c.header);
        EXPECT_EQ(w.frameLengthByte.Value, c.lengthByte);
        const std::string written = WriteSetup(SetupFromBoxes(w), "test");
        const std::size_t at = written.find("[frame]");
        EXPECT_EQ(at == std::string::npos ? "" : written.substr(at), c.written);
        // What is written reads back as the same boxes.
        const auto again = ParseSetup(written);
        ASSERT_TRUE(std::holds_alternative<kiv::Setup>(again));
        EXPECT_EQ(std::get<kiv::Setup>(again), SetupFromBoxes(w));
    }
}

TEST(SetupFile, EveryRefusalNamesItsLine) {
    const struct {
        const char* name;
        std::string text;
        int line;
        const char* mentions;
    } cases[] = {
        {"unknown section", "# c\n[serial]\nport=COM2\n[sinx4]\n", 4, "[sinx4]"},
        {"unknown key", "[send]\nslot1=1\nslot11=2\n", 3, "slot11"},
        {"key of another section", "[serial]\nperiod=10\n", 2, "period"},
        {"read-only box", "\n\n[sinx2]\nt2=5\n", 4, "read-only"},
        {"read-only noise offset", "[noise]\nam=3\na0=1\n", 3, "a0"},
        {"key before a section", "slot1=5\n[send]\n", 1, "before any [section]"},
        {"repeated key", "[send]\nperiod=1\n\nperiod = 2\n", 4, "first on line 2"},
        {"repeated section", "[noise]\n[serial]\n[noise]\n", 3, "first on line 1"},
        {"no equals sign", "[send]\nslot1 5\n", 2, "key=value"},
        {"unclosed section", "[send\n", 1, "]"},
        {"unclosed quote", "[send]\r\nslot1=\"5\r\n", 2, "closing"},
        {"text after the quote", "[send]\nslot1=\"5\" x\n", 2, "after the closing"},
        {"unknown escape", "[send]\nslot1=\"\\n\"\n", 2, "escape"},
        {"short hex escape", "[send]\nslot1=\"\\x4\"\n", 2, "escape"},
        {"bad noise slot", "[send]\nnoise_slots=1,11\n", 2, "11"},
        {"empty noise slot", "[send]\nnoise_slots=1,,2\n", 2, "noise_slots"},
        {"control character", "[send]\nslot1=5\x01\n", 2, "control"},
        {"carriage return inside", "[send]\nslot1=5\r6\n", 2, "control"},
        {"not UTF-8", "[send]\n\nslot1=\xC0\xAF\n", 3, "UTF-8"},
        {"cut UTF-8 at the end", "[serial]\nparity=\xE5\xA5", 2, "UTF-8"},
        {"length byte neither 0 nor 1", "[frame]\nheader=AA\nlength=yes\n", 3, "length"},
        {"unknown frame key", "[frame]\ncrc=crc8\n", 2, "crc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto parsed = ParseSetup(c.text);
        ASSERT_TRUE(std::holds_alternative<SetupRefusal>(parsed));
        const SetupRefusal& r = std::get<SetupRefusal>(parsed);
        EXPECT_EQ(r.line, c.line) << r.Describe();
        EXPECT_NE(r.reason.find(c.mentions), std::string::npos) << r.reason;
        EXPECT_EQ(r.Describe().rfind("line " + std::to_string(c.line) + ": ", 0), 0u);
    }
}

}  // namespace
}  // namespace kiv
