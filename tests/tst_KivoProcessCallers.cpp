#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "FakeKivoTools.h"
#include "ScriptedDialogs.h"
#include "WaitDialogDriver.h"
#include "tool/KivoSfxProcessCaller.h"
#include "tool/KivoStreamProcessCaller.h"

// The callers against stand-in tools in a fresh current directory. The directory holds
// game/bank.dat, game/a.sfx, an empty folder work/ and work/A/sfx_import.ini.
class TestKivoProcessCallers : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void ReportsOnlyTheFirstFailedCheck_data();
    void ReportsOnlyTheFirstFailedCheck();
    void HandsTheToolItsCommandLine_data();
    void HandsTheToolItsCommandLine();
    void JudgesTheRunByItsExitCode_data();
    void JudgesTheRunByItsExitCode();
    void AbortKillsTheToolWithoutAMessage_data();
    void AbortKillsTheToolWithoutAMessage();
    void ToolThatCannotStartIsReportedWithoutWaiting_data();
    void ToolThatCannotStartIsReportedWithoutWaiting();

private:
    // "%dir%" stands for the folder, "%null%" for a null string.
    QString Expand(const QString &text) const
    {
        return text == QLatin1String("%null%") ? QString() : QString(text).replace(QLatin1String("%dir%"), root);
    }
    QStringList Expand(const QStringList &texts) const
    {
        QStringList expanded;
        for (const QString &text : texts)
            expanded << Expand(text);
        return expanded;
    }
    // Runs one of the four operations; exports take archives..., target, bank or station file;
    // imports take new archive, metafile, bank file.
    bool Call(const QString &operation, const QStringList &inputs);
    // Inputs that pass every check.
    static QStringList GoodInputs(const QString &operation)
    {
        return operation.endsWith(QLatin1String("export"))
                 ? QStringList{"%dir%/game/a.sfx", "%dir%/work", "%dir%/game/bank.dat"}
                 : QStringList{"%dir%/game/a.sfx.new", "%dir%/work/A/sfx_import.ini", "%dir%/game/bank.dat"};
    }
    static bool IsAlive(qint64 pid) { return pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)); }
    bool HasStarted() const
    {
        const auto runs = tools->Runs();
        return !runs.isEmpty() && runs.last().pid > 0;
    }

    QString previousDirectory;
    std::unique_ptr<QTemporaryDir> dir;
    QString root;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<FakeKivoTools> tools;
};

