#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "gui/bindings.h"
#include "model/model.h"

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QTabWidget;

namespace kiv {

class LineMonitor;
class PortDirectory;
class SetupCommands;
class WavePicture;

// The window "KIV" on screen. It builds a widget for every control of the
// model, sends each user input to the model and its handler at once, and
// after every handler (and at every yield of the send loop, through
// pushModel) shows what changed. The model holds the truth; the widgets
// only show it.
class MainWindow : public QWidget {
    Q_OBJECT
  public:
    explicit MainWindow(Model& model, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Shows the model's current state; cheap when little changed.
    void pushModel();

    // Runs a handler of the window on the model, then shows the result.
    void run(const std::function<void(Model&)>& handler);

    QTabWidget* tabs() const { return m_tabs; }
    // The page "线路监视", the last tab.
    LineMonitor* monitor() const { return m_monitor; }
    // Saving and loading setups (Ctrl+S, Ctrl+O, the tab strip's menu).
    SetupCommands* setups() const { return m_setups; }

    // Shows what COM1..COM4 stand for beside the port box and lets the user
    // reassign them; without it the box only offers the numbers.
    void attachPortDirectory(PortDirectory& directory);

    // The window's fixed size: 8600 x 4980 twips at the screen's logical
    // resolution.
    static QSize FixedSize(double logicalDpiX, double logicalDpiY);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The program's page `page` (tab::kSend .. tab::kFrame); each builder
    // lives in its own file under pages/.
    QWidget* buildPage(int page);
    QWidget* buildSendPage();
    QGridLayout* buildSlotGrid(QWidget* page);
    QBoxLayout* buildSendControls(QWidget* page);
    QBoxLayout* buildSendStatus(QWidget* page);
    QWidget* buildSerialPage();
    QGridLayout* buildPortBoxes(QWidget* page);
    QWidget* buildOpenCloseGroup(QWidget* page);
    // The sine, rectangular and sawtooth pages, from one table.
    QWidget* buildSignalPage(int page);
    QWidget* buildNoisePage();
    QWidget* buildInstructionsPage();
    QWidget* buildFramePage();
    QGridLayout* buildFrameFormatGrid(QWidget* page);
    QComboBox* addChoiceBox(ComboBox& box, const QString& name, QWidget* parent,
                            std::function<void(Model&)> handler = {});

    // Parameter grid rows for the given entries, with their headers.
    QGridLayout* buildParameterGrid(QWidget* page, int firstEntry, int lastEntry);
    QLineEdit* addTextBox(TextBox& box, const QString& name, QWidget* parent);
    QWidget* addButton(CommandButton& button, const QString& name, QWidget* parent,
                       std::function<void(Model&)> handler);
    QWidget* addLabel(const std::string& caption, const QString& name, QWidget* parent);
    QCheckBox* addCheckBox(CheckBox& box, const QString& name, QWidget* parent,
                           std::function<void(Model&)> handler = {});
    // A status lamp, showing what happened to the line as its tooltip.
    QWidget* addLamp(Shape& shape, const QString& name, QWidget* parent);
    void addNotes(const std::vector<std::string>& notes, const QString& arrayName, QWidget* parent,
                  QBoxLayout* layout);
    void showPictureEntry(int page, int entry);
    void measureTabClientArea();
    // Fits every tab's caption, whole, into the strip at the window's fixed
    // width.
    void fitTabCaptions();
    void showCapacity();

    Model& m_model;
    QTabWidget* m_tabs = nullptr;
    QGridLayout* m_portBoxes = nullptr;
    SetupCommands* m_setups = nullptr;
    LineMonitor* m_monitor = nullptr;
    QLabel* m_capacity = nullptr;
    std::vector<std::unique_ptr<Binding>> m_bindings;
    std::string m_shownCaption;
    int m_shownFront = -1;

    // The illustration of each signal page and the entry it shows: the row
    // the user last worked in.
    struct Picture {
        WavePicture* widget = nullptr;
        int entry = 0;
    };
    std::array<Picture, kPageCount> m_pictures{};
};

// The objectName of a control: "name" or "name(index)".
QString ControlName(const char* name, int index);

}  // namespace kiv
