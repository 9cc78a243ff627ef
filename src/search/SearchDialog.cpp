#include "search/SearchDialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

#include <iterator>

#include "app/MainWindow.h"
#include "metafile/IniMetafileItem.h"
#include "metafile/IniMetafileModel.h"
#include "tree/XmlMetaData.h"

namespace
{
// Whether lower-casing would leave the text as it is, known without toLower's table lookups for
// the usual file name: ASCII without capitals.
bool IsOwnLowerCase(const QString &text)
{
    for (const QChar character : text) {
        const char16_t code = character.unicode();
        if (code >= 0x80 || (code >= u'A' && code <= u'Z'))
            return false;
    }
    return true;
}

bool LowerCasedContains(const QString &text, const QString &lowerSearchText)
{
    return IsOwnLowerCase(text) ? text.contains(lowerSearchText) : text.toLower().contains(lowerSearchText);
}
}

// The match test of Compare, set up once for a whole walk: the search text is lower-cased once,
// and in the metadata search the archive's part of the virtual path is built once.
class SearchDialog::EntryMatcher
{
public:
    EntryMatcher(const SearchDialog &dialog, const QString &searchText)
        : idsByPath(dialog.mainWindow->metaData.idsByPath)
        , textsById(dialog.mainWindow->metaData.textsById)
        // toLower applies the full case mapping (one character may become two), which a
        // case-insensitive compare would not.
        , lowerSearchText(searchText.toLower())
        , byMetadata(dialog.metadataCheckBox->checkState() == Qt::Checked)
        , finger(idsByPath.cend())
    {
        if (byMetadata) {
            // The virtual path of an index without entry is the archive's part alone; an empty
            // one means no archive is selected, and then no entry has metadata.
            archivePath = dialog.mainWindow->GetVirtualItemPath(QModelIndex());
            path = archivePath;
        }
    }

    bool Matches(const QModelIndex &index)
    {
        const auto *item = static_cast<const IniMetafileItem *>(index.internalPointer());
        if (!index.isValid() || !item)
            return false;
        if (!byMetadata)
            return LowerCasedContains(item->GetName(), lowerSearchText);
        if (archivePath.isEmpty())
            return false;
        const QString *id = IdOf(VirtualPath(item->GetName()));
        return id && TextMatches(*id);
    }

private:
    using IdMap = decltype(XmlMetaData::idsByPath);

    // Equal to the main window's virtual path of the entry, in a buffer used again and again.
    const QString &VirtualPath(const QString &name)
    {
        path.truncate(archivePath.size());
        path.append(name);
        if (name.contains(QLatin1Char('/')))
            path.replace(archivePath.size(), name.size(), QString(name).replace(QLatin1Char('/'), QLatin1Char('\\')));
        return path;
    }

    // The id the metadata keeps for a path, as XmlMetaData::GetText finds it; null when there is
    // none. A walk mostly visits entries in the order of their paths, so the neighbours of the
    // last one found are tried before a lookup in the whole map.
    const QString *IdOf(const QString &virtualPath)
    {
        if (finger != idsByPath.cend()) {
            auto next = std::next(finger);
            if (next != idsByPath.cend() && next.key() == virtualPath)
                return &*(finger = next);
            if (finger.key() == virtualPath)
                return &*finger;
        }
        const auto found = idsByPath.constFind(virtualPath);
        if (found == idsByPath.cend())
            return nullptr;
        finger = found;
        return &*finger;
    }

    // Many entries share one text: the result is kept per id, as GetText would give its text.
    bool TextMatches(const QString &id)
    {
        const auto known = resultsById.constFind(id);
        if (known != resultsById.cend())
            return *known;
        if (resultsById.size() >= maximumResults)
            resultsById.clear();
        const QString text = textsById.value(id);
        const bool matches = !text.isEmpty() && LowerCasedContains(text, lowerSearchText);
        resultsById.insert(id, matches);
        return matches;
    }

    static constexpr qsizetype maximumResults = 4096;

    const IdMap &idsByPath;
    const decltype(XmlMetaData::textsById) &textsById;
    const QString lowerSearchText;
    const bool byMetadata;
    QString archivePath;
    QString path;
    IdMap::const_iterator finger;
    QHash<QString, bool> resultsById;
};

SearchDialog::SearchDialog(MainWindow *pParent)
    : QFrame(pParent)
    , mainWindow(pParent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);

    findButton = new QPushButton(QStringLiteral("&Find"));
    findButton->setObjectName(QStringLiteral("findButton"));
    findNextButton = new QPushButton(QStringLiteral("Find &next"));
    findNextButton->setObjectName(QStringLiteral("findNextButton"));
    findPreviousButton = new QPushButton(QStringLiteral("Find &previous"));
    findPreviousButton->setObjectName(QStringLiteral("findPreviousButton"));
    searchEdit = new QLineEdit;
    searchEdit->setObjectName(QStringLiteral("searchEdit"));
    metadataCheckBox = new QCheckBox(QStringLiteral("Search by &metadata"));
    metadataCheckBox->setObjectName(QStringLiteral("metadataCheckBox"));

    auto *layout = new QHBoxLayout;
    layout->addWidget(searchEdit);
    layout->addWidget(metadataCheckBox);
    layout->addWidget(findButton);
    layout->addWidget(findNextButton);
    layout->addWidget(findPreviousButton);
    setLayout(layout);

    connect(findButton, &QPushButton::clicked, this, &SearchDialog::Search);
    connect(findNextButton, &QPushButton::clicked, this, &SearchDialog::SearchNext);
    connect(findPreviousButton, &QPushButton::clicked, this, &SearchDialog::SearchPrevious);
    connect(searchEdit, &QLineEdit::returnPressed, this, &SearchDialog::Search);
}

