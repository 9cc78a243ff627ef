#pragma once
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Writes stand-ins for kivo_sfx.exe and kivo_stream.exe into a folder and reads back how they
// were called. The stand-ins are shell scripts: each logs its name, working directory, process
// id and arguments, then behaves as the Set... calls chose (through environment variables that
// the started tool inherits). An export creates <target>/<folder>/<metafile> when a folder is
// given; an import writes the new archive unless told not to.
class FakeKivoTools
{
public:
    struct Run
    {
        QString program;
        QString workingDirectory;   // physical path, as "pwd -P" prints it
        qint64 pid = 0;
        QStringList arguments;
    };

    explicit FakeKivoTools(const QString &folder)
        : logPath(QDir(folder).filePath(QStringLiteral("fake-kivo.log")))
    {
        qputenv("KIVO_FAKE_LOG", QFile::encodeName(logPath));
        for (const char *name : {"kivo_sfx.exe", "kivo_stream.exe"})
            WriteTool(QDir(folder).filePath(QString::fromLatin1(name)), Script());
    }
    ~FakeKivoTools()
    {
        for (const char *name : variables)
            qunsetenv(name);
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
    void SetArchiveText(const QByteArray &text) { qputenv("KIVO_FAKE_ARCHIVE", text); }
    void SetWritesNoArchive() { qputenv("KIVO_FAKE_NO_ARCHIVE", "1"); }
    // The new archive gets the immutable attribute, which even root cannot rename.
    void SetMakesArchiveImmutable() { qputenv("KIVO_FAKE_IMMUTABLE", "1"); }

    QList<Run> Runs() const
    {
        QList<Run> runs;
        QFile log(logPath);
        if (!log.open(QIODevice::ReadOnly | QIODevice::Text))
            return runs;
        const QStringList lines = QString::fromLocal8Bit(log.readAll()).split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            const QString value = line.mid(line.indexOf(QLatin1Char('=')) + 1);
            if (line.startsWith(QLatin1String("program="))) {
                runs.append(Run());
                runs.last().program = value;
            } else if (runs.isEmpty()) {
                continue;
            } else if (line.startsWith(QLatin1String("pwd="))) {
                runs.last().workingDirectory = value;
            } else if (line.startsWith(QLatin1String("pid="))) {
                runs.last().pid = value.toLongLong();
            } else if (line.startsWith(QLatin1String("arg="))) {
                runs.last().arguments << value;
            }
        }
        return runs;
    }

    static bool WriteTool(const QString &path, const QByteArray &content,
                          QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                         | QFile::ReadOther | QFile::ExeOther)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size()
            && file.setPermissions(permissions);
    }

private:
    static QByteArray Script()
    {
        return QByteArrayLiteral(
            "#!/bin/sh\n"
            "{\n"
            "  echo \"program=$(basename \"$0\")\"\n"
            "  echo \"pwd=$(pwd -P)\"\n"
            "  echo \"pid=$$\"\n"
            "  for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done\n"
            "} >> \"$KIVO_FAKE_LOG\"\n"
            "if [ -n \"$KIVO_FAKE_HANG\" ]; then exec sleep 60; fi\n"
            "case \"$1\" in\n"
            "  -e|-r)\n"
            "    if [ -n \"$KIVO_FAKE_FOLDER\" ]; then\n"
            "      mkdir -p \"$3/$KIVO_FAKE_FOLDER\"\n"
            "      printf '%s' \"$KIVO_FAKE_METAFILE_TEXT\" > \"$3/$KIVO_FAKE_FOLDER/$KIVO_FAKE_METAFILE\"\n"
            "    fi ;;\n"
            "  -i)\n"
            "    if [ -z \"$KIVO_FAKE_NO_ARCHIVE\" ]; then\n"
            "      printf '%s' \"${KIVO_FAKE_ARCHIVE:-new archive}\" > \"$2\"\n"
            "      if [ -n \"$KIVO_FAKE_IMMUTABLE\" ]; then chattr +i \"$2\"; fi\n"
            "    fi ;;\n"
            "esac\n"
            "printf '%s' \"$KIVO_FAKE_STDERR\" >&2\n"
            "exit \"${KIVO_FAKE_EXIT:-0}\"\n");
    }

    static constexpr const char *variables[] = {
        "KIVO_FAKE_LOG", "KIVO_FAKE_EXIT", "KIVO_FAKE_STDERR", "KIVO_FAKE_HANG", "KIVO_FAKE_FOLDER",
        "KIVO_FAKE_METAFILE", "KIVO_FAKE_METAFILE_TEXT", "KIVO_FAKE_ARCHIVE", "KIVO_FAKE_NO_ARCHIVE",
        "KIVO_FAKE_IMMUTABLE"};

    QString logPath;
};
