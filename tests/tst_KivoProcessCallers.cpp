#include "FakeKivoTools.h"
#include "WindowFixture.h"
#include "tool/KivoSfxProcessCaller.h"
#include "tool/KivoStreamProcessCaller.h"
#include "tool/WaitDialog.h"

#include <QMap>
#include <QPointer>
#include <QPushButton>
#include <functional>

// The callers against stand-in tools in a fresh current directory holding game/bank.dat, game/a.sfx
// and work/A/sfx_import.ini; paths are relative to it.
class TestKivoProcessCallers : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        fixture = std::make_unique<WindowFixture>(false);
        root = QDir::currentPath();
        for (const char *name : {"game/bank.dat", "game/a.sfx", "work/A/sfx_import.ini"})
            WindowFixture::WriteText(name, "");
        tools = std::make_unique<FakeKivoTools>(root);
    }

    void cleanup() { tools.reset(); fixture.reset(); }

    // Starts with every check failing and mends them one by one: each call reports the first alone.
    void ReportsOnlyTheFirstFailedCheck_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("checks");  // in the order the caller makes them
        QTest::newRow("sfx export") << "sfx export" << QStringList{"bank", "target", "program"};
        QTest::newRow("stream export") << "stream export" << QStringList{"program", "target"};
        QTest::newRow("sfx import") << "sfx import" << QStringList{"program", "metafile", "bank"};
        QTest::newRow("stream import") << "stream import" << QStringList{"program", "metafile", "bank"};
    }
    void ReportsOnlyTheFirstFailedCheck()
    {
        QFETCH(QString, operation);
        QFETCH(QStringList, checks);
        const QString program = operation.startsWith("sfx") ? "kivo_sfx.exe" : "kivo_stream.exe";
        const QMap<QString, QString> messages{{"program", program + " could not be found."},
                                              {"bank", "Bankfile \"game/nobank.dat\" could not be found."},
                                              {"target", "Targetdirectory doesn't exists."},
                                              {"metafile", "Metafile \"work/A/none.ini\" could not be found."}};
        QVERIFY(QFile::rename(program, "hidden.exe"));
        QStringList broken = checks;
        for (const QString &check : checks) {
            const QString bank = broken.contains("bank") ? "game/nobank.dat" : "game/bank.dat";
            const QString target = broken.contains("target") ? "game/a.sfx" : "work";  // a file is no folder
            const QString metafile = broken.contains("metafile") ? "work/A/none.ini" : "work/A/sfx_import.ini";
            fixture->dialogs.shown.clear();
            QVERIFY(!Call(operation, operation.endsWith("export") ? QStringList{"game/a.sfx", target, bank}
                                                                  : QStringList{"game/a.sfx.new", metafile, bank}));
            QCOMPARE(fixture->dialogs.Log(), QStringList{"Error: " + messages[check]});
            broken.removeOne(check);
            QVERIFY(check != "program" || QFile::rename("hidden.exe", program));
        }
        QVERIFY(tools->Runs().isEmpty());
    }

    // The window passes one archive and shows a typical failure; these are the edges only a caller of its own meets.
    void RunsTheToolAndJudgesItByItsExitCode_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("inputs");     // empty: ones that pass every check
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("standardError");
        QTest::addColumn<QString>("box");            // empty: success and no box
        QTest::addColumn<QStringList>("arguments");  // the program first, then what it gets; empty: not looked at
        QTest::addColumn<QString>("warnings");       // the caller's after the run

        const QString prefix = "Error: KIVO returned the following message:\n";
        QTest::newRow("sfx export keeps the archives in order")
            << "sfx export" << QStringList{"game/b.sfx", "game/a.sfx", "work", "game/bank.dat"} << 0 << QByteArray() << ""
            << QStringList{"kivo_sfx.exe", "-e", "game/b.sfx", "game/a.sfx", "work", "game/bank.dat"} << "";
        // Success with text on standard error: the caller keeps it for the window to show.
        QTest::newRow("stream export with an empty station-name path, warnings in UTF-8")
            << "stream export" << QStringList{"game/a.sfx", "work", ""} << 0
            << QByteArray("Caf\xc3\xa9/Track_001.ogg was converted\nsecond line\r\n") << ""
            << QStringList{"kivo_stream.exe", "-r", "game/a.sfx", "work", ""}
            << QStringLiteral("Caf\u00e9/Track_001.ogg was converted\nsecond line");
        QTest::newRow("sfx import warnings") << "sfx import" << QStringList() << 0 << QByteArray("bank grew\n") << ""
                                             << QStringList() << "bank grew";
        QTest::newRow("exit 2 with nothing on standard error") << "sfx import" << QStringList() << 2 << QByteArray() << prefix
                                                               << QStringList() << "";
        QTest::newRow("standard error read as UTF-8") << "stream import" << QStringList() << 1 << QByteArray("Caf\xc3\xa9")
                                                      << prefix + QStringLiteral("Caf\u00e9") << QStringList() << "";
    }
    void RunsTheToolAndJudgesItByItsExitCode()
    {
        QFETCH(QString, operation);
        QFETCH(QStringList, inputs);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, standardError);
        QFETCH(QString, box);
        QFETCH(QStringList, arguments);
        QFETCH(QString, warnings);
        tools->SetExitCode(exitCode);
        tools->SetStandardError(standardError);

        // Succeeds although the folder is not on PATH: the tool is started where the check found it.
        QCOMPARE(inputs.isEmpty() ? CallWell(operation) : Call(operation, inputs), box.isEmpty());

        QCOMPARE(fixture->dialogs.Log(), box.isEmpty() ? QStringList() : QStringList{box});
        QCOMPARE(lastWarnings, warnings);
        const auto runs = tools->Runs();
        QCOMPARE(runs.size(), 1);
        if (!arguments.isEmpty()) {
            QCOMPARE(QStringList{runs[0].program} + runs[0].arguments, arguments);
            QCOMPARE(runs[0].workingDirectory, root);
        }
    }

    void AbortKillsTheToolWithoutAMessage_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("bEscape");
        QTest::addColumn<QString>("title");
        QTest::newRow("sfx export") << "sfx export" << false << "Exporting SFX-archive...";
        QTest::newRow("stream import, Escape") << "stream import" << true << "Importing Stream-archive...";
    }
    void AbortKillsTheToolWithoutAMessage()
    {
        QFETCH(QString, operation);
        QFETCH(bool, bEscape);
        QFETCH(QString, title);
        tools->SetRunsUntilKilled();
        // Only a tool that has surely started shows that the abort ends it.
        QStringList titles;
        const auto driver = Driver(bEscape, titles, [this] { return !tools->Runs().isEmpty(); });

        QVERIFY(!CallWell(operation));

        QCOMPARE(titles, QStringList{title});
        QCOMPARE(fixture->dialogs.Log(), QStringList());
        const auto runs = tools->Runs();
        QCOMPARE(runs.size(), 1);
        QVERIFY(runs[0].pid > 0);
        QVERIFY(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(runs[0].pid)));
    }

    void ToolThatCannotStartIsReportedWithoutWaiting_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("bRunBit");  // without it a script, with it no program at all
        QTest::newRow("sfx export, no run bit") << "sfx export" << false;
        QTest::newRow("stream import, not a program") << "stream import" << true;
    }
    void ToolThatCannotStartIsReportedWithoutWaiting()
    {
        QFETCH(QString, operation);
        QFETCH(bool, bRunBit);
        const QString program = operation.startsWith("sfx") ? "kivo_sfx.exe" : "kivo_stream.exe";
        const QFile::Permissions readWrite = QFile::ReadOwner | QFile::WriteOwner;
        QVERIFY(FakeKivoTools::WriteTool(program, bRunBit ? "this is no program\n" : "#!/bin/sh\nexit 0\n",
                                         bRunBit ? readWrite | QFile::ExeOwner : readWrite));
        // Should a dialog come up after all, the driver closes it so the failure shows instead of a hang.
        QStringList titles;
        const auto driver = Driver(false, titles, [] { return true; });

        QVERIFY(!CallWell(operation));

        QCOMPARE(titles, QStringList());
        QCOMPARE(fixture->dialogs.Log(), QStringList{"Error: " + program + " could not be started."});
    }

