#include "app/GameCheckReport.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <functional>

#include "app/WindowFeedback.h"
#include "dialogs/UserDialogs.h"

namespace
{
QString StateText(GameAudioCheck::State state)
{
    switch (state) {
    case GameAudioCheck::State::Ok:
        return QStringLiteral("OK");
    case GameAudioCheck::State::Changed:
        return QStringLiteral("Changed");
    case GameAudioCheck::State::Problem:
        break;
    }
    return QStringLiteral("Problem");
}
}

GameCheckReport *GameCheckReport::CheckAndShow(QWidget *pParent, const QList<GameArchive> &archives,
                                               const QString &workingDirectory)
{
    WindowFeedback feedback(pParent);
    const std::optional<QList<GameAudioCheck::Row>> checked = GameAudioCheck::Run(feedback, archives, workingDirectory);
    if (!checked)
        return nullptr;
    auto *report = new GameCheckReport(*checked, archives, workingDirectory, pParent);
    report->setAttribute(Qt::WA_DeleteOnClose);
    report->show();
    return report;
}

GameCheckReport::GameCheckReport(const QList<GameAudioCheck::Row> &checked, const QList<GameArchive> &archives,
                                 const QString &folder, QWidget *pParent)
    : QDialog(pParent), rows(checked), all(archives), workingDirectory(folder)
{
    setObjectName(QStringLiteral("gameCheckReport"));
    setWindowTitle(QStringLiteral("Check game audio"));
    CreateWidgets();
    for (int index = 0; index < rows.size(); ++index)
        ShowRow(index);
    for (int index = 0; index < rows.size() && !view->currentItem(); ++index)
        if (rows[index].state == GameAudioCheck::State::Problem)
            view->setCurrentItem(view->topLevelItem(index));
    UpdateSelection();
}

void GameCheckReport::CreateWidgets()
{
    view = new QTreeWidget(this);
    view->setObjectName(QStringLiteral("gameCheckView"));
    view->setHeaderLabels({QStringLiteral("Archive"), QStringLiteral("State"), QStringLiteral("Details")});
    view->setWordWrap(true);
    view->header()->setStretchLastSection(true);
    view->setColumnWidth(0, 200);
    connect(view, &QTreeWidget::currentItemChanged, this, [this] { UpdateSelection(); });
    // A finding is a sentence or two, longer than a row shows: those of the selected archive are
    // shown whole below the list.
    details = new QLabel(this);
    details->setObjectName(QStringLiteral("gameCheckDetails"));
    details->setWordWrap(true);
    details->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    growButton = buttons->addButton(QStringLiteral("Grow sound buffer slots"), QDialogButtonBox::ActionRole);
    putInPlaceButton = buttons->addButton(QStringLiteral("Put in place"), QDialogButtonBox::ActionRole);
    restoreButton = buttons->addButton(QStringLiteral("Restore original archive"), QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(growButton, &QPushButton::clicked, this, [this] {
        RunRepair(QStringLiteral("Grow sound buffer slots"),
                  QStringLiteral("Grow the slots of BankSlot.dat for the sounds that grew since the kept originals, as a save "
                                 "grows them? The present BankSlot.dat is kept as BankSlot.dat.bak."),
                  [this](const GameArchive &archive) {
                      WindowFeedback feedback(this);
                      return GameAudioCheck::GrowSlots(feedback, archive, all);
                  });
    });
    connect(putInPlaceButton, &QPushButton::clicked, this, [this] {
        RunRepair(QStringLiteral("Put in place"),
                  QStringLiteral("Put %1.new, which the lookup file describes, in the place of %1?"),
                  [this](const GameArchive &archive) {
                      WindowFeedback feedback(this);
                      return GameAudioCheck::PutInPlace(feedback, archive);
                  });
    });
    connect(restoreButton, &QPushButton::clicked, this, [this] {
        RunRepair(QStringLiteral("Restore original archive"),
                  QStringLiteral("Put the original %1 back into the game folder?\nEverything saved into it since will be lost."),
                  [this](const GameArchive &archive) {
                      WindowFeedback feedback(this);
                      QString warnings;
                      const bool bRestored = GameAudioCheck::RestoreOriginal(feedback, archive, all, warnings);
                      if (bRestored && !warnings.isEmpty())
                          feedback.Inform(QStringLiteral("Warning"), QStringLiteral("KIVO reported the following warnings:\n") + warnings);
                      return bRestored;
                  });
    });

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(view);
    layout->addWidget(details);
    layout->addWidget(buttons);
    resize(760, 420);
}

void GameCheckReport::ShowRow(int index)
{
    const GameAudioCheck::Row &row = rows[index];
    QTreeWidgetItem *item = view->topLevelItem(index);
    if (!item)
        item = new QTreeWidgetItem(view);
    qDeleteAll(item->takeChildren());
    item->setText(0, row.archive.Name());
    item->setText(1, StateText(row.state));
    QString details;
    if (row.state == GameAudioCheck::State::Changed)
        details = QStringLiteral("differs from its kept original since ")
                + QLocale().toString(row.changed, QLocale::ShortFormat);
    else if (row.state == GameAudioCheck::State::Problem)
        details = row.findings.size() == 1 ? QStringLiteral("1 finding") : QStringLiteral("%1 findings").arg(row.findings.size());
    item->setText(2, details);
    for (const QString &finding : row.findings) {
        auto *line = new QTreeWidgetItem(item, {finding});
        line->setFirstColumnSpanned(true);
        line->setToolTip(0, finding);
    }
    item->setExpanded(true);
}

int GameCheckReport::SelectedRow() const
{
    QTreeWidgetItem *item = view->currentItem();
    while (item && item->parent())
        item = item->parent();
    return item ? view->indexOfTopLevelItem(item) : -1;
}

void GameCheckReport::UpdateSelection()
{
    const int index = SelectedRow();
    details->setText(index < 0 ? QString() : rows[index].findings.join(QStringLiteral("\n")));
    const QList<GameAudioCheck::Repair> repairs = index < 0 ? QList<GameAudioCheck::Repair>() : rows[index].repairs;
    growButton->setEnabled(repairs.contains(GameAudioCheck::Repair::GrowSlots));
    putInPlaceButton->setEnabled(repairs.contains(GameAudioCheck::Repair::PutInPlace));
    restoreButton->setEnabled(repairs.contains(GameAudioCheck::Repair::RestoreOriginal));
}

void GameCheckReport::RunRepair(const QString &title, const QString &question,
                                const std::function<bool(const GameArchive &)> &repair)
{
    const int index = SelectedRow();
    if (index < 0)
        return;
    const GameArchive archive = rows[index].archive;
    if (UserDialogs::Question(this, title, question.arg(archive.Name()), QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes)
        return;
    emit AboutToChange(archive.TreeRow());
    repair(archive);
    // Checked again even after a failure: a repair cut short may have changed something all the same.
    for (int other = 0; other < rows.size(); ++other) {
        if (rows[other].archive.LookupFilePath() == archive.LookupFilePath()) {
            rows[other] = GameAudioCheck::Check(rows[other].archive, workingDirectory);
            ShowRow(other);
        }
    }
    UpdateSelection();
}
