#include "gui/window_language.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace kiv {

bool ChineseFontInstalled() {
    return !QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty();
}

QStringList ChineseCatalogFolders() {
    return {QStringLiteral(":/kiv/translations"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
}

QStringList ChineseCatalogNames() {
    return {QStringLiteral("qtbase_zh_CN"), QStringLiteral("qtserialport_zh_CN")};
}

QStringList SpeakChinese(QApplication& app) {
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    // Dates and sizes in the file dialog follow the default locale.
    QLocale::setDefault(chinese);
    QStringList loaded;
    for (const QString& name : ChineseCatalogNames()) {
        for (const QString& folder : ChineseCatalogFolders()) {
            auto* translator = new QTranslator(&app);
            if (translator->load(name, folder) && QCoreApplication::installTranslator(translator)) {
                loaded << QDir(folder).filePath(name);
                break;
            }
            delete translator;
        }
    }
    return loaded;
}

}  // namespace kiv