void TestKivoProcessCallers::init()
{
    previousDirectory = QDir::currentPath();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    root = QFileInfo(dir->path()).canonicalFilePath();
    QVERIFY(QDir::setCurrent(root));
    QDir base(root);
    QVERIFY(base.mkpath(QStringLiteral("game")));
    QVERIFY(base.mkpath(QStringLiteral("work/A")));
    for (const char *name : {"game/bank.dat", "game/a.sfx", "work/A/sfx_import.ini"}) {
        QFile file(base.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    dialogs = std::make_unique<ScriptedDialogs>();
    tools = std::make_unique<FakeKivoTools>(root);
}

void TestKivoProcessCallers::cleanup()
{
    tools.reset();
    dialogs.reset();
    QDir::setCurrent(previousDirectory);
    dir.reset();
}

bool TestKivoProcessCallers::Call(const QString &operation, const QStringList &inputs)
{
    const QStringList values = Expand(inputs);
    const qsizetype count = values.size();
    if (operation == QLatin1String("sfx export"))
        return KivoSfxProcessCaller().ExportArchive(values.mid(0, count - 2), values[count - 2], values[count - 1]);
    if (operation == QLatin1String("stream export"))
        return KivoStreamProcessCaller().ExportArchive(values.mid(0, count - 2), values[count - 2], values[count - 1]);
    if (operation == QLatin1String("sfx import"))
        return KivoSfxProcessCaller().ImportArchive(values[0], values[1], values[2]);
    if (operation == QLatin1String("stream import"))
        return KivoStreamProcessCaller().ImportArchive(values[0], values[1], values[2]);
    qFatal("unknown operation");
}

void TestKivoProcessCallers::ReportsOnlyTheFirstFailedCheck_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("programPresent");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QString>("message");

    const QString bank = QStringLiteral("%dir%/game/bank.dat");
    const QString noBank = QStringLiteral("%dir%/game/nobank.dat");
    const QString archive = QStringLiteral("%dir%/game/a.sfx");
    const QString work = QStringLiteral("%dir%/work");
    const QString nowhere = QStringLiteral("%dir%/nowhere");
    const QString metafile = QStringLiteral("%dir%/work/A/sfx_import.ini");
    const QString noMetafile = QStringLiteral("%dir%/work/A/none.ini");
    const QString newArchive = QStringLiteral("%dir%/game/a.sfx.new");
    const QString missingTarget = QStringLiteral("Targetdirectory doesn't exists.");

    QTest::newRow("sfx export: bank file before target and program")
        << "sfx export" << false << QStringList{archive, nowhere, noBank}
        << "Bankfile \"%dir%/game/nobank.dat\" could not be found.";
    QTest::newRow("sfx export: target before program") << "sfx export" << false << QStringList{archive, nowhere, bank} << missingTarget;
    QTest::newRow("sfx export: target that is a file") << "sfx export" << true << QStringList{archive, bank, bank} << missingTarget;
    QTest::newRow("sfx export: program") << "sfx export" << false << QStringList{archive, work, bank} << "kivo_sfx.exe could not be found.";
    QTest::newRow("stream export: program before target")
        << "stream export" << false << QStringList{archive, nowhere, "%null%"} << "kivo_stream.exe could not be found.";
    QTest::newRow("stream export: target") << "stream export" << true << QStringList{archive, nowhere, "%null%"} << missingTarget;
    QTest::newRow("sfx import: program before metafile and bank file")
        << "sfx import" << false << QStringList{newArchive, noMetafile, noBank} << "kivo_sfx.exe could not be found.";
    QTest::newRow("stream import: metafile before bank file")
        << "stream import" << true << QStringList{newArchive, noMetafile, noBank}
        << "Metafile \"%dir%/work/A/none.ini\" could not be found.";
    QTest::newRow("sfx import: bank file")
        << "sfx import" << true << QStringList{newArchive, metafile, noBank}
        << "Bankfile \"%dir%/game/nobank.dat\" could not be found.";
}

void TestKivoProcessCallers::ReportsOnlyTheFirstFailedCheck()
{
    QFETCH(QString, operation);
    QFETCH(bool, programPresent);
    QFETCH(QStringList, inputs);
    QFETCH(QString, message);
    if (!programPresent) {
        QVERIFY(QFile::remove(QStringLiteral("kivo_sfx.exe")));
        QVERIFY(QFile::remove(QStringLiteral("kivo_stream.exe")));
    }

    QVERIFY(!Call(operation, inputs));

    QCOMPARE(dialogs->Log(), QStringList{QStringLiteral("Error: ") + Expand(message)});
    QCOMPARE(dialogs->shown.first().kind, UserDialogs::Kind::Critical);
    QCOMPARE(dialogs->shown.first().pParent, nullptr);
    QVERIFY(tools->Runs().isEmpty());
}

void TestKivoProcessCallers::HandsTheToolItsCommandLine_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("workingDirectory");

    const QString bank = QStringLiteral("%dir%/game/bank.dat");
    const QString archive = QStringLiteral("%dir%/game/a.sfx");
    const QString work = QStringLiteral("%dir%/work");
    const QString stationNames = QStringLiteral("%dir%/metadata-full.ini");
    const QString metafile = QStringLiteral("%dir%/work/A/sfx_import.ini");
    const QString newArchive = QStringLiteral("%dir%/game/a.sfx.new");

    QTest::newRow("sfx export keeps the archives in order")
        << "sfx export" << QStringList{"%dir%/game/b.sfx", archive, work, bank} << "kivo_sfx.exe"
        << QStringList{"-e", "%dir%/game/b.sfx", archive, work, bank} << "%dir%";
    QTest::newRow("stream export without station names")
        << "stream export" << QStringList{archive, work, "%null%"} << "kivo_stream.exe"
        << QStringList{"-e", archive, work} << "%dir%";
    QTest::newRow("stream export with a station-name file that need not exist")
        << "stream export" << QStringList{archive, work, stationNames} << "kivo_stream.exe"
        << QStringList{"-r", archive, work, stationNames} << "%dir%";
    QTest::newRow("stream export with an empty station-name path")
        << "stream export" << QStringList{archive, work, ""} << "kivo_stream.exe"
        << QStringList{"-r", archive, work, ""} << "%dir%";
    QTest::newRow("sfx import runs in the metafile's folder")
        << "sfx import" << QStringList{newArchive, metafile, bank} << "kivo_sfx.exe"
        << QStringList{"-i", newArchive, metafile, bank} << "%dir%/work/A";
    QTest::newRow("stream import runs in the metafile's folder")
        << "stream import" << QStringList{newArchive, metafile, bank} << "kivo_stream.exe"
        << QStringList{"-i", newArchive, metafile, bank} << "%dir%/work/A";
}

void TestKivoProcessCallers::HandsTheToolItsCommandLine()
{
    QFETCH(QString, operation);
    QFETCH(QStringList, inputs);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, workingDirectory);

    // Succeeds although the folder is not on PATH: the tool is started where the check found it.
    QVERIFY(Call(operation, inputs));

    QCOMPARE(dialogs->Log(), QStringList());
    const auto runs = tools->Runs();
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs[0].program, program);
    QCOMPARE(runs[0].arguments, Expand(arguments));
    QCOMPARE(runs[0].workingDirectory, Expand(workingDirectory));
}

