// demo_screenshots <output folder>
//
// Opens the program's main window on the demo game folder (started like the program itself:
// settings.ini and the tools in the current folder, the configuration files beside this
// executable) and saves the pictures the README shows: the archive tree, an opened SFX archive
// with its banks expanded and the metadata list shown, a looping sound playing with its waveform,
// a stream track playing, the list the folder replacement asks about, the marks of entries
// changed and not saved, the report of a check of the game's audio that found a damaged bank,
// and the search over all archives.
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeView>

#include <cstdio>
#include <functional>

#include "app/CatalogWindow.h"
#include "app/GameCheckReport.h"
#include "app/MainWindow.h"
#include "app/archive/GameAudioCheck.h"
#include "dialogs/UserDialogs.h"
#include "metafile/IniMetafileModel.h"
#include "tree/TreeItem.h"
#include "tree/TreeModel.h"
#include "tree/XmlMetaData.h"
#include "waveform/WaveformView.h"

namespace
{
bool Save(QWidget &window, const QString &path);

// Reuses an earlier unpacking when asked, and says aloud any other box, which means the demo is broken.
// Chooses `folder` where a folder is asked for; a dialog of the program's own is photographed
// into `dialogPicture` and cancelled.
class AnswerYes : public UserDialogs::Handler
{
public:
    QMessageBox::StandardButton Answer(const UserDialogs::Request &request) override
    {
        if (request.pDialog) {
            request.pDialog->show();
            bDialogSaved = Save(*request.pDialog, dialogPicture);
            return QMessageBox::Cancel;
        }
        if (request.title != QStringLiteral("Load existing files") && request.title != QStringLiteral("Restore original archive"))
            std::fprintf(stderr, "box: %s: %s\n", qPrintable(request.title), qPrintable(request.text));
        return QMessageBox::Yes;
    }
    QString Choose(const UserDialogs::Request &) override { return folder; }

    QString folder;
    QString dialogPicture;
    bool bDialogSaved = false;
};

void Settle(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

bool Save(QWidget &window, const QString &path)
{
    Settle(400);
    const bool saved = window.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    return saved;
}

// A mod folder for the package `name` beside the working directory, made of copies of its
// unpacked sounds, with a few files that match no entry.
QString WriteModFolder(const QString &name)
{
    const QString work = QSettings(QStringLiteral("settings.ini"), QSettings::IniFormat).value(QStringLiteral("WorkingDirectory")).toString();
    const QString mod = work + QStringLiteral("/../my-mod");
    const QString sound = work + QLatin1Char('/') + name + QStringLiteral("/Bank_001/sound_001.wav");
    const QStringList copies {name + QStringLiteral("/Bank_001/sound_002.wav"), name + QStringLiteral("/Bank_001/sound_003.wav"),
                              name + QStringLiteral("/Bank_002/sound_001.wav"), QStringLiteral("Bank_2/sound_2.wav"),
                              name + QStringLiteral("/Bank_001/sound_400.wav"), QStringLiteral("SCRIPT/Bank_001/sound_001.wav"),
                              QStringLiteral("readme.txt")};
    for (const QString &copy : copies) {
        QDir().mkpath(QFileInfo(mod + QLatin1Char('/') + copy).path());
        QFile::copy(sound, mod + QLatin1Char('/') + copy);
    }
    return QDir::cleanPath(mod);
}

// The first leaf of the archive tree that the test accepts, depth first.
QModelIndex FindLeaf(const QAbstractItemModel &model, const QModelIndex &parent,
                     const std::function<bool(const TreeItem &)> &accept)
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        const auto *item = static_cast<const TreeItem *>(index.internalPointer());
        if (item->ChildCount() == 0 && accept(*item))
            return index;
        const QModelIndex found = FindLeaf(model, index, accept);
        if (found.isValid())
            return found;
    }
    return {};
}

