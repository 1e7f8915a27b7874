#pragma once

#include <QStringList>

class QApplication;

namespace kiv {

// The toolkit's own words in the window (standard buttons, the file dialog,
// "Show Details...") in Simplified Chinese, like the program's texts.
// Loads the toolkit's Chinese catalogs, from the program's resources where
// they were built in (Windows), otherwise from the Qt installation's
// translations folder. Returns the catalogs it loaded; an empty list leaves
// those words in English and the program otherwise as it is.
QStringList SpeakChinese(QApplication& app);

// Whether any font the toolkit finds has Simplified Chinese glyphs: without
// one, every label of the window shows as boxes.
bool ChineseFontInstalled();

// Where SpeakChinese looks for the catalogs, in order.
QStringList ChineseCatalogFolders();

// The catalogs SpeakChinese loads.
QStringList ChineseCatalogNames();

}  // namespace kiv
