#pragma once

#include <QFileDialog>
#include <QIdentityProxyModel>
#include <QLocale>

namespace kiv {

// The file list's sizes, kinds and times in the dialog's own locale: the
// toolkit's file model writes them in the system's locale ("512 bytes",
// "Folder", English month names) whatever the window speaks.
class LocalFileColumns : public QIdentityProxyModel {
    Q_OBJECT
  public:
    LocalFileColumns(const QLocale& locale, QObject* parent = nullptr);
    QVariant data(const QModelIndex& index, int role) const override;

  private:
    QLocale m_locale;
};

// A file dialog of the window's in Chinese down to its list of files: its
// locale, and the list's sizes, kinds and times.
void ListFilesInChinese(QFileDialog& dialog);

// The dialog that picks the file a recording goes to, in Chinese
// throughout. A name without a suffix gets ".csv", unless it names
// something that exists and is no regular file (a device such as
// /dev/full, a pipe): the recording then refuses that very name rather than
// quietly writing somewhere else.
class RecordDialog : public QFileDialog {
    Q_OBJECT
  public:
    explicit RecordDialog(QWidget* parent = nullptr);

    // The suffix the name typed or picked now would get: "csv" or none.
    QString suffixFor(const QString& path) const;

  public slots:
    void accept() override;
};

}  // namespace kiv
