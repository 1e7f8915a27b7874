#include "gui/record_dialog.h"

#include <QFileInfo>
#include <QFileSystemModel>

namespace kiv {

LocalFileColumns::LocalFileColumns(const QLocale& locale, QObject* parent)
    : QIdentityProxyModel(parent), m_locale(locale) {}

QVariant LocalFileColumns::data(const QModelIndex& index, int role) const {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (role != Qt::DisplayRole || files == nullptr || !index.isValid())
        return QIdentityProxyModel::data(index, role);
    const QModelIndex source = mapToSource(index);
    // The columns of QFileSystemModel: name, size, kind, date modified.
    switch (index.column()) {
        case 1:
            if (files->isDir(source)) return QString();
            return m_locale.formattedDataSize(files->size(source));
        case 2:
            if (files->isDir(source)) return QStringLiteral("文件夹");
            break;
        case 3:
            return m_locale.toString(files->lastModified(source), QLocale::ShortFormat);
        default:
            break;
    }
    return QIdentityProxyModel::data(index, role);
}

void ListFilesInChinese(QFileDialog& dialog) {
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    dialog.setLocale(chinese);
    dialog.setProxyModel(new LocalFileColumns(chinese, &dialog));
}

RecordDialog::RecordDialog(QWidget* parent)
    : QFileDialog(parent, QStringLiteral("记录到文件"), QString(),
                  QStringLiteral("CSV 文件 (*.csv);;所有文件 (*)")) {
    setAcceptMode(QFileDialog::AcceptSave);
    setOption(QFileDialog::DontUseNativeDialog);
    setDefaultSuffix(QStringLiteral("csv"));
    ListFilesInChinese(*this);
}

QString RecordDialog::suffixFor(const QString& path) const {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) return QString();
    return QStringLiteral("csv");
}

void RecordDialog::accept() {
    // The names as typed, before the toolkit adds the suffix to them.
    setDefaultSuffix(QString());
    const QStringList typed = selectedFiles();
    setDefaultSuffix(typed.size() == 1 ? suffixFor(typed.front()) : QStringLiteral("csv"));
    QFileDialog::accept();
    setDefaultSuffix(QStringLiteral("csv"));
}

}  // namespace kiv