// The report of a check over a copy of the demo game whose first bank of GENRL a bad copy zeroed:
// the demo game itself stays whole for the other pictures.
bool SaveCheckReport(const QString &picture)
{
    const QString game = QSettings(QStringLiteral("settings.ini"), QSettings::IniFormat).value(QStringLiteral("GtaDirectory")).toString();
    QTemporaryDir copy;
    for (QDirIterator it(game, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString file = it.next();
        const QString target = copy.path() + QLatin1Char('/') + QDir(game).relativeFilePath(file);
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(file, target))
            return false;
    }
    QFile damaged(copy.path() + QStringLiteral("/audio/SFX/GENRL"));
    QFile configuration(QCoreApplication::applicationDirPath() + QStringLiteral("/configuration.ini"));
    if (!damaged.open(QIODevice::ReadWrite) || damaged.write(QByteArray(4804, '\0')) != 4804 || !configuration.open(QIODevice::ReadOnly))
        return false;
    damaged.close();
    const TreeModel tree(QString::fromLatin1(configuration.readAll()), false);
    const QList<GameArchive> archives = GameArchive::AllOf(tree, copy.path());
    QList<GameAudioCheck::Row> rows;
    for (const GameArchive &archive : archives)
        rows << GameAudioCheck::Check(archive, QString());
    GameCheckReport report(rows, archives, QString());
    report.show(); // with the damaged GENRL selected, as the first archive with a problem
    return Save(report, picture);
}

// Opens an archive as a double-click does, with the archive selected in the tree.
bool Open(MainWindow &window, QTreeView &archiveView, const QModelIndex &leaf)
{
    if (!leaf.isValid())
        return false;
    archiveView.setCurrentIndex(leaf);
    window.SoundFileSelected(leaf);
    return window.ContentAvailable();
}
// A sound replaced and saved into the game, then another replaced and not saved: the marks of
// both, the bank's and the corner's counts, and the archive's mark in the tree. The game's
// original archive is put back afterwards, so the demo game stays as it was.
bool SaveMarks(MainWindow &window, QTreeView &entryView, AnswerYes &answers, const QString &path)
{
    const QModelIndex bank = entryView.model()->index(0, 0);
    answers.folder = QDir::cleanPath(QSettings(QStringLiteral("settings.ini"), QSettings::IniFormat)
                                         .value(QStringLiteral("WorkingDirectory")).toString()
                                     + QStringLiteral("/../my-mod/Bank_2/sound_2.wav"));
    const auto replace = [&](int row) {
        entryView.setCurrentIndex(entryView.model()->index(row, 0, bank));
        window.Replace();
    };
    replace(1);
    window.SaveArchive();
    replace(2);
    answers.folder.clear();
    entryView.expand(bank);
    // A selected row would hide the marks' colours.
    entryView.setCurrentIndex(entryView.model()->index(0, 0, bank));
    const bool bSaved = Save(window, path);
    for (QAction *action : window.centralWidget()->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (action->text() == QStringLiteral("Restore &original archive"))
            action->trigger();
    }
    return bSaved;
}
}

// The waveform strip's loop menu, opened halfway along the current sound. A menu is a window of
// its own, so it is painted onto the window's picture where it stands.
bool SaveLoopMenu(MainWindow &window, const QString &path)
{
    auto *view = window.findChild<WaveformView *>();
    auto *menu = window.findChild<QMenu *>(QStringLiteral("loopMenu"));
    if (!view || !menu)
        return false;
    emit view->customContextMenuRequested(QPoint(view->width() / 2, view->height() / 3));
    Settle(400);
    QPixmap picture = window.grab();
    QPainter painter(&picture);
    painter.drawPixmap(window.mapFromGlobal(menu->mapToGlobal(QPoint(0, 0))), menu->grab());
    painter.end();
    menu->hide();
    const bool saved = picture.save(path);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    return saved;
}

