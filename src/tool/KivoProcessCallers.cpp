#include "tool/KivoSfxProcessCaller.h"
#include "tool/KivoStreamProcessCaller.h"

// STUB: replaced by the tool work.
bool KivoSfxProcessCaller::ExportArchive(const QStringList &, const QString &, const QString &) { return false; }
bool KivoSfxProcessCaller::ImportArchive(const QString &, const QString &, const QString &) { return false; }
bool KivoStreamProcessCaller::ExportArchive(const QStringList &, const QString &, const QString &) { return false; }
bool KivoStreamProcessCaller::ImportArchive(const QString &, const QString &, const QString &) { return false; }