private:
    // Plays the user at each wait dialog once bReady says so: notes its title, then presses "&Abort" or Escape.
    static std::unique_ptr<QTimer> Driver(bool bEscape, QStringList &titles, std::function<bool()> bReady)
    {
        auto timer = std::make_unique<QTimer>();
        QObject::connect(timer.get(), &QTimer::timeout, timer.get(), [&titles, bEscape, bReady, seen = QPointer<QWidget>()]() mutable {
            auto *dialog = qobject_cast<WaitDialog *>(QApplication::activeModalWidget());
            if (!dialog || dialog == seen || !bReady())
                return;
            seen = dialog;
            titles << dialog->windowTitle();
            bEscape ? QTest::keyClick(dialog, Qt::Key_Escape) : dialog->findChild<QPushButton *>()->click();
        });
        timer->start(20);
        return timer;
    }
    // Exports take archives..., target, bank or station file; imports new archive, metafile, bank file.
    bool Call(const QString &operation, const QStringList &v)
    {
        const qsizetype n = v.size();
        KivoSfxProcessCaller sfx;
        KivoStreamProcessCaller stream;
        bool result = false;
        if (operation == "sfx export")
            result = sfx.ExportArchive(v.mid(0, n - 2), v[n - 2], v[n - 1]);
        else if (operation == "stream export")
            result = stream.ExportArchive(v.mid(0, n - 2), v[n - 2], v[n - 1]);
        else if (operation == "sfx import")
            result = sfx.ImportArchive(v[0], v[1], v[2]);
        else
            result = stream.ImportArchive(v[0], v[1], v[2]);
        lastWarnings = operation.startsWith("sfx") ? sfx.Warnings() : stream.Warnings();
        return result;
    }
    // Inputs that pass every check.
    bool CallWell(const QString &operation)
    {
        return Call(operation, operation.endsWith("export")
                                   ? QStringList{"game/a.sfx", "work", "game/bank.dat"}
                                   // an import runs in the metafile's folder
                                   : QStringList{root + "/game/a.sfx.new", root + "/work/A/sfx_import.ini", root + "/game/bank.dat"});
    }

    std::unique_ptr<WindowFixture> fixture;
    std::unique_ptr<FakeKivoTools> tools;
    QString root;
    QString lastWarnings;
};

QTEST_MAIN(TestKivoProcessCallers)
#include "tst_KivoProcessCallers.moc"