void TestKivoProcessCallers::JudgesTheRunByItsExitCode_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("standardError");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("boxes");

    const QString prefix = QStringLiteral("Error: KIVO returned the following message:\n");
    QTest::newRow("exit 0 with text on standard error") << "sfx export" << 0 << QByteArray("warning: odd bank\n") << true
                                                        << QStringList();
    QTest::newRow("exit 1 with a reason") << "stream export" << 1 << QByteArray("Archive is damaged.\n") << false
                                          << QStringList{prefix + "Archive is damaged.\n"};
    QTest::newRow("exit 2 with nothing on standard error") << "sfx import" << 2 << QByteArray() << false
                                                           << QStringList{prefix};
    QTest::newRow("standard error read as Latin-1") << "stream import" << 1 << QByteArray("Caf\xe9") << false
                                                    << QStringList{prefix + QStringLiteral("Caf\u00e9")};
}

void TestKivoProcessCallers::JudgesTheRunByItsExitCode()
{
    QFETCH(QString, operation);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, standardError);
    QFETCH(bool, result);
    QFETCH(QStringList, boxes);
    tools->SetExitCode(exitCode);
    tools->SetStandardError(standardError);

    QCOMPARE(Call(operation, GoodInputs(operation)), result);

    QCOMPARE(dialogs->Log(), boxes);
    for (const auto &request : std::as_const(dialogs->shown)) {
        QCOMPARE(request.kind, UserDialogs::Kind::Information);
        QCOMPARE(request.pParent, nullptr);
    }
    QCOMPARE(tools->Runs().size(), 1);
}

void TestKivoProcessCallers::AbortKillsTheToolWithoutAMessage_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");

    const int abort = int(WaitDialogDriver::Action::Abort);
    const QString exporting = QStringLiteral("Please wait while exporting archive...");
    const QString creating = QStringLiteral("Please wait while creating archive...");
    QTest::newRow("sfx export") << "sfx export" << abort << "Exporting SFX-archive..." << exporting;
    QTest::newRow("stream export") << "stream export" << abort << "Exporting Stream-archive..." << exporting;
    QTest::newRow("sfx import") << "sfx import" << abort << "Importing Stream-archive..." << creating;
    QTest::newRow("stream import") << "stream import" << abort << "Importing Stream-archive..." << creating;
    QTest::newRow("sfx export, Escape") << "sfx export" << int(WaitDialogDriver::Action::Escape)
                                        << "Exporting SFX-archive..." << exporting;
}

void TestKivoProcessCallers::AbortKillsTheToolWithoutAMessage()
{
    QFETCH(QString, operation);
    QFETCH(int, action);
    QFETCH(QString, title);
    QFETCH(QString, text);
    tools->SetRunsUntilKilled();
    // Only a tool that has surely started shows that the abort ends it.
    WaitDialogDriver driver(WaitDialogDriver::Action(action), [this] { return HasStarted(); });

    QVERIFY(!Call(operation, GoodInputs(operation)));

    QCOMPARE(driver.seen, 1);
    QCOMPARE(driver.title, title);
    QCOMPARE(driver.text, text);
    QCOMPARE(dialogs->Log(), QStringList());
    const auto runs = tools->Runs();
    QCOMPARE(runs.size(), 1);
    QVERIFY(runs[0].pid > 0);
    QVERIFY(!IsAlive(runs[0].pid));
}

void TestKivoProcessCallers::ToolThatCannotStartIsReportedWithoutWaiting_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("runBit");

    const QByteArray script("#!/bin/sh\nexit 0\n");
    const QByteArray garbage("this is no program\n");
    QTest::newRow("sfx export, no run bit") << "sfx export" << "kivo_sfx.exe" << script << false;
    QTest::newRow("sfx export, not a program") << "sfx export" << "kivo_sfx.exe" << garbage << true;
    QTest::newRow("stream import, no run bit") << "stream import" << "kivo_stream.exe" << script << false;
    QTest::newRow("stream import, not a program") << "stream import" << "kivo_stream.exe" << garbage << true;
}

void TestKivoProcessCallers::ToolThatCannotStartIsReportedWithoutWaiting()
{
    QFETCH(QString, operation);
    QFETCH(QString, program);
    QFETCH(QByteArray, content);
    QFETCH(bool, runBit);
    const QFile::Permissions readWrite = QFile::ReadOwner | QFile::WriteOwner;
    QVERIFY(FakeKivoTools::WriteTool(program, content, runBit ? readWrite | QFile::ExeOwner : readWrite));
    // Should a dialog come up after all, the driver closes it so the failure shows instead of a hang.
    WaitDialogDriver driver(WaitDialogDriver::Action::Abort);

    QVERIFY(!Call(operation, GoodInputs(operation)));

    QCOMPARE(driver.seen, 0);
    QCOMPARE(dialogs->Log(), QStringList{QStringLiteral("Error: ") + program + QStringLiteral(" could not be started.")});
    QCOMPARE(dialogs->shown.first().kind, UserDialogs::Kind::Critical);
}

QTEST_MAIN(TestKivoProcessCallers)
#include "tst_KivoProcessCallers.moc"
