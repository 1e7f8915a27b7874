#include "platform/serial_device_list.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace kiv {

void AttachByIdNames(std::vector<SerialDevice>& devices, const QString& byIdDir) {
    const QDir dir(byIdDir);
    if (!dir.exists()) return;
    QHash<QString, QString> byTarget;
    const QFileInfoList links =
        dir.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& link : links) {
        if (!link.isSymLink()) continue;
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty() && !byTarget.contains(target))
            byTarget.insert(target, link.absoluteFilePath());
    }
    for (SerialDevice& device : devices) {
        const QString canonical =
            QFileInfo(QString::fromStdString(device.path)).canonicalFilePath();
        const auto found = byTarget.constFind(
            canonical.isEmpty() ? QString::fromStdString(device.path) : canonical);
        if (found != byTarget.constEnd()) device.byId = found.value().toStdString();
    }
}

}  // namespace kiv
