// The window in Chinese throughout: the program's own texts and the
// toolkit's words in every dialog the window opens.
#include "gui/window_language.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QWindow>

#include "gui/setup_commands.h"
#include "gui/window_rig.h"
#include "model/frame_format.h"
#include "model/messages.h"
#include "model/signal_table.h"
#include "model/texts.h"
#include "platform/port_map.h"
#include "platform/qt_comm_control.h"

namespace kiv::testing {
namespace {

// English: a word of three or more letters ("Cancel", "stopped") or "OK",
// in a text without a Chinese character. Names such as "COM1", "sinx1",
// "noise", "t1", "am", the form's "OPEN!", the checksums' ("crc16-modbus")
// and paths ("/dev/ttyS0") are no English.
bool IsEnglish(const QString& text) {
    for (const SignalVariable& v : kSignalVariables)
        if (text == QLatin1String(v.name.data(), static_cast<qsizetype>(v.name.size())))
            return false;
    for (const ChecksumKind& k : kChecksumKinds)
        if (text == QLatin1String(k.name)) return false;
    static const QRegularExpression path(QStringLiteral("/\\S*"));
    static const QRegularExpression word(QStringLiteral("\\b(?:[A-Za-z][a-z]{2,}|OK)\\b"));
    for (const QChar c : text)
        if (c.unicode() >= 0x2E80) return false;
    QString plain = text;
    plain.remove(QLatin1Char('&')).remove(path);
    return word.match(plain).hasMatch();
}

// Every text a user can see on `root` and the widgets in it: captions,
// contents, list entries, tabs, tooltips, and the entries of its menus.
QStringList ShownTexts(QWidget* root) {
    QStringList texts;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    const auto addActions = [&texts](const QList<QAction*>& actions) {
        for (QAction* action : actions) texts << action->text() << action->toolTip();
    };
    for (QWidget* w : widgets) {
        texts << w->windowTitle() << w->toolTip() << w->statusTip() << w->whatsThis();
        addActions(w->actions());
        if (auto* b = qobject_cast<QAbstractButton*>(w)) texts << b->text();
        if (auto* l = qobject_cast<QLabel*>(w)) texts << l->text();
        if (auto* e = qobject_cast<QLineEdit*>(w)) texts << e->text() << e->placeholderText();
        if (auto* g = qobject_cast<QGroupBox*>(w)) texts << g->title();
        if (auto* t = qobject_cast<QTextEdit*>(w)) texts << t->toPlainText();
        if (auto* t = qobject_cast<QPlainTextEdit*>(w)) texts << t->toPlainText();
        if (auto* m = qobject_cast<QMenu*>(w)) texts << m->title();
        if (auto* c = qobject_cast<QComboBox*>(w)) {
            for (int i = 0; i < c->count(); ++i)
                texts << c->itemText(i) << c->itemData(i, Qt::ToolTipRole).toString();
        }
        if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
            for (int i = 0; i < tabs->count(); ++i)
                texts << tabs->tabText(i) << tabs->tabToolTip(i);
        }
    }
    return texts;
}

QStringList EnglishTexts(QWidget* root) {
    QStringList english;
    for (const QString& text : ShownTexts(root))
        if (IsEnglish(text)) english << text;
    return english;
}

// The window's main makes the program speak Chinese before anything else;
// so does this test program, once.
class WindowLanguageTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        SetTextLanguage(TextLanguage::Chinese);
        loaded() = SpeakChinese(*qApp);
    }
    static QStringList& loaded() {
        static QStringList catalogs;
        return catalogs;
    }
};

TEST_F(WindowLanguageTest, TheToolkitCatalogIsFound) {
    // Debian's qt6-translations-l10n (scripts/install-deps.sh installs it).
    ASSERT_FALSE(loaded().filter(QStringLiteral("qtbase_zh_CN")).isEmpty())
        << "looked in " << ChineseCatalogFolders().join(QStringLiteral(", ")).toStdString();
}

// The window wired as main() wires it, COM1 naming a device that is not
// there.
struct MissingDeviceRig : WindowRig {
    MissingDeviceRig() : WindowRig(Unstarted{}) {
        PortMap map;
        map.setDevice(1, "/dev/kiv-no-such-device");
        linePort = std::make_unique<QtCommControl>(map);
        Start(*linePort);
    }
    ~MissingDeviceRig() { Stop(); }
    std::unique_ptr<QtCommControl> linePort;
};

