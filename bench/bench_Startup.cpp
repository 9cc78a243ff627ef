// How long the program takes from its start until its window shows, with an archive list of
// 1,000 archives and no descriptions (reading MetaData.xml is bench_Limits' subject), against a
// bare QMainWindow started the same way. Goal: at most 2.0 times the bare window.
// Run without arguments. It starts itself as a child process, once per measurement, alternating
// between the two, and puts the two files beside itself for the time of the run.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <sys/resource.h>

#include "app/MainWindow.h"
#include "dialogs/UserDialogs.h"

namespace
{
constexpr int rounds = 7;
constexpr int groups = 20;
constexpr int archivesPerGroup = 50;   // 1,000 archives
constexpr double goal = 2.0;

const char *const bareArgument = "--bare";
const char *const programArgument = "--program";

// A start that asks anything would wait forever offscreen: the child gives up instead.
class NoDialogs : public UserDialogs::Handler
{
public:
    QMessageBox::StandardButton Answer(const UserDialogs::Request &request) override
    {
        Fail(request.title + QStringLiteral(": ") + request.text);
        return QMessageBox::Ok;
    }
    QString Choose(const UserDialogs::Request &request) override
    {
        Fail(QStringLiteral("chooser: ") + request.title);
        return QString();
    }

private:
    static void Fail(const QString &what)
    {
        std::fprintf(stderr, "unexpected dialog at start-up: %s\n", qPrintable(what));
        std::exit(3);
    }
};

// The child: build one window, show it, report when it is on screen, end.
int RunChild(int argc, char *argv[], bool bProgram)
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication application(argc, argv);
    NoDialogs noDialogs;
    UserDialogs::SetHandler(&noDialogs);
    std::unique_ptr<QMainWindow> window;
    if (bProgram)
        window = std::make_unique<MainWindow>();
    else
        window = std::make_unique<QMainWindow>();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return 4;
    // Page faults say where a start's time goes on machines where each costs microseconds.
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("shown %lld %ld\n", static_cast<long long>(sinceMain.nsecsElapsed() / 1000), usage.ru_minflt);
    std::fflush(stdout);
    return 0;
}

QByteArray Configuration()
{
    QByteArray text;
    for (int group = 0; group < groups; ++group) {
        const QByteArray groupName = "Group" + QByteArray::number(group);
        text += groupName + '\n';
        for (int archive = 0; archive < archivesPerGroup; ++archive) {
            const QByteArray name = groupName + "_A" + QByteArray::number(archive);
            const QByteArray type = archive % 2 ? "STREAM" : "SFX";
            text += "  " + name + "\taudio/" + type + '/' + name + '\t' + type + "\taudio/CONFIG/BankLkup.dat\n";
        }
    }
    return text;
}

// A description file without entries: the program reports a missing one in a box.
const QByteArray noDescriptions = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<MetaDataList/>\n";

// Files put beside the program for the run; removed again however the run ends.
class PlacedFiles
{
public:
    ~PlacedFiles()
    {
        for (const QString &path : std::as_const(paths))
            QFile::remove(path);
    }
    bool Place(const QString &path, const QByteArray &content)
    {
        if (QFile::exists(path)) {
            std::fprintf(stderr, "%s is in the way; move it aside and run again\n", qPrintable(path));
            return false;
        }
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
            return false;
        }
        paths << path;
        return file.write(content) == content.size() && file.flush();
    }

private:
    QStringList paths;
};

struct Sample
{
    double wallMs = 0;     // from starting the process until the window is on screen
    double insideMs = 0;   // from entering main until then
    double pageFaults = 0; // until then
};

