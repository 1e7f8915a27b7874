// What the monitor says in words: why a recording stopped, broken into
// lines that fit.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>

#include "gui/line_monitor.h"
#include "model/texts.h"

namespace kiv {
namespace {

// Whether `text` holds a Chinese character.
bool HasChinese(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF) return true;
    return false;
}

TEST(MonitorTextsTest, ARecordingFailureIsSaidInTheProgramsWordsFirst) {
    SetTextLanguage(TextLanguage::Chinese);
    const struct {
        const char* name;
        const char* path;
        const char* reason;
        bool started;
        const char* begins;  // what the text starts with
        const char* detail;  // what follows somewhere after it
        bool systemsDetail;  // the reason is marked as the system's
    } cases[] = {
        {"no such folder", "/nowhere/run.csv", "/nowhere/run.csv: No such file or directory", false,
         "不能记录到 /nowhere/run.csv", "No such file or directory", true},
        {"a device refused by the program", "/dev/full", "/dev/full: 是设备；记录只写入普通文件",
         false, "不能记录到 /dev/full：", "是设备；记录只写入普通文件", false},
        {"the disk filled while recording", "/tmp/run.csv", "No space left on device", true,
         "无法写入 /tmp/run.csv", "No space left on device", true},
        {"the program's write error", "/tmp/run.csv", "写入出错", true, "无法写入 /tmp/run.csv：",
         "写入出错", false},
        {"a path with a colon in it", "/tmp/a: b.csv", "/tmp/a: b.csv: Permission denied", false,
         "不能记录到 /tmp/a: b.csv", "Permission denied", true},
        {"no reason given", "/tmp/run.csv", "", true, "无法写入 /tmp/run.csv", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString text = LineMonitor::RecordingFailure(QString::fromUtf8(c.path),
                                                           QString::fromUtf8(c.reason), c.started);
        EXPECT_TRUE(text.startsWith(QString::fromUtf8(c.begins))) << text.toStdString();
        EXPECT_TRUE(text.contains(QString::fromUtf8(c.detail))) << text.toStdString();
        // The path is named once: the reason's own copy of it goes.
        EXPECT_EQ(text.count(QString::fromUtf8(c.path)), 1) << text.toStdString();
        EXPECT_EQ(text.contains(QStringLiteral("系统提示")), c.systemsDetail) << text.toStdString();
        if (c.systemsDetail) {
            EXPECT_LT(text.indexOf(QStringLiteral("系统提示")),
                      text.indexOf(QString::fromUtf8(c.detail)));
        }
    }
    SetTextLanguage(TextLanguage::English);
}

TEST(MonitorTextsTest, ALongReasonIsBrokenIntoLinesThatFit) {
    const QString longPath = QStringLiteral("/home/user/") + QString(40, QLatin1Char('d')) +
                             QStringLiteral("/") + QString(60, QLatin1Char('f')) +
                             QStringLiteral(".csv");
    const struct {
        const char* name;
        QString text;
        int width;
        int maxLines;
        bool whole;  // all of it fits in maxLines
    } cases[] = {
        {"short", QStringLiteral("记录已停止：无法写入 a.csv"), 400, 3, true},
        {"a path without spaces", QStringLiteral("记录已停止：不能记录到 ") + longPath, 200, 10,
         true},
        {"words", QStringLiteral("could not write to the file because the disk is full now"), 120,
         10, true},
        {"too long for the lines", QStringLiteral("记录已停止：不能记录到 ") + longPath, 150, 2,
         false},
        {"one line only", longPath, 100, 1, false},
    };
    const QFont font = QLabel().font();
    const QFontMetrics metrics(font);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString wrapped = WrappedLabel::Wrap(c.text, font, c.width, c.maxLines);
        const QStringList lines = wrapped.split(QLatin1Char('\n'));
        EXPECT_LE(lines.size(), c.maxLines);
        for (const QString& line : lines)
            EXPECT_LE(metrics.horizontalAdvance(line), c.width) << line.toStdString();
        QString joined = lines.join(QString());
        QString plain = c.text;
        plain.remove(QLatin1Char(' '));
        joined.remove(QLatin1Char(' '));
        if (c.whole) {
            EXPECT_EQ(joined, plain);
        } else {
            EXPECT_TRUE(joined.endsWith(QChar(0x2026))) << wrapped.toStdString();
            joined.chop(1);
            EXPECT_TRUE(plain.startsWith(joined)) << wrapped.toStdString();
        }
    }
}

TEST(MonitorTextsTest, TheLabelShowsWhatFitsAndTellsTheRestInItsTooltip) {
    WrappedLabel label;
    label.resize(160, 80);
    label.show();
    const QString text =
        QStringLiteral("记录已停止：不能记录到 /tmp/") + QString(200, QLatin1Char('x'));
    label.setFullText(text);
    EXPECT_EQ(label.toolTip(), text);
    EXPECT_EQ(label.fullText(), text);
    EXPECT_GT(label.text().count(QLatin1Char('\n')), 0);
    for (const QString& line : label.text().split(QLatin1Char('\n')))
        EXPECT_LE(label.fontMetrics().horizontalAdvance(line), label.contentsRect().width());
    // A wider label takes more of the text on a line.
    const int narrowLines = label.text().count(QLatin1Char('\n'));
    label.resize(4000, 80);
    EXPECT_LT(label.text().count(QLatin1Char('\n')), narrowLines);
    EXPECT_TRUE(HasChinese(label.text()));
}

}  // namespace
}  // namespace kiv
