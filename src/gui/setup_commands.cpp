#include "gui/setup_commands.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <memory>

#include "app/setup_io.h"
#include "gui/main_window.h"
#include "gui/record_dialog.h"
#include "model/messages.h"
#include "sending/setup_load.h"

namespace kiv {
namespace {

const QString kFolderKey = QStringLiteral("setups/lastFolder");
const QString kFilter = QStringLiteral("KIV 设置 (*.ini);;所有文件 (*)");

}  // namespace

SetupCommands::SetupCommands(MainWindow& window, Model& model)
    : QObject(&window), m_window(window), m_model(model) {
    setObjectName(QStringLiteral("setupCommands"));
    m_menu = new QMenu(&window);
    m_menu->setObjectName(QStringLiteral("setupMenu"));
    QAction* save =
        m_menu->addAction(QStringLiteral("保存设置…"), this, &SetupCommands::saveWithDialog);
    save->setObjectName(QStringLiteral("saveSetup"));
    save->setShortcut(QKeySequence::Save);
    QAction* load =
        m_menu->addAction(QStringLiteral("载入设置…"), this, &SetupCommands::loadWithDialog);
    load->setObjectName(QStringLiteral("loadSetup"));
    load->setShortcut(QKeySequence::Open);
    // The menu's actions only show their keys; the window owns the shortcuts.
    auto* saveKey = new QShortcut(QKeySequence::Save, &window);
    connect(saveKey, &QShortcut::activated, this, &SetupCommands::saveWithDialog);
    auto* loadKey = new QShortcut(QKeySequence::Open, &window);
    connect(loadKey, &QShortcut::activated, this, &SetupCommands::loadWithDialog);

    QTabBar* bar = window.tabs()->tabBar();
    bar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(bar, &QWidget::customContextMenuRequested, this,
            [this, bar](const QPoint& at) { m_menu->popup(bar->mapToGlobal(at)); });

    chooseFile = [this](bool forSaving, const QString& folder, Chosen chosen) {
        auto* dialog = new QFileDialog(
            &m_window, forSaving ? QStringLiteral("保存设置") : QStringLiteral("载入设置"), folder,
            kFilter);
        dialog->setObjectName(QStringLiteral("setupDialog"));
        ListFilesInChinese(*dialog);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setAcceptMode(forSaving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog->setFileMode(forSaving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        if (forSaving) dialog->setDefaultSuffix(QStringLiteral("ini"));
        // The file goes on once the dialog has closed, so that a box about
        // it stands over the window, not over the dialog; and from the event
        // loop, after the dialog has finished closing.
        connect(dialog, &QDialog::finished, this,
                [this, dialog, chosen = std::move(chosen)](int result) {
                    const QStringList files = dialog->selectedFiles();
                    if (result != QDialog::Accepted || files.isEmpty()) return;
                    QMetaObject::invokeMethod(
                        this, [chosen, file = files.first()] { chosen(file); },
                        Qt::QueuedConnection);
                });
        // Window-modal without a nested event loop: the send loop, which
        // yields to this window's events, keeps its pace while it is open.
        dialog->open();
    };
}

// The program's settings file (the one the COM assignments are kept in),
// or the file a test gives.
std::unique_ptr<QSettings> SetupCommands::openSettings() const {
    if (m_settingsFile.isEmpty())
        return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                           QStringLiteral("kiv"), QStringLiteral("kiv"));
    return std::make_unique<QSettings>(m_settingsFile, QSettings::IniFormat);
}

QString SetupCommands::lastFolder() const {
    const auto settings = openSettings();
    const QString folder = settings->value(kFolderKey).toString();
    return !folder.isEmpty() && QDir(folder).exists() ? folder : QDir::homePath();
}

void SetupCommands::rememberFolder(const QString& file) {
    const auto settings = openSettings();
    settings->setValue(kFolderKey, QFileInfo(file).absolutePath());
}

void SetupCommands::showProblem(const Message& message, const std::string& problem) {
    m_window.run([&](Model& m) { ShowMessage(m, message, problem); });
}

bool SetupCommands::load(const QString& path) {
    auto read = ReadSetupFile(path.toStdString());
    if (auto* problem = std::get_if<std::string>(&read)) {
        showProblem(kSetupNotLoadedMessage, *problem);
        return false;
    }
    const Setup& setup = std::get<Setup>(read);
    bool loaded = false;
    m_window.run([&](Model& m) { loaded = LoadSetup(m, setup).ok; });
    return loaded;
}

bool SetupCommands::save(const QString& path) {
    const std::string problem = WriteSetupFile(path.toStdString(), SetupFromBoxes(m_model), "kiv");
    if (!problem.empty()) {
        showProblem(kSetupNotSavedMessage, problem);
        return false;
    }
    return true;
}

void SetupCommands::loadWithDialog() {
    bool refused = false;
    m_window.run([&refused](Model& m) { refused = RefuseSetupLoad(m); });
    if (refused) return;
    chooseFile(false, lastFolder(), [this](const QString& file) {
        if (file.isEmpty()) return;
        rememberFolder(file);
        load(file);
    });
}

void SetupCommands::saveWithDialog() {
    chooseFile(true, lastFolder(), [this](const QString& file) {
        if (file.isEmpty()) return;
        rememberFolder(file);
        save(file);
    });
}

}  // namespace kiv
