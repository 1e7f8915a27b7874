// Saving and loading setups from the window: the keys, the tab strip's
// menu, the remembered folder, and a load that comes while sending.
#include "gui/setup_commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>

#include "model/messages.h"
#include "sending/setup_load.h"
#include "window_rig.h"

namespace kiv::testing {
namespace {

QByteArray Contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Hands the window a file instead of a dialog, and counts the asks.
struct FileChoice {
    FileChoice(WindowRig& rig, const QTemporaryDir& dir) {
        rig.window->setups()->setSettingsFile(dir.filePath(QStringLiteral("settings.ini")));
        rig.window->setups()->chooseFile = [this](bool save, const QString& folder,
                                                  SetupCommands::Chosen chosen) {
            asks.push_back({save, folder});
            if (!next.isEmpty()) chosen(next);
        };
    }
    struct Ask {
        bool save;
        QString folder;
    };
    std::vector<Ask> asks;
    QString next;
};

void Press(WindowRig& rig, Qt::Key key) {
    rig.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(rig.window));
    QTest::keyClick(rig.window, key, Qt::ControlModifier);
}

TEST(SetupCommandsTest, CtrlSSavesWhatIsTypedAndCtrlOLoadsItIntoAnotherWindow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("我的设置.ini"));
    BoxAnswerer answerer(QStringLiteral("取消"));
    {
        WindowRig first;
        FileChoice choice(first, dir);
        first.type("sendText1(2)", " 7 ");
        first.type("sendText1(5)", "TRIX1");
        first.type("autosendtext1", "20");
        first.selectPage(1);
        auto* parity = first.find<QComboBox>("Combo1(2)");
        parity->setCurrentIndex(1);
        emit parity->activated(1);
        first.selectPage(4);
        first.type("fuction_t3(8)", "33");
        first.selectPage(0);
        QTest::mouseClick(first.find<QCheckBox>("Check2(4)"), Qt::LeftButton);
        choice.next = file;
        ASSERT_NO_FATAL_FAILURE(Press(first, Qt::Key_S));
        ASSERT_EQ(choice.asks.size(), 1u);
        EXPECT_TRUE(choice.asks[0].save);
        EXPECT_EQ(choice.asks[0].folder, QDir::homePath()) << "no folder used yet";
        EXPECT_TRUE(Contents(file).contains("\nparity=奇\n"));
        EXPECT_EQ(first.window->setups()->lastFolder(), dir.path());
    }

    WindowRig second;
    FileChoice choice(second, dir);
    choice.next = file;
    ASSERT_NO_FATAL_FAILURE(Press(second, Qt::Key_O));
    ASSERT_EQ(choice.asks.size(), 1u);
    EXPECT_FALSE(choice.asks[0].save);
    EXPECT_EQ(choice.asks[0].folder, dir.path()) << "the dialog opens where the last file was";
    EXPECT_EQ(second.find<QLineEdit>("sendText1(2)")->text(), QStringLiteral(" 7 "));
    EXPECT_EQ(second.find<QLineEdit>("sendText1(5)")->text(), QStringLiteral("TRIX1"));
    EXPECT_EQ(second.find<QLineEdit>("fuction_t3(8)")->text(), QStringLiteral("33"));
    EXPECT_EQ(second.find<QComboBox>("Combo1(2)")->currentText(), QStringLiteral("奇"));
    EXPECT_TRUE(second.find<QCheckBox>("Check1(4)")->isChecked());
    // Applied as the pages' buttons would: the send buttons are enabled,
    // the port stays closed.
    EXPECT_TRUE(second.find<QPushButton>("starsend")->isEnabled());
    EXPECT_EQ(second.model.slotCount, 5);
    EXPECT_EQ(second.model.signalParams(8).cycle, 233);
    EXPECT_EQ(second.port.settings, "9600,o,8,1");
    EXPECT_FALSE(second.port.open);

    // Saved again from the second window: the same file.
    const QString again = dir.filePath(QStringLiteral("again.ini"));
    ASSERT_TRUE(second.window->setups()->save(again));
    EXPECT_EQ(Contents(again).replace("written by kiv", ""),
              Contents(file).replace("written by kiv", ""));
    EXPECT_TRUE(answerer.seen().empty()) << answerer.seen().front().text.toStdString();
}

