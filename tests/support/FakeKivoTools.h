#pragma once
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QProcessEnvironment>
#include <QStringList>

// Writes stand-ins for kivo_sfx.exe and kivo_stream.exe into a folder and reads back how they
// were called. The stand-ins are shell scripts: each logs a line of its name, working directory,
// process id and arguments, then behaves as the Set... calls chose (through environment variables
// that the started tool inherits). An export creates <target>/<folder>/<metafile>; an import
// writes the new archive unless told not to.
class FakeKivoTools
{
public:
    struct Run
    {
        QString program;
        QString workingDirectory;  // physical path, as "pwd -P" prints it
        qint64 pid = 0;
        QStringList arguments;
    };

    explicit FakeKivoTools(const QString &folder) : logPath(QDir(folder).filePath("fake-kivo.log"))
    {
        qputenv("KIVO_FAKE_LOG", QFile::encodeName(logPath));
        for (const char *name : {"kivo_sfx.exe", "kivo_stream.exe"})
            WriteTool(QDir(folder).filePath(QString::fromLatin1(name)), script);
    }
    ~FakeKivoTools()
    {
        for (const QString &name : QProcessEnvironment::systemEnvironment().keys())
            if (name.startsWith("KIVO_FAKE_"))
                qunsetenv(name.toLatin1().constData());
    }
    FakeKivoTools(const FakeKivoTools &) = delete;
    FakeKivoTools &operator=(const FakeKivoTools &) = delete;

    void SetExitCode(int code) { qputenv("KIVO_FAKE_EXIT", QByteArray::number(code)); }
    void SetStandardError(const QByteArray &bytes) { qputenv("KIVO_FAKE_STDERR", bytes); }
    void SetRunsUntilKilled() { qputenv("KIVO_FAKE_HANG", "1"); }
    void SetExport(const QString &folderName, const QString &metafileName, const QByteArray &metafileText)
    {
        qputenv("KIVO_FAKE_FOLDER", QFile::encodeName(folderName));
        qputenv("KIVO_FAKE_METAFILE", QFile::encodeName(metafileName));
        qputenv("KIVO_FAKE_METAFILE_TEXT", metafileText);
    }
    void SetWritesNoArchive() { qputenv("KIVO_FAKE_NO_ARCHIVE", "1"); }

    QList<Run> Runs() const
    {
        QList<Run> runs;
        QFile log(logPath);
        if (log.open(QIODevice::ReadOnly))
            for (const QString &line : QString::fromLocal8Bit(log.readAll()).split('\n', Qt::SkipEmptyParts)) {
                const QStringList fields = line.split('\t');
                runs.append({fields.value(0), fields.value(1), fields.value(2).toLongLong(), fields.mid(3)});
            }
        return runs;
    }

    static bool WriteTool(const QString &path, const QByteArray &content,
                          QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size()
            && file.setPermissions(permissions);
    }

private:
    static constexpr const char *script =
        "#!/bin/sh\n"
        // Listing and extracting one entry are refused unlogged: the marks then fall back on what
        // was replaced since unpacking, and the runs logged stay those the tests are about.
        "case \"$1\" in -l|-x) echo 'not a stand-in for this' >&2; exit 2 ;; esac\n"
        "{ printf '%s\\t%s\\t%s' \"$(basename \"$0\")\" \"$(pwd -P)\" $$; printf '\\t%s' \"$@\"; echo; } >> \"$KIVO_FAKE_LOG\"\n"
        "if [ -n \"$KIVO_FAKE_HANG\" ]; then exec sleep 60; fi\n"
        "case \"$1\" in\n"
        "  -e|-r) mkdir -p \"$3/$KIVO_FAKE_FOLDER\"\n"
        "    printf '%s' \"$KIVO_FAKE_METAFILE_TEXT\" > \"$3/$KIVO_FAKE_FOLDER/$KIVO_FAKE_METAFILE\" ;;\n"
        // As the real tool does: the lookup file gets new records, its previous bytes go to ".bak".
        "  -i) if [ -f \"$4\" ]; then cp \"$4\" \"$4.bak\" && printf 'new records' > \"$4\"; fi\n"
        "    if [ -z \"$KIVO_FAKE_NO_ARCHIVE\" ]; then printf 'new archive' > \"$2\"; fi ;;\n"
        "esac\n"
        "printf '%s' \"$KIVO_FAKE_STDERR\" >&2\n"
        "exit \"${KIVO_FAKE_EXIT:-0}\"\n";

    QString logPath;
};
