// A "&Find" that matches nothing walks every entry once. Measured on 400 banks of 400 sounds, by
// name and by metadata (every entry described in MetaData.xml), against the floor of a plain
// loop that reads every row's display text.
#include "app/MainWindow.h"
#include "dialogs/UserDialogs.h"
#include "search/SearchDialog.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace
{
constexpr int bankCount = 400;
constexpr int soundCount = 400;
constexpr int runs = 9;
constexpr int distinctTexts = 1000;

// Answers every box with Ok and cancels every chooser, so nothing waits for a user.
class SilentDialogs : public UserDialogs::Handler
{
public:
    QMessageBox::StandardButton Answer(const UserDialogs::Request &) override { return QMessageBox::Ok; }
    QString Choose(const UserDialogs::Request &) override { return QString(); }
};

// Puts a file beside the program for the length of the run and brings back what was there.
class FileBesideProgram
{
public:
    FileBesideProgram(const QString &name, const QByteArray &content)
        : path(QDir(QCoreApplication::applicationDirPath()).filePath(name))
    {
        QFile old(path);
        hadOld = old.open(QIODevice::ReadOnly);
        if (hadOld)
            oldContent = old.readAll();
        Write(content);
    }
    ~FileBesideProgram()
    {
        if (hadOld)
            Write(oldContent);
        else
            QFile::remove(path);
    }
    FileBesideProgram(const FileBesideProgram &) = delete;
    FileBesideProgram &operator=(const FileBesideProgram &) = delete;

private:
    void Write(const QByteArray &content) const
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(path));
    }
    QString path;
    bool hadOld = false;
    QByteArray oldContent;
};

QString SoundName(int bank, int sound)
{
    return QStringLiteral("bank%1_sound%2.wav").arg(bank, 3, 10, QLatin1Char('0')).arg(sound, 3, 10, QLatin1Char('0'));
}

QByteArray SfxMetafile()
{
    QByteArray text = "[Archive]\nbasename=Sfx1\nlookup_index=0\nnum_banks=" + QByteArray::number(bankCount) + "\n";
    for (int bank = 1; bank <= bankCount; ++bank) {
        text += QStringLiteral("[Bank_%1]\nnum_sounds=%2\n").arg(bank, 3, 10, QLatin1Char('0')).arg(soundCount).toLatin1();
        for (int sound = 1; sound <= soundCount; ++sound) {
            const QByteArray key = QStringLiteral("sound_%1").arg(sound, 3, 10, QLatin1Char('0')).toLatin1();
            text += key + ".filename=" + SoundName(bank, sound).toLatin1() + "\n";
            text += key + ".sample_rate=22050\n" + key + ".unknown_16=0\n";
        }
    }
    return text;
}

// Every entry gets a text; the texts are shared as the real file shares them between entries.
QByteArray MetaDataXml()
{
    QByteArray xml = "<MetaDataFile>\n";
    for (int id = 0; id < distinctTexts; ++id)
        xml += "  <InfoData Id=\"" + QByteArray::number(id) + "\" Text=\"Engine " + QByteArray::number(id)
             + ";Car, heavy;Distance: near;Loop\"/>\n";
    int entry = 0;
    for (int bank = 1; bank <= bankCount; ++bank) {
        for (int sound = 1; sound <= soundCount; ++sound, ++entry)
            xml += "  <MetaData VirtualPath=\"Archiv\\Audio\\Sfx1\\" + SoundName(bank, sound).toLatin1()
                 + "\" InfoDataItemId=\"" + QByteArray::number(entry % distinctTexts) + "\"/>\n";
    }
    return xml + "</MetaDataFile>\n";
}

double Milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    SilentDialogs dialogs;
    UserDialogs::SetHandler(&dialogs);

    QTemporaryDir root;
    const QString previousCurrent = QDir::currentPath();
    QDir(root.path()).mkpath(QStringLiteral("work/Sfx1"));
    QDir(root.path()).mkpath(QStringLiteral("gta"));
    QDir::setCurrent(root.path());
    {
        QSettings settings(QStringLiteral("settings.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("WorkingDirectory"), root.filePath(QStringLiteral("work")));
        settings.setValue(QStringLiteral("GtaDirectory"), root.filePath(QStringLiteral("gta")));
    }
    const QString metafile = root.filePath(QStringLiteral("work/Sfx1/sfx_import.ini"));
    {
        QFile file(metafile);
        const QByteArray text = SfxMetafile();
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            qFatal("cannot write the metafile");
    }

    int result = 0;
    {
        const FileBesideProgram configuration(
            QStringLiteral("configuration.ini"),
            "Audio\n  Sfx1\tAUDIO/SFX/SFX1\tSFX\tAUDIO/CONFIG/BankLkup.dat\n");
        const FileBesideProgram metaData(QStringLiteral("MetaData.xml"), MetaDataXml());

        MainWindow window;
        window.SetModel(metafile, IniMetafileModel::SFX);
        auto *entryView = window.findChild<QTreeView *>(QStringLiteral("entryView"));
        auto *archiveView = window.findChild<QTreeView *>(QStringLiteral("archiveView"));
        QAbstractItemModel *entries = entryView->model();
        QAbstractItemModel *archives = archiveView->model();
        if (!entries || entries->rowCount() != bankCount || !archives || archives->rowCount() == 0) {
            std::printf("bench_Search: the archive or the archive tree did not load\n");
            result = 1;
        } else {
            archiveView->setCurrentIndex(archives->index(0, 0, archives->index(0, 0)));
            auto *bar = window.findChild<SearchDialog *>();
            auto *edit = bar->findChild<QLineEdit *>(QStringLiteral("searchEdit"));
            auto *metadataBox = bar->findChild<QCheckBox *>(QStringLiteral("metadataCheckBox"));
            auto *findButton = bar->findChild<QPushButton *>(QStringLiteral("findButton"));
            edit->setText(QStringLiteral("no such sound"));

            qsizetype characters = 0;
            const auto readAll = [&] {
                for (int bank = 0; bank < entries->rowCount(); ++bank) {
                    const QModelIndex bankIndex = entries->index(bank, 0);
                    for (int sound = 0; sound < entries->rowCount(bankIndex); ++sound)
                        characters += entries->index(sound, 0, bankIndex).data().toString().size();
                }
            };
            // The three are measured in turns, so that a busy machine slows them alike.
            double floor = 1e300, byName = 1e300, byMetadata = 1e300;
            for (int run = 0; run < runs; ++run) {
                floor = std::min(floor, Milliseconds(readAll));
                metadataBox->setChecked(false);
                byName = std::min(byName, Milliseconds([&] { findButton->click(); }));
                metadataBox->setChecked(true);
                byMetadata = std::min(byMetadata, Milliseconds([&] { findButton->click(); }));
            }
            const bool untouched = !entryView->currentIndex().isValid();

            std::printf("bench_Search: full-pass Find over %d entries (best of %d runs)\n", bankCount * soundCount, runs);
            std::printf("  floor (read every display text): %8.2f ms  (%lld characters)\n", floor,
                        static_cast<long long>(characters));
            const auto verdict = [](double ratio, double goal) { return ratio <= goal ? "met" : "NOT MET"; };
            std::printf("  by name:                         %8.2f ms  ratio %5.2f  (goal <= 3) %s\n", byName, byName / floor,
                        verdict(byName / floor, 3));
            std::printf("  by metadata:                     %8.2f ms  ratio %5.2f  (goal <= 6) %s\n", byMetadata,
                        byMetadata / floor, verdict(byMetadata / floor, 6));
            if (!untouched) {
                std::printf("bench_Search: a search for a missing text selected an entry\n");
                result = 1;
            }
        }
    }
    QDir::setCurrent(previousCurrent);
    UserDialogs::SetHandler(nullptr);
    return result;
}