TEST(SetupCommandsTest, TheTabStripMenuOffersSaveAndLoadWithTheirKeys) {
    QTemporaryDir dir;
    WindowRig rig;
    FileChoice choice(rig, dir);
    QMenu* menu = rig.window->setups()->menu();
    ASSERT_NE(menu, nullptr);
    QTabBar* bar = rig.window->tabs()->tabBar();
    emit bar->customContextMenuRequested(bar->tabRect(3).center());
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
    auto* save = menu->findChild<QAction*>(QStringLiteral("saveSetup"));
    auto* load = menu->findChild<QAction*>(QStringLiteral("loadSetup"));
    ASSERT_NE(save, nullptr);
    ASSERT_NE(load, nullptr);
    EXPECT_EQ(save->shortcut(), QKeySequence(QKeySequence::Save));
    EXPECT_EQ(load->shortcut(), QKeySequence(QKeySequence::Open));
    load->trigger();
    save->trigger();
    ASSERT_EQ(choice.asks.size(), 2u);
    EXPECT_FALSE(choice.asks[0].save);
    EXPECT_TRUE(choice.asks[1].save);
    EXPECT_EQ(rig.window->tabs()->count(), tab::kMonitor + 1) << "the pages stay as they are";
}

TEST(SetupCommandsTest, ARefusedFileShowsItsLineAndChangesNothing) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bad.ini"));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("[send]\nslot1=9\n[sine]\nt1=1\n");
    out.close();
    WindowRig rig;
    BoxAnswerer answerer(QStringLiteral("取消"));
    EXPECT_FALSE(rig.window->setups()->load(file));
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_EQ(answerer.seen()[0].title, QString::fromUtf8(kSetupMessageTitle));
    EXPECT_TRUE(answerer.seen()[0].text.contains(QStringLiteral("line 3: unknown section [sine]")))
        << answerer.seen()[0].text.toStdString();
    EXPECT_EQ(rig.find<QLineEdit>("sendText1(1)")->text(), QStringLiteral("5"));
    EXPECT_FALSE(rig.window->setups()->load(dir.filePath(QStringLiteral("missing.ini"))));
    EXPECT_EQ(answerer.seen().size(), 2u);
}

