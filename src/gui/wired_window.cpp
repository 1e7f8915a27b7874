#include "gui/wired_window.h"

#include "app/startup.h"

namespace kiv {

WiredWindow::WiredWindow(Model& model, RealTimeServices& services, CommControl& port,
                         PortDirectory* directory)
    : m_services(services),
      m_window(std::make_unique<MainWindow>(model)),
      m_messageBox(std::make_unique<QtMessageBox>(m_window.get())) {
    services.With(&port, m_messageBox.get()).AttachTo(model);
    MainWindow* window = m_window.get();
    services.yielder.setBeforeYield([window] { window->pushModel(); });
    StartUp(model);
    m_window->pushModel();
    if (directory != nullptr) m_window->attachPortDirectory(*directory);
    m_window->show();
}

WiredWindow::~WiredWindow() {
    m_services.yielder.setBeforeYield({});
    m_messageBox.reset();
    m_window.reset();
}

std::unique_ptr<WiredWindow> WireWindow(Model& model, RealTimeServices& services, CommControl& port,
                                        PortDirectory* directory) {
    return std::make_unique<WiredWindow>(model, services, port, directory);
}

}  // namespace kiv
