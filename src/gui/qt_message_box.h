#pragma once

#include <QPointer>
#include <QWidget>

#include "model/platform.h"

namespace kiv {

// The message routine's box: modal, with the icon and the button set that
// the style word asks for, buttons labelled in Chinese like the rest of the
// window. The help file is not shown; no help file ships with the program.
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

// Answer codes of the button sets besides the three the program names.
enum ExtraMessageAnswer : std::int32_t {
    kAnswerOk = 1,
    kAnswerAbort = 3,
    kAnswerRetry = 4,
    kAnswerIgnore = 5,
    kAnswerYes = 6,
    kAnswerNo = 7,
};

}  // namespace kiv
