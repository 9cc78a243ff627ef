#pragma once
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeView>

#include <memory>

#include "GameAudioFiles.h"
#include "ScriptedDialogs.h"
#include "app/MainWindow.h"

// The real window and the real tools over a game folder made by the demo generator. While it
// lives, its temporary folder is the current directory, where the window looks for the tools and
// "settings.ini"; the generator puts the files the window reads beside the test program.
class DemoGame
{
public:
    DemoGame()
    {
        QDir().mkpath(Work());
        const GameAudioFiles::ToolRun generated =
            GameAudioFiles::Run(QStringLiteral(DEMO_GENERATOR_PATH), {Game(), QCoreApplication::applicationDirPath()});
        bReady = generated.exitCode == 0 && Wrap("kivo_sfx.exe", KIVO_SFX_PATH)
              && Wrap("kivo_stream.exe", KIVO_STREAM_PATH) && QDir::setCurrent(root);
        if (!bReady)
            qWarning("the demo game could not be made: %s", qPrintable(generated.errorText));
    }
    ~DemoGame()
    {
        window.reset();
        dialogs.reset();
        QDir::setCurrent(previousDirectory);
        for (const char *file : {"/configuration.ini", "/metadata-full.ini", "/MetaData.xml"})
            QFile::remove(QCoreApplication::applicationDirPath() + QLatin1String(file));
    }

    bool IsReady() const { return bReady; }
    QString Root() const { return root; }
    QString Game() const { return root + "/game"; }
    QString Work() const { return root + "/work"; }

    // gameFolder: what settings.ini names as the game folder, when not Game().
    void Start(bool bUseKivoMetadata, const QString &gameFolder = QString(), const QString &workFolder = QString())
    {
        {
            QSettings settings(root + "/settings.ini", QSettings::IniFormat);
            settings.setValue("WorkingDirectory", workFolder.isNull() ? Work() : workFolder);
            settings.setValue("GtaDirectory", gameFolder.isNull() ? Game() : gameFolder);
            settings.setValue("UseKivoMetadata", bUseKivoMetadata);
        }
        window = std::make_unique<MainWindow>();
    }

    QTreeView *View(const char *name) const { return window->findChild<QTreeView *>(QLatin1String(name)); }
    // In the demo's tree, group 0 holds the SFX packages and group 1 the stream packs.
    QModelIndex ArchiveNode(int group, int leaf) const
    {
        const QAbstractItemModel *model = View("archiveView")->model();
        return model->index(leaf, 0, model->index(group, 0));
    }
    // Selects an archive as the user does; false when no entries came of it.
    bool Unpack(int group, int leaf) const
    {
        window->SoundFileSelected(ArchiveNode(group, leaf));
        return View("entryView")->model() != nullptr;
    }
    // The entry at row in bank bankRow (-1: a flat list of tracks).
    QModelIndex Entry(int bankRow, int row) const
    {
        QAbstractItemModel *model = View("entryView")->model();
        return model->index(row, 0, bankRow < 0 ? QModelIndex() : model->index(bankRow, 0));
    }
    void Select(const QModelIndex &entry) const { View("entryView")->setCurrentIndex(entry); }
    // Replaces the entry by file, chosen in the file chooser.
    void Replace(const QModelIndex &entry, const QString &file) const
    {
        Select(entry);
        dialogs->paths.enqueue(file);
        window->Replace();
    }
    QStatusBar *StatusBar() const { return window->findChild<QStatusBar *>(); }
    // The window's command of that text, as its menu entry gives it (some have no shortcut).
    void Trigger(const QString &text) const
    {
        for (QAction *action : window->centralWidget()->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (action->text() == text)
                action->trigger();
        }
    }
    void TriggerRestore(const QString &text = "Restore &original archive") const { Trigger(text); }

    // The process id of the tool that ran last under this name.
    qint64 LastRun(const QString &tool) const
    {
        return GameAudioFiles::ReadFile(root + "/" + tool + ".pid").trimmed().toLongLong();
    }

    std::unique_ptr<ScriptedDialogs> dialogs = std::make_unique<ScriptedDialogs>();
    std::unique_ptr<MainWindow> window;

private:
    // Each tool runs through a script that leaves its process id beside it, so that tests can stop it.
    bool Wrap(const QString &name, const char *tool) const
    {
        const QString path = root + "/" + name;
        return GameAudioFiles::WriteFile(path, QByteArray("#!/bin/sh\necho $$ > \"$0.pid\"\nexec \"") + tool + "\" \"$@\"\n")
            && QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString previousDirectory = QDir::currentPath();
    QTemporaryDir dir;
    QString root = QFileInfo(dir.path()).canonicalFilePath();
    bool bReady = false;
};