TEST(SetupCommandsTest, SavingOverAPipeOrAFolderShowsTheFailureAndLeavesItAlone) {
    QTemporaryDir dir;
    const QString pipe = dir.filePath(QStringLiteral("rig.ini"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString folder = dir.filePath(QStringLiteral("setups"));
    ASSERT_TRUE(QDir().mkdir(folder));
    WindowRig rig;
    BoxAnswerer answerer(QStringLiteral("取消"));
    EXPECT_FALSE(rig.window->setups()->save(pipe));
    EXPECT_FALSE(rig.window->setups()->save(folder));
    ASSERT_EQ(answerer.seen().size(), 2u);
    EXPECT_EQ(answerer.seen()[0].title, QString::fromUtf8(kSetupMessageTitle));
    EXPECT_TRUE(answerer.seen()[0].text.startsWith(QStringLiteral("设置文件未保存：\n") + pipe))
        << answerer.seen()[0].text.toStdString();
    EXPECT_TRUE(answerer.seen()[0].text.contains(QStringLiteral("is a pipe")));
    EXPECT_TRUE(answerer.seen()[1].text.contains(QStringLiteral("is a folder")));
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(pipe).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the pipe was replaced";
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

TEST(SetupCommandsTest, LoadingWhileSendingIsRefusedAndSendingGoesOn) {
    QTemporaryDir dir;
    WindowRig rig;
    FileChoice choice(rig, dir);
    choice.next = dir.filePath(QStringLiteral("never-read.ini"));
    BoxAnswerer answerer(QStringLiteral("取消"));
    QTest::mouseClick(rig.find<QPushButton>("Command7"), Qt::LeftButton);
    rig.selectPage(1);
    QTest::mouseClick(rig.find<QRadioButton>("Optionopen"), Qt::LeftButton);
    rig.selectPage(0);
    ASSERT_TRUE(rig.port.open);

    std::size_t framesAtLoad = 0;
    bool sendingAfterRefusal = false;
    Repeater driver(
        [&] {
            if (framesAtLoad == 0) {
                if (rig.port.frames.size() < 3) return false;
                framesAtLoad = rig.port.frames.size();
                rig.window->setups()->loadWithDialog();
                sendingAfterRefusal = rig.model.isSending;
                return false;
            }
            if (rig.port.frames.size() < framesAtLoad + 3) return false;
            QTest::mouseClick(rig.find<QPushButton>("pausesend"), Qt::LeftButton);
            return true;
        },
        [&] { rig.model.isSending = false; });
    QTest::mouseClick(rig.find<QPushButton>("starsend"), Qt::LeftButton);

    ASSERT_FALSE(driver.gaveUp());
    EXPECT_TRUE(sendingAfterRefusal);
    EXPECT_TRUE(choice.asks.empty()) << "no file dialog while sending";
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_EQ(answerer.seen()[0].text, QString::fromUtf8(kSetupBusyMessage.text));
    EXPECT_GE(rig.port.frames.size(), framesAtLoad + 3) << "sending went on after the refusal";

    // Paused, the port still open: still refused; closed: the dialog comes.
    rig.window->setups()->loadWithDialog();
    EXPECT_EQ(answerer.seen().size(), 2u);
    rig.selectPage(1);
    QTest::mouseClick(rig.find<QRadioButton>("Optionclose"), Qt::LeftButton);
    rig.window->setups()->loadWithDialog();
    EXPECT_EQ(choice.asks.size(), 1u);
}

TEST(SetupCommandsTest, TheSaveDialogDoesNotHoldTheFramesBack) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("while-sending.ini"));
    WindowRig rig;
    rig.window->setups()->setSettingsFile(dir.filePath(QStringLiteral("settings.ini")));
    QTest::mouseClick(rig.find<QPushButton>("Command7"), Qt::LeftButton);
    rig.selectPage(1);
    QTest::mouseClick(rig.find<QRadioButton>("Optionopen"), Qt::LeftButton);
    rig.selectPage(0);
    ASSERT_TRUE(rig.port.open);

    QFileDialog* dialog = nullptr;
    std::size_t framesAtOpen = 0;
    Repeater driver(
        [&] {
            if (dialog == nullptr) {
                if (rig.port.frames.size() < 2) return false;
                framesAtOpen = rig.port.frames.size();
                rig.window->setups()->saveWithDialog();
                dialog = rig.window->findChild<QFileDialog*>(QStringLiteral("setupDialog"));
                if (dialog == nullptr) ADD_FAILURE() << "no file dialog";
                return dialog == nullptr;
            }
            if (rig.port.frames.size() < framesAtOpen + 5) return false;
            EXPECT_TRUE(dialog->isVisible()) << "frames went on only after the dialog closed";
            // Typed into the dialog's name box, as a user does.
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (name == nullptr) {
                ADD_FAILURE() << "the dialog has no name box";
                dialog->close();
            } else {
                name->setText(file);
            }
            static_cast<QDialog*>(dialog)->accept();  // the dialog's own accept, as its button
            QTest::mouseClick(rig.find<QPushButton>("pausesend"), Qt::LeftButton);
            return true;
        },
        [&] { rig.model.isSending = false; });
    QTest::mouseClick(rig.find<QPushButton>("starsend"), Qt::LeftButton);

    ASSERT_FALSE(driver.gaveUp());
    EXPECT_TRUE(Contents(file).contains("\nslot3=sinx1\n")) << file.toStdString();
    EXPECT_EQ(rig.window->setups()->lastFolder(), dir.path());
}

// The box about a file chosen in the dialog stands over the window: the
// dialog has gone from the screen when the file is looked at.
TEST(SetupCommandsTest, TheFileDialogHasClosedWhenItsFileIsRefused) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("not-a-setup.ini"));
    {
        QFile bad(file);
        ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
        bad.write("this is no setup\n");
    }
    WindowRig rig;
    rig.window->setups()->setSettingsFile(dir.filePath(QStringLiteral("settings.ini")));
    BoxAnswerer answerer(QStringLiteral("取消"));
    std::vector<bool> dialogOnScreen;
    answerer.onBox = [&] {
        bool shown = false;
        for (QFileDialog* d : rig.window->findChildren<QFileDialog*>()) shown |= d->isVisible();
        dialogOnScreen.push_back(shown);
    };
    rig.window->setups()->loadWithDialog();
    auto* dialog = rig.window->findChild<QFileDialog*>(QStringLiteral("setupDialog"));
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(file);
    static_cast<QDialog*>(dialog)->accept();  // its own accept, as its button
    EXPECT_TRUE(QTest::qWaitFor([&] { return !answerer.seen().empty(); }, 30000));
    ASSERT_EQ(dialogOnScreen.size(), 1u);
    EXPECT_FALSE(dialogOnScreen.front());
    EXPECT_TRUE(answerer.seen().front().text.contains(QStringLiteral("not-a-setup.ini")));
}

}  // namespace
}  // namespace kiv::testing
