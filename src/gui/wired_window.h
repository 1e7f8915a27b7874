#pragma once

#include <memory>

#include "app/real_time_services.h"
#include "gui/main_window.h"
#include "gui/qt_message_box.h"
#include "model/model.h"

namespace kiv {

class PortDirectory;

// The window and its message box, wired to the model the one way the
// program runs them: the services attached with `port` and the box, every
// yield of the send loop showing the model, the start-up run, and the
// window shown. The program's main and the test rigs all wire it here.
class WiredWindow {
  public:
    WiredWindow(Model& model, RealTimeServices& services, CommControl& port,
                PortDirectory* directory);
    // The yield stops showing the window, then the box and the window go.
    // The window must go before the port it was wired to: closing it closes
    // the port.
    ~WiredWindow();
    WiredWindow(const WiredWindow&) = delete;
    WiredWindow& operator=(const WiredWindow&) = delete;

    MainWindow& window() const { return *m_window; }

  private:
    RealTimeServices& m_services;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<QtMessageBox> m_messageBox;
};

// Wires and shows the window for `model` over `port`; with `directory`, the
// port box shows what COM1..COM4 stand for and lets the user reassign them.
std::unique_ptr<WiredWindow> WireWindow(Model& model, RealTimeServices& services, CommControl& port,
                                        PortDirectory* directory = nullptr);

}  // namespace kiv
