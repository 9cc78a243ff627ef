// One save as the window runs it, without the window, so that a test can kill the program
// between the save's steps: save_driver sfx|stream <metafile> <archive> <lookup file>.
// Exit code 0 when the save succeeded.
#include <QApplication>

#include "ScriptedDialogs.h"
#include "app/WindowFeedback.h"
#include "app/archive/GameSave.h"

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 5)
        return 2;
    ScriptedDialogs dialogs;  // no box may wait for a user who is not there
    WindowFeedback feedback(nullptr);
    QString warnings;
    const bool bSaved = GameSave::Run(feedback, arguments[1] == "sfx" ? IniMetafileModel::SFX : IniMetafileModel::STREAM,
                                      arguments[2], arguments[3], arguments[4], warnings);
    return bSaved ? 0 : 1;
}
