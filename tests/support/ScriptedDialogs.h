#pragma once
#include "dialogs/UserDialogs.h"

#include <QQueue>
#include <QString>

#include <functional>

// Stands in for the user at every message box and chooser while it lives: records each one
// and answers from scripted queues (Ok and a cancelled chooser once a queue runs dry).
class ScriptedDialogs : public UserDialogs::Handler
{
public:
    ScriptedDialogs() { UserDialogs::SetHandler(this); }
    ~ScriptedDialogs() override { UserDialogs::SetHandler(nullptr); }
    Q_DISABLE_COPY(ScriptedDialogs)

    QMessageBox::StandardButton Answer(const UserDialogs::Request &request) override
    {
        if (whileShown)
            whileShown();
        shown.append(request);
        return buttons.isEmpty() ? QMessageBox::Ok : buttons.dequeue();
    }
    QString Choose(const UserDialogs::Request &request) override
    {
        shown.append(request);
        return paths.isEmpty() ? QString() : paths.dequeue();
    }

    // "title: text" for boxes, "chooser: caption" for choosers, in the order shown.
    QStringList Log() const
    {
        QStringList lines;
        for (const auto &request : shown)
            lines << (request.kind == UserDialogs::Kind::ExistingDirectory || request.kind == UserDialogs::Kind::OpenFileName
                                  || request.kind == UserDialogs::Kind::SaveFileName
                          ? QStringLiteral("chooser: ") + request.title
                          : request.title + QStringLiteral(": ") + request.text);
        return lines;
    }

    QList<UserDialogs::Request> shown;
    QQueue<QMessageBox::StandardButton> buttons;
    QQueue<QString> paths;
    std::function<void()> whileShown;  // runs as each box shows, to look at the files then
};