bool Measure(const QString &argument, const QString &workingDirectory, Sample &sample)
{
    QProcess child;
    child.setWorkingDirectory(workingDirectory);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
    // Quiet children: the offscreen platform's remarks would bury the figures.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), workingDirectory);
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("default.warning=false"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    child.start(QCoreApplication::applicationFilePath(), {argument});
    if (!child.waitForStarted()) {
        std::fprintf(stderr, "cannot start the child: %s\n", qPrintable(child.errorString()));
        return false;
    }
    QByteArray output;
    while (!output.contains('\n') && child.waitForReadyRead(60000))
        output += child.readAllStandardOutput();
    sample.wallMs = double(timer.nsecsElapsed()) / 1e6;
    child.waitForFinished(60000);
    if (!output.startsWith("shown ")) {
        std::fprintf(stderr, "the %s child did not show its window (exit code %d)\n", qPrintable(argument),
                     child.exitCode());
        return false;
    }
    const QList<QByteArray> figures = output.mid(6).trimmed().split(' ');
    sample.insideMs = figures.value(0).toDouble() / 1000.0;
    sample.pageFaults = figures.value(1).toDouble();
    return true;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}
}

int main(int argc, char *argv[])
{
    if (argc == 2 && qstrcmp(argv[1], bareArgument) == 0)
        return RunChild(argc, argv, false);
    if (argc == 2 && qstrcmp(argv[1], programArgument) == 0)
        return RunChild(argc, argv, true);

    QCoreApplication application(argc, argv);
    const QString folder = QCoreApplication::applicationDirPath();
    PlacedFiles placed;
    if (!placed.Place(folder + QStringLiteral("/configuration.ini"), Configuration())
        || !placed.Place(folder + QStringLiteral("/MetaData.xml"), noDescriptions))
        return 1;

    // settings.ini lies in the current directory: a folder of its own, with both folders set
    // so that the start asks nothing.
    QTemporaryDir home;
    if (!home.isValid() || !QDir(home.path()).mkpath(QStringLiteral("work")) || !QDir(home.path()).mkpath(QStringLiteral("gta")))
        return 1;
    {
        QSettings settings(home.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("WorkingDirectory"), home.filePath(QStringLiteral("work")));
        settings.setValue(QStringLiteral("GtaDirectory"), home.filePath(QStringLiteral("gta")));
    }

    std::vector<double> bareWall, bareInside, bareFaults, programWall, programInside, programFaults;
    Sample sample;
    // One start of each first, unmeasured: the first start of a binary pays for the disk cache.
    if (!Measure(QString::fromLatin1(bareArgument), home.path(), sample)
        || !Measure(QString::fromLatin1(programArgument), home.path(), sample))
        return 1;
    for (int round = 0; round < rounds; ++round) {
        if (!Measure(QString::fromLatin1(bareArgument), home.path(), sample))
            return 1;
        bareWall.push_back(sample.wallMs);
        bareInside.push_back(sample.insideMs);
        bareFaults.push_back(sample.pageFaults);
        if (!Measure(QString::fromLatin1(programArgument), home.path(), sample))
            return 1;
        programWall.push_back(sample.wallMs);
        programInside.push_back(sample.insideMs);
        programFaults.push_back(sample.pageFaults);
    }

    const double ratio = Median(programWall) / Median(bareWall);
    QTextStream out(stdout);
    out << "Start-up until the main window shows, median of " << rounds << " starts each\n"
        << "  input: " << groups * archivesPerGroup << " archives in configuration.ini, no descriptions\n"
        << QString::asprintf("  floor, bare QMainWindow:  %8.1f ms (%.1f ms after entering main)\n", Median(bareWall),
                             Median(bareInside))
        << QString::asprintf("  program, MainWindow:      %8.1f ms (%.1f ms after entering main)\n", Median(programWall),
                             Median(programInside))
        << QString::asprintf("  ratio program / floor:    %8.2f   (goal <= %.1f) %s\n", ratio, goal,
                             ratio <= goal ? "met" : "NOT MET")
        << QString::asprintf("  ratio after entering main: %7.2f\n", Median(programInside) / Median(bareInside))
        << QString::asprintf("  page faults until shown:   %.0f bare, %.0f program\n", Median(bareFaults),
                             Median(programFaults));
    return ratio <= goal ? 0 : 1;
}