void SearchDialog::ForgetHits()
{
    found = false;
    mainWindow->searchIndex = QModelIndex();
}

IniMetafileModel *SearchDialog::BeginCommand(QString &searchText)
{
    if (!mainWindow->ContentAvailable())
        return nullptr;
    auto *model = qobject_cast<IniMetafileModel *>(mainWindow->entryView->model());
    if (!model)
        return nullptr;
    searchText = searchEdit->text();
    if (!CheckLastsearchText(searchText))
        found = false;
    return model;
}

void SearchDialog::Search()
{
    QString searchText;
    IniMetafileModel *model = BeginCommand(searchText);
    if (!model)
        return;
    QModelIndex position = model->index(0, 0);
    mainWindow->searchIndex = position;
    SearchFrom(position, model, searchText, true);
}

void SearchDialog::SearchNext()
{
    QString searchText;
    IniMetafileModel *model = BeginCommand(searchText);
    if (!model)
        return;
    // Persistent in the window: a position in a model that has gone is no position at all.
    QModelIndex position = mainWindow->searchIndex;
    if (position.isValid()) {
        const QModelIndex parent = position.parent();
        const QModelIndex next = model->index(position.row() + 1, position.column(), parent);
        if (next.isValid()) {
            position = next;
        } else if (parent.isValid()) {
            const QModelIndex nextParent = model->index(parent.row() + 1, parent.column(), parent.parent());
            position = nextParent.isValid() ? nextParent : model->index(0, 0);
        } else if (found) {
            position = model->index(0, 0);
        } else {
            return;
        }
    } else {
        position = model->index(0, 0);
    }
    mainWindow->searchIndex = position;
    SearchFrom(position, model, searchText, true);
}

void SearchDialog::SearchPrevious()
{
    QString searchText;
    IniMetafileModel *model = BeginCommand(searchText);
    if (!model)
        return;
    QModelIndex position = mainWindow->searchIndex;
    if (position.isValid()) {
        const QModelIndex parent = position.parent();
        const QModelIndex previous = model->index(position.row() - 1, position.column(), parent);
        if (previous.isValid()) {
            position = previous;
            mainWindow->searchIndex = position;
            SearchFrom(position, model, searchText, false);
            return;
        }
        if (parent.isValid()) {
            const QModelIndex grandParent = parent.parent();
            const QModelIndex previousParent = model->index(parent.row() - 1, parent.column(), grandParent);
            if (previousParent.isValid()) {
                position = previousParent;
                mainWindow->searchIndex = position;
                SearchFrom(position, model, searchText, false);
            } else {
                QModelIndex lastParent = model->index(model->rowCount(grandParent) - 1, parent.column(), grandParent);
                SearchFrom(lastParent, model, searchText, false);
            }
            return;
        }
    }
    if (found) {
        QModelIndex last = model->index(model->rowCount() - 1, 0);
        SearchFrom(last, model, searchText, false);
    }
}

void SearchDialog::SearchFrom(QModelIndex &index, IniMetafileModel *pModel, const QString &searchText, bool bForward)
{
    if (searchText.isEmpty() || !index.isValid() || !pModel)
        return;
    const int step = bForward ? 1 : -1;
    // A loop, not a call per entry: the number of entries has no bound. The parent is carried
    // along because asking the model for it costs a search through the bank list.
    QModelIndex position = index;
    QModelIndex parent = position.parent();
    bool wrapped = false;
    EntryMatcher matcher(*this, searchText);
    while (position.isValid()) {
        for (int children = pModel->rowCount(position); children > 0; children = pModel->rowCount(position)) {
            parent = position;
            position = pModel->index(bForward ? 0 : children - 1, 0, parent);
        }
        if (matcher.Matches(position)) {
            mainWindow->entryView->setCurrentIndex(position);
            mainWindow->searchIndex = position;
            found = true;
            return;
        }
        const QModelIndex sibling = pModel->index(position.row() + step, position.column(), parent);
        if (sibling.isValid()) {
            position = sibling;
            continue;
        }
        if (parent.isValid()) {
            const QModelIndex grandParent = parent.parent();
            const QModelIndex parentSibling = pModel->index(parent.row() + step, parent.column(), grandParent);
            if (parentSibling.isValid()) {
                position = parentSibling;
                parent = grandParent;
                continue;
            }
        } else if (!found) {
            mainWindow->searchIndex = QModelIndex();
            return;
        }
        // Only a search that has hit before wraps around, and only once: back at the wrap point
        // without a hit means nothing matches any more.
        if (!found || wrapped)
            return;
        wrapped = true;
        parent = QModelIndex();
        position = bForward ? pModel->index(0, 0) : pModel->index(pModel->rowCount() - 1, 0);
    }
}

bool SearchDialog::CheckLastsearchText(QString newSearchText)
{
    if (!lastSearchText.isEmpty() && lastSearchText == newSearchText)
        return true;
    lastSearchText = newSearchText;
    return false;
}

bool SearchDialog::Compare(QModelIndex index, QString searchText)
{
    return EntryMatcher(*this, searchText).Matches(index);
}

void SearchDialog::SetKeyboardFocus()
{
    searchEdit->setFocus();
}

void SearchDialog::SelectSearchtext()
{
    searchEdit->selectAll();
}
