// The one seam for message boxes, input boxes and file dialogs. The program
// uses Qt's dialogs; tests script the answers (tests/support/
// scripted_prompter.h) and read back what was asked, so no test ever blocks
// on a modal box.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace korvale {

class Prompter {
  public:
    enum class Answer { Yes, No };
    virtual ~Prompter() = default;

    // A Yes/No question titled with the application title.
    virtual Answer askYesNo(const QString& text) = 0;
    // A message with an OK button, titled with the application title.
    virtual void inform(const QString& text) = 0;
    // An input box; a cancelled box gives an empty string.
    virtual QString inputText(const QString& prompt, const QString& defaultAnswer) = 0;
    // File dialogs; filter in Qt form ("Super MagiCom (*.smc);;All Files (*.*)").
    // An empty result means the user cancelled.
    virtual QString openFileName(const QString& title, const QString& filter,
                                 const QString& folder) = 0;
    // Asks before overwriting an existing file.
    virtual QString saveFileName(const QString& title, const QString& filter,
                                 const QString& folder) = 0;
};

class QtPrompter : public Prompter {
  public:
    explicit QtPrompter(QWidget* parent) : parent_(parent) {}
    Answer askYesNo(const QString& text) override;
    void inform(const QString& text) override;
    QString inputText(const QString& prompt, const QString& defaultAnswer) override;
    QString openFileName(const QString& title, const QString& filter,
                         const QString& folder) override;
    QString saveFileName(const QString& title, const QString& filter,
                         const QString& folder) override;

  private:
    QWidget* parent_;
};

}  // namespace korvale
