// Dialogs that record what the window showed and answer as the test scripted, without opening a window.
#pragma once

#include "ui/Dialogs.h"

#include <QStringList>

#include <deque>

namespace twinspotter::test {

class FakeDialogs : public Dialogs
{
public:
    std::deque<bool> answers;          ///< answers to confirm(), in order; No when none is left
    std::deque<QString> chosenFolders; ///< answers to chooseDirectory(); empty (cancel) when none is left
    QStringList questions;
    QStringList informed;
    QStringList messages;
    QStringList errors;
    QStringList keptSummaries;
    QStringList keptDetails;
    QStringList pickerTitles;

    bool confirm(QWidget*, const QString& question) override
    {
        questions << question;
        if (answers.empty())
            return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void inform(QWidget*, const QString& message) override { informed << message; }
    void message(QWidget*, const QString& text, const QString&) override { messages << text; }
    void error(QWidget*, const QString& text) override { errors << text; }
    void keptFiles(QWidget*, const QString& summary, const QString& details) override
    {
        keptSummaries << summary;
        keptDetails << details;
    }
    QString chooseDirectory(QWidget*, const QString& title) override
    {
        pickerTitles << title;
        if (chosenFolders.empty())
            return QString();
        QString folder = chosenFolders.front();
        chosenFolders.pop_front();
        return folder;
    }
};

} // namespace twinspotter::test
