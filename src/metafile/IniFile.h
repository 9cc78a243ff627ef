#pragma once
#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

// Reads the INI files that the archive toolkit writes, once, and answers lookups afterwards.
// Owns every section, key and value it read.
//
// The syntax it accepts is the toolkit's, not the usual INI dialect:
// - "[name]" is a header only when the line starts with "[" and ends with "]" as read; the name is
//   not trimmed, so "[ Archive ]" is a different section from "[Archive]".
// - Any other line holding "=" is a key line, split at the first "=", key and value trimmed of
//   Unicode blanks. An empty key is ignored; there are no comments.
// - Keys go into the current collection. At a header the collection is stored under the previous
//   header's name only when a header came before and the collection has a key; otherwise it carries
//   on under the new name. So a keyless section followed by a header does not exist, but a keyless
//   last section does, and keys before the first header belong to the first section.
// - Without any header the keys form the unnamed section, reached with the section name "".
// - A repeated section or key merges: the later value wins.
// The toolkit's own reader of these files follows the same rules.
class IniFile
{
public:
    // Keys and values are views into the text this object keeps, and all sections' entries lie
    // in one list: a metafile of millions of lines then costs its text and that list, not two
    // strings a line and a table a section.
    struct Entry
    {
        QStringView key;
        QStringView value;
    };

    // The entries of one section, sorted by key, each key once. Valid as long as the IniFile.
    class Section
    {
    public:
        // The value of key; empty when the section has no such key.
        QStringView value(QStringView key) const;
        const Entry *begin() const { return entries->data() + first; }
        const Entry *end() const { return entries->data() + last; }
        qsizetype size() const { return qsizetype(last - first); }

    private:
        friend class IniFile;
        const std::vector<Entry> *entries = nullptr;
        size_t first = 0;
        size_t last = 0;
    };

    IniFile() = default;
    IniFile(const IniFile &) = delete;  // its sections point into its own text and entries
    IniFile &operator=(const IniFile &) = delete;

    // False only when the file cannot be opened; nothing is read then. Lines end at "\n" and lose
    // every "\r", as in text mode. They are decoded as UTF-8 (a UTF-16 or UTF-32 byte order mark
    // switches, as in a text stream); bytes that cannot be decoded become replacement characters
    // and never swallow a line end.
    bool Load(const QString &path);

    // Whether a section of that name was stored (the unnamed section is not one of them).
    bool HasSection(const QString &name) const;

    // A stored section, or the unnamed one for ""; null when there is no such section.
    const Section *FindSection(QStringView name) const;

    // The value of key in section, or in the unnamed section when section is empty; an empty
    // string when either is missing.
    QString GetValue(const QString &section, const QString &key) const;

    // The names of all stored sections, in no particular order.
    QStringList SectionNames() const;

private:
    void Read();
    // Sorts the entries from first on by key, keeping the last of equal keys, and returns them
    // as a section.
    Section Close(size_t first);
    void Store(QStringView name, size_t first);

    QString text;
    std::vector<Entry> entries;
    QHash<QStringView, Section> sections;
    Section unnamed;
    bool bUnnamed = false;
};
