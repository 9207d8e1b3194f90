// A Prompter for tests: answers from queues and records every text shown.
// An empty queue answers No, an empty string, or a cancelled dialog.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>

#include "ui/prompter.h"

namespace korvale {

class ScriptedPrompter : public Prompter {
  public:
    std::deque<Answer> yesNo;
    std::deque<QString> inputs;
    std::deque<QString> files;

    QStringList questions;  // askYesNo texts, in order
    QStringList messages;   // inform texts
    QStringList prompts;    // input prompts
    QStringList defaults;   // input default answers
    QStringList dialogs;    // "title|filter" of each file dialog
    QStringList folders;    // the folder (or file) each file dialog started at

    Answer askYesNo(const QString& text) override {
        questions << text;
        if (yesNo.empty()) return Answer::No;
        const Answer answer = yesNo.front();
        yesNo.pop_front();
        return answer;
    }

    void inform(const QString& text) override { messages << text; }

    QString inputText(const QString& prompt, const QString& defaultAnswer) override {
        prompts << prompt;
        defaults << defaultAnswer;
        if (inputs.empty()) return {};
        QString answer = inputs.front();
        inputs.pop_front();
        return answer;
    }

    QString openFileName(const QString& title, const QString& filter,
                         const QString& folder) override {
        dialogs << title + "|" + filter;
        folders << folder;
        if (files.empty()) return {};
        QString file = files.front();
        files.pop_front();
        return file;
    }

    QString saveFileName(const QString& title, const QString& filter,
                         const QString& folder) override {
        return openFileName(title, filter, folder);
    }
};

}  // namespace korvale
