#include "app/DescriptionCommands.h"

#include <QDir>
#include <QFileInfo>
#include <QTreeView>

#include "app/DescribeDialog.h"
#include "catalog/DescriptionSharing.h"
#include "dialogs/UserDialogs.h"

namespace
{
const QString fileFilter = QStringLiteral("Descriptions (*.csv *.xml);;All files (*)");

QString Listed(const QStringList &lines)
{
    return lines.join(QLatin1Char('\n'));
}
}

DescriptionCommands::DescriptionCommands(XmlMetaData &metaData, QTreeView *pEntryView,
                                         std::function<QString(const QModelIndex &)> virtualPathOf,
                                         std::function<QList<CatalogArchive>()> archives, QWidget *pWindow)
    : QObject(pWindow)
    , metaData(metaData)
    , fromProgram(metaData)
    , user(QDir::current().absoluteFilePath(QStringLiteral("user-metadata.xml")))
    , entryView(pEntryView)
    , virtualPathOf(std::move(virtualPathOf))
    , archives(std::move(archives))
    , window(pWindow)
{
    const QString error = user.Read();
    if (!error.isEmpty())
        UserDialogs::Critical(nullptr, QStringLiteral("Error in Xml-File"), error);
    Merge();
}

void DescriptionCommands::Merge()
{
    metaData = MergedDescriptions(fromProgram, user.Texts());
    emit DescriptionsChanged();
}

bool DescriptionCommands::MayWrite()
{
    if (user.ReadError().isEmpty())
        return true;
    UserDialogs::Critical(window, QStringLiteral("Error"),
                          QStringLiteral("Your descriptions cannot be stored while their file cannot be read; "
                                         "it is left as it is.\n")
                              + user.ReadError());
    return false;
}

void DescriptionCommands::Describe()
{
    const QModelIndex current = entryView->currentIndex();
    const QString path = current.isValid() ? virtualPathOf(current) : QString();
    if (path.isEmpty()) {
        UserDialogs::Information(window, QStringLiteral("Nothing selected"),
                                 QStringLiteral("Please select the entry that should be described."));
        return;
    }
    if (!MayWrite())
        return;
    DescribeDialog dialog(current.data().toString(), metaData.GetText(path), window);
    if (UserDialogs::Exec(&dialog, dialog.windowTitle()) != QMessageBox::Ok)
        return;
    const QString error = user.SetDescription(path, dialog.Text());
    if (!error.isEmpty()) {
        UserDialogs::Critical(window, QStringLiteral("Error"), error);
        return;
    }
    Merge();
}

void DescriptionCommands::Import()
{
    if (!MayWrite())
        return;
    const QString file = UserDialogs::OpenFileName(window, QStringLiteral("Import descriptions"), lastFolder, fileFilter);
    if (file.isEmpty())
        return;
    lastFolder = QFileInfo(file).absolutePath();
    const DescriptionImport import = ReadDescriptionImport(file, metaData, archives());
    if (!import.error.isNull()) {
        UserDialogs::Critical(window, QStringLiteral("Error"), import.error + QStringLiteral("\nNothing was changed."));
        return;
    }
    QString text = QStringLiteral("%1 rows are new, %2 equal what is known, %3 differ from it.")
                       .arg(import.newPaths.size())
                       .arg(import.equalPaths.size())
                       .arg(import.differing.size());
    if (!import.unknownPaths.isEmpty())
        text += QStringLiteral("\n\n%1 rows name no archive of the tree; they are imported all the same:\n")
                    .arg(import.unknownPaths.size())
              + Listed(import.unknownPaths);
    bool bTakeFileTexts = false;
    if (import.differing.isEmpty()) {
        if (UserDialogs::Information(window, QStringLiteral("Import descriptions"), text,
                                     QMessageBox::Ok | QMessageBox::Cancel)
            != QMessageBox::Ok)
            return;
    } else {
        const QMessageBox::StandardButton answer = UserDialogs::Question(
            window, QStringLiteral("Import descriptions"),
            text + QStringLiteral("\n\nFor the rows that differ, keep the texts known so far or take the file's?"),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes,
            {{QMessageBox::Yes, QStringLiteral("&Keep the known texts")},
             {QMessageBox::No, QStringLiteral("&Take the file's texts")}});
        if (answer == QMessageBox::Cancel)
            return;
        bTakeFileTexts = answer == QMessageBox::No;
    }
    const QString error = ApplyDescriptionImport(import, bTakeFileTexts, user);
    if (!error.isEmpty()) {
        UserDialogs::Critical(window, QStringLiteral("Error"), error);
        return;
    }
    Merge();
    const qsizetype taken = import.newPaths.size() + (bTakeFileTexts ? import.differing.size() : 0);
    emit StatusMessage(QStringLiteral("%1 descriptions were imported.").arg(taken));
}

void DescriptionCommands::Export()
{
    const QString file = UserDialogs::SaveFileName(window, QStringLiteral("Export descriptions"), lastFolder,
                                                   QStringLiteral("Descriptions (*.csv)"));
    if (file.isEmpty())
        return;
    lastFolder = QFileInfo(file).absolutePath();
    const QString error = ExportDescriptions(file, metaData);
    if (!error.isEmpty())
        UserDialogs::Critical(window, QStringLiteral("Error"), error);
    else
        emit StatusMessage(QStringLiteral("The descriptions were exported to ") + QDir::toNativeSeparators(file));
}
