#pragma once
#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>

#include "app/archive/FolderReplace.h"

// Asks before a folder's files replace entries: lists each entry with the file that will take its
// place, and the files that match no entry with the reason. Owns its child widgets.
class FolderReplaceDialog : public QDialog
{
    Q_OBJECT
public:
    // `source` names the files ("the dropped files"); `replacements` are (entry name, file) in the order
    // they will be replaced.
    FolderReplaceDialog(const QString &source, const QList<QPair<QString, QString>> &replacements,
                        const QList<FolderReplace::Mismatch> &unmatched, QWidget *pParent = nullptr);

    // The lists in words, one line each: "entry <- file", then "file: reason".
    QString Text() const;

private:
    QString text;
};