// The search window over every archive, with a query that finds sounds of several archives.
bool SaveSearchWindow(MainWindow &window, const QString &path)
{
    auto *search = window.findChild<CatalogWindow *>();
    if (!search)
        return false;
    search->ShowCatalog();
    search->findChild<QLineEdit *>(QStringLiteral("catalogQuery"))->setText(QStringLiteral("sweep hz"));
    Settle(300);
    const bool bSaved = Save(*search, path);
    search->close();
    return bSaved;
}

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: demo_screenshots <output folder>\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(output);

    AnswerYes answers;
    UserDialogs::SetHandler(&answers);
    const XmlMetaData metaData =
        ReadMetaData(QCoreApplication::applicationDirPath() + QStringLiteral("/MetaData.xml"));

    int failures = 0;
    {
        MainWindow window;
        window.resize(760, 640);
        window.show();
        auto *archiveView = window.findChild<QTreeView *>(QStringLiteral("archiveView"));
        auto *entryView = window.findChild<QTreeView *>(QStringLiteral("entryView"));
        failures += !Save(window, output + QStringLiteral("/archive-tree.png"));

        const QModelIndex sfx = FindLeaf(*archiveView->model(), {}, [](const TreeItem &item) { return item.IsSfx(); });
        if (Open(window, *archiveView, sfx)) {
            window.ExpandAll();
            // Select the first sound that has a description, so the metadata list has lines.
            const QAbstractItemModel *entries = entryView->model();
            QModelIndex described = entries->index(0, 0, entries->index(0, 0));
            for (int bank = 0; bank < entries->rowCount(); ++bank) {
                const QModelIndex bankIndex = entries->index(bank, 0);
                for (int sound = 0; sound < entries->rowCount(bankIndex); ++sound) {
                    const QModelIndex index = entries->index(sound, 0, bankIndex);
                    if (!metaData.GetText(window.GetVirtualItemPath(index)).isEmpty()) {
                        described = index;
                        bank = entries->rowCount();
                        break;
                    }
                }
            }
            entryView->setCurrentIndex(described);
            window.ShowInfoDialog();
            failures += !Save(window, output + QStringLiteral("/sfx-archive.png"));

            answers.folder = WriteModFolder(static_cast<const TreeItem *>(sfx.internalPointer())->GetName());
            answers.dialogPicture = output + QStringLiteral("/replace-folder.png");
            window.ReplaceFromFolder();
            answers.folder.clear();
            failures += !answers.bDialogSaved;
            failures += !SaveMarks(window, *entryView, answers, output + QStringLiteral("/marks.png"));
        } else {
            std::fprintf(stderr, "the demo's SFX archive did not open\n");
            ++failures;
        }

        const QModelIndex looping = FindLeaf(*archiveView->model(), {}, [](const TreeItem &item) {
            return item.IsSfx() && item.GetName() == QStringLiteral("SPC_EA");
        });
        if (Open(window, *archiveView, looping)) {
            window.ExpandAll();
            // The demo's alarms loop from their second half-second on.
            const QModelIndex alarm = entryView->model()->index(0, 0, entryView->model()->index(0, 0));
            entryView->setCurrentIndex(alarm);
            window.UpdateMetalist(alarm);
            window.Play(alarm);
            Settle(700);
            failures += !Save(window, output + QStringLiteral("/waveform.png"));
            window.StopPlaying();
            failures += !SaveLoopMenu(window, output + QStringLiteral("/loop-menu.png"));
        } else {
            std::fprintf(stderr, "the demo's SPC_EA archive did not open\n");
            ++failures;
        }

        const QModelIndex stream = FindLeaf(*archiveView->model(), {}, [](const TreeItem &item) { return item.IsStream(); });
        if (Open(window, *archiveView, stream)) {
            const QModelIndex track = entryView->model()->index(0, 0);
            entryView->setCurrentIndex(track);
            window.UpdateMetalist(track);
            window.Play(track);
            Settle(1500);
            failures += !Save(window, output + QStringLiteral("/track-playing.png"));
            window.StopPlaying();
        } else {
            std::fprintf(stderr, "the demo's stream archive did not open\n");
            ++failures;
        }
        failures += !SaveSearchWindow(window, output + QStringLiteral("/search-all-archives.png"));
        window.close();
    }
    failures += !SaveCheckReport(output + QStringLiteral("/check-report.png"));
    UserDialogs::SetHandler(nullptr);
    return failures == 0 ? 0 : 1;
}