TEST_F(WindowLanguageTest, TheWindowShowsNoEnglishSentence) {
    MissingDeviceRig rig;
    // A port that does not open: the box and the reason under its details.
    BoxAnswerer answerer(QStringLiteral("取消"));
    QStringList inBox;
    answerer.onBox = [&inBox] { inBox = EnglishTexts(QApplication::activeModalWidget()); };
    rig.selectPage(1);
    QTest::mouseClick(rig.find<QRadioButton>(QStringLiteral("Optionopen")), Qt::LeftButton);
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_TRUE(answerer.seen().front().detail.contains(QStringLiteral("没有这个设备")))
        << answerer.seen().front().detail.toStdString();
    EXPECT_EQ(inBox, QStringList());

    // A typed port brings the page's red line.
    auto* baud = rig.find<QComboBox>(QStringLiteral("Combo1(1)"));
    TypeInto(baud->lineEdit(), QStringLiteral("12345"));
    rig.click(QStringLiteral("Command1"));
    rig.window->pushModel();
    EXPECT_FALSE(rig.find<QLabel>(QStringLiteral("portHint"))->text().isEmpty());
    for (int page = 0; page < kProgramPageCount; ++page) {
        rig.selectPage(page);
        EXPECT_EQ(EnglishTexts(rig.window), QStringList()) << "page " << page;
    }
    auto* menu = rig.window->findChild<QMenu*>(QStringLiteral("setupMenu"));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(EnglishTexts(menu), QStringList());
}

// The dialogs the window opens, each walked while it is open.
struct DialogCase {
    const char* name;
    std::function<void(WindowRig&, std::function<void(QWidget*)>)> open;
};

using kiv::testing::PrintTo;

class DialogLanguage : public WindowLanguageTest,
                       public ::testing::WithParamInterface<DialogCase> {};

TEST_P(DialogLanguage, SpeaksChinese) {
    WindowRig rig;
    QStringList english;
    bool walked = false;
    GetParam().open(rig, [&](QWidget* dialog) {
        english = EnglishTexts(dialog);
        walked = true;
    });
    ASSERT_TRUE(walked);
    EXPECT_EQ(english, QStringList());
}

// Opens a window-modal dialog the way the window does, walks it once it is
// shown, and rejects it.
void WalkOpenDialog(QDialog* dialog, const std::function<void(QWidget*)>& walk) {
    dialog->open();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
    walk(dialog);
    dialog->reject();
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, DialogLanguage,
    ::testing::Values(
        // An open failure's box, with its reason folded away under a button.
        DialogCase{"MessageBoxWithDetail",
                   [](WindowRig& rig, std::function<void(QWidget*)> walk) {
                       BoxAnswerer answerer(QStringLiteral("取消"));
                       answerer.onBox = [&walk] { walk(QApplication::activeModalWidget()); };
                       rig.model.msgDetail = Say(TextId::OpenMissing, {"COM1", ""});
                       ShowMessage(rig.model, kPortSettingsMessage);
                   }},
        // The setup commands' own file dialog.
        DialogCase{
            "SetupFileDialog",
            [](WindowRig& rig, std::function<void(QWidget*)> walk) {
                QTemporaryDir dir;
                rig.window->setups()->setSettingsFile(dir.filePath(QStringLiteral("settings.ini")));
                rig.window->setups()->saveWithDialog();
                auto* dialog = rig.window->findChild<QFileDialog*>(QStringLiteral("setupDialog"));
                ASSERT_NE(dialog, nullptr);
                EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
                walk(dialog);
                dialog->reject();
            }},
        // The file a recording goes to, chosen from the line monitor.
        DialogCase{"RecordDialog",
                   [](WindowRig& rig, std::function<void(QWidget*)> walk) {
                       rig.selectPage(tab::kMonitor);
                       rig.click(QStringLiteral("monitorRecord"));
                       auto* dialog = rig.window->findChild<QFileDialog*>(
                           QStringLiteral("monitorRecordDialog"));
                       ASSERT_NE(dialog, nullptr);
                       EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
                       walk(dialog);
                       dialog->reject();
                   }},
        // The device path asked for "其他路径...", as the port button asks it.
        DialogCase{"PathDialog",
                   [](WindowRig& rig, std::function<void(QWidget*)> walk) {
                       QInputDialog dialog(rig.window);
                       dialog.setWindowTitle(QStringLiteral("COM1"));
                       dialog.setLabelText(QStringLiteral("COM1 的设备路径："));
                       WalkOpenDialog(&dialog, walk);
                   }}),
    [](const ::testing::TestParamInfo<DialogCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kiv::testing
