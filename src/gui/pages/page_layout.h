#pragma once

#include <QString>
#include <string_view>

// What the page builders of the window share in laying out their widgets.
namespace kiv {

// Every layout of the window is tight: the window is small and fixed.
template <typename L>
L* Tight(L* layout, int margin = 4, int spacing = 4) {
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(spacing);
    return layout;
}

// A name of the program's tables (a signal, a box) as the window shows it.
inline QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace kiv
