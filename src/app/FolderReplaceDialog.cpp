#include "app/FolderReplaceDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace
{
QTreeWidget *CreateList(const QStringList &headers)
{
    auto *list = new QTreeWidget;
    list->setHeaderLabels(headers);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    return list;
}
}

FolderReplaceDialog::FolderReplaceDialog(const QString &source, const QList<QPair<QString, QString>> &replacements,
                                         const QList<FolderReplace::Mismatch> &unmatched, QWidget *pParent)
    : QDialog(pParent)
{
    setWindowTitle(tr("Replace from folder"));
    auto *layout = new QVBoxLayout(this);

    auto *replaceLabel = new QLabel(tr("These entries will be replaced by %1:").arg(source));
    replaceLabel->setWordWrap(true);
    layout->addWidget(replaceLabel);
    QTreeWidget *replaceList = CreateList({tr("Entry"), tr("Replaced by")});
    replaceList->setObjectName(QStringLiteral("replaceList"));
    QStringList lines;
    for (const auto &[entry, file] : replacements) {
        replaceList->addTopLevelItem(new QTreeWidgetItem({entry, file}));
        lines << entry + QStringLiteral(" <- ") + file;
    }
    layout->addWidget(replaceList, 3);

    if (!unmatched.isEmpty()) {
        layout->addWidget(new QLabel(tr("These files match no entry and stay as they are:")));
        QTreeWidget *unmatchedList = CreateList({tr("File"), tr("Why")});
        unmatchedList->setObjectName(QStringLiteral("unmatchedList"));
        for (const FolderReplace::Mismatch &mismatch : unmatched) {
            unmatchedList->addTopLevelItem(new QTreeWidgetItem({mismatch.file, mismatch.reason}));
            lines << mismatch.file + QStringLiteral(": ") + mismatch.reason;
        }
        layout->addWidget(unmatchedList, 1);
    }

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    buttons->addButton(tr("&Replace"), QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(620, 420);
    text = lines.join(QLatin1Char('\n'));
}

QString FolderReplaceDialog::Text() const
{
    return text;
}
