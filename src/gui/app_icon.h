#pragma once

#include <QIcon>
#include <QImage>

namespace kiv {

// The program's icon: a sine over four byte bars, the tool's work at a
// glance. packaging/kiv.svg draws the same shapes for the desktop's icon
// theme; the PNG sizes installed beside it are painted from here at build
// time.
QImage AppIconImage(int size);
// Every size the window system may ask for.
QIcon AppIcon();

// The sizes installed into the hicolor icon theme.
inline constexpr int kAppIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

}  // namespace kiv
