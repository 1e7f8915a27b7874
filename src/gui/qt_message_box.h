#pragma once

#include <QPointer>
#include <QWidget>

#include "model/platform.h"

namespace kiv {

// The message routine's box: modal, with the stop icon and the buttons
// Cancel, Try Again, Continue that every message of the program asks for,
// labelled in Chinese like the rest of the window. The help file is not shown; no help file ships
// with the program.
class QtMessageBox : public MessageBoxService {
  public:
    explicit QtMessageBox(QWidget* parent = nullptr);

    std::int32_t Show(const std::string& text, std::int32_t style, const std::string& title,
                      const std::string& helpFile, std::int32_t helpContext) override;
    // detail, when not empty, is the box's detailed text.
    std::int32_t ShowWithDetail(const std::string& text, std::int32_t style,
                                const std::string& title, const std::string& helpFile,
                                std::int32_t helpContext, const std::string& detail) override;

  private:
    QPointer<QWidget> m_parent;
};

}  // namespace kiv
