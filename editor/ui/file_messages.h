// Texts for files that cannot be written or that changed under the editor,
// shared by the main window and the level management window.
#pragma once

#include <QDir>
#include <QString>

namespace korvale {

inline QString changedOnDiskQuestion(const std::string& path) {
    return QString(
               "The file %1 has changed on disk since it was opened, perhaps by another "
               "program. Save into it anyway?")
        .arg(QDir::toNativeSeparators(QString::fromStdString(path)));
}

inline QString fileFailedMessage(const std::string& path, const std::string& reason) {
    return QString("Unable to write the file %1: %2. The file was left as it was.")
        .arg(QDir::toNativeSeparators(QString::fromStdString(path)),
             QString::fromStdString(reason));
}

}  // namespace korvale
