#include "ui/prompter.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

#include "core/rom_layout.h"

namespace korvale {

namespace {

QString title() {
    return QString::fromStdString(layout::applicationTitle());
}

}  // namespace

Prompter::Answer QtPrompter::askYesNo(const QString& text) {
    const auto button = QMessageBox::question(parent_, title(), text,
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    return button == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

void QtPrompter::inform(const QString& text) {
    QMessageBox::information(parent_, title(), text, QMessageBox::Ok);
}

QString QtPrompter::inputText(const QString& prompt, const QString& defaultAnswer) {
    bool ok = false;
    const QString answer =
        QInputDialog::getText(parent_, title(), prompt, QLineEdit::Normal, defaultAnswer, &ok);
    return ok ? answer : QString();
}

QString QtPrompter::openFileName(const QString& dialogTitle, const QString& filter,
                                 const QString& folder) {
    return QFileDialog::getOpenFileName(parent_, dialogTitle, folder, filter);
}

QString QtPrompter::saveFileName(const QString& dialogTitle, const QString& filter,
                                 const QString& folder) {
    // QFileDialog asks before overwriting unless told not to.
    return QFileDialog::getSaveFileName(parent_, dialogTitle, folder, filter);
}

}  // namespace korvale
