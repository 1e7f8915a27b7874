#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>

#include "gui/bindings.h"
#include "model/model.h"

class QComboBox;
class QMenu;
class QToolButton;

namespace kiv {

class PortDirectory;

// What stands behind COM1..COM4, on the serial page: the port box's list
// shows each number's device (or the virtual port) under the number, and
// the button beside the box (or the box's context menu) offers the devices
// present now, the virtual port and any other path for the number in the
// box. The box's entries stay "COM1".."COM4".
class PortDevicesBinding final : public QObject, public Binding {
  public:
    PortDevicesBinding(Model& model, PortDirectory& directory, QComboBox* portBox,
                       QToolButton* button);

    // Follows the port box's Enabled and redraws the descriptions when
    // anything behind them changed.
    void push() override;

    // The menu's texts, also used by tests to find its entries.
    static QString VirtualText();
    static QString OtherPathText();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The chosen number 1..kPortCount, or 0 when the box holds a typed text.
    int chosenPort() const;
    void fillMenu(QMenu* menu);
    void askForPath(int port);
    void showDescriptions();

    Model& m_model;
    PortDirectory& m_directory;
    QComboBox* m_box;
    QToolButton* m_button;
    std::optional<bool> m_enabled;
    std::uint64_t m_shownGeneration = 0;
};

// The role under which each port box entry keeps its description line.
constexpr int kPortDescriptionRole = Qt::UserRole + 1;

}  // namespace kiv
