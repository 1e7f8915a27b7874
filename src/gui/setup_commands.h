#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

class QMenu;
class QSettings;

namespace kiv {

class MainWindow;
struct Model;
struct Message;

// Saving and loading setups from the window: Ctrl+S and Ctrl+O, and the
// same two entries in a context menu on the tab strip, so the seven pages
// stay as they are. The file dialogs open in the folder last used.
class SetupCommands : public QObject {
    Q_OBJECT
  public:
    SetupCommands(MainWindow& window, Model& model);

    // Loads a setup file into the window and applies it; false (after a
    // message) when the file was refused or an apply failed.
    bool load(const QString& path);
    // Saves the boxes' texts; false (after a message) when it cannot.
    bool save(const QString& path);

    // Ask for a file, then load or save it.
    void loadWithDialog();
    void saveWithDialog();

    QMenu* menu() const { return m_menu; }

    // Picks the file and hands it to `chosen`, or does nothing when the user
    // cancels: the dialogs by default; tests put their own here. The dialogs
    // do not block: a save while sending must not hold the frames back.
    using Chosen = std::function<void(const QString& file)>;
    std::function<void(bool save, const QString& folder, Chosen chosen)> chooseFile;
    // Where the last folder is remembered: the user's settings by default.
    void setSettingsFile(const QString& iniFile) { m_settingsFile = iniFile; }
    QString lastFolder() const;
    std::unique_ptr<QSettings> openSettings() const;

  private:
    void rememberFolder(const QString& file);
    void showProblem(const Message& message, const std::string& problem);

    MainWindow& m_window;
    Model& m_model;
    QMenu* m_menu = nullptr;
    QString m_settingsFile;
};

}  // namespace kiv
