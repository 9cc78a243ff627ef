#pragma once
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// Reads the INI files that the archive toolkit writes, once, and answers lookups afterwards.
// Owns every section, key and value it read.
//
// The syntax it accepts is the toolkit's, not the usual INI dialect:
// - "[name]" is a header only when the line starts with "[" and ends with "]" as read; the name is
//   not trimmed, so "[ Archive ]" is a different section from "[Archive]".
// - Any other line holding "=" is a key line, split at the first "=", key and value trimmed. An
//   empty key is ignored; there are no comments.
// - Keys go into the current collection. At a header the collection is stored under the previous
//   header's name only when a header came before and the collection has a key; otherwise it carries
//   on under the new name. So a keyless section followed by a header does not exist, but a keyless
//   last section does, and keys before the first header belong to the first section.
// - Without any header the keys form the unnamed section, reached with the section name "".
// - A repeated section or key merges: the later value wins.
//
// Keys, and short values that repeat, are stored once, so a metafile of hundreds of thousands of
// key lines costs little more memory than its own text. Lookups may build indexes on the side:
// one object is not for several threads at once.
class IniFile
{
public:
    IniFile();
    ~IniFile();
    IniFile(const IniFile &) = delete;
    IniFile &operator=(const IniFile &) = delete;

    // False only when the file cannot be opened; nothing is read then. Lines end at "\n" and lose
    // every "\r", as in text mode. They are decoded as UTF-8, as a text stream does by default
    // (a UTF-16 or UTF-32 byte order mark switches, as there); bytes that cannot be decoded
    // become replacement characters and never swallow a line end.
    bool Load(const QString &path);

    // Whether a section of that name was stored (the unnamed section is not one of them).
    bool HasSection(const QString &name) const;

    // The value of key in section, or in the unnamed section when section is empty; an empty
    // string when either is missing. The reference stays valid as long as this object.
    const QString &GetValue(const QString &section, const QString &key) const;

    // The names of all stored sections, in no particular order.
    QStringList SectionNames() const;

    // A section can be found once and then read by its handle, which spares looking its name up
    // again: a stored section, or the unnamed one for "". -1 when there is no such section; the
    // functions below take -1 for a section without keys. Handles belong to this object only.
    int FindSection(const QString &name) const;
    const QString &GetValue(int section, const QString &key) const;
    int KeyCount(int section) const;

    // Likewise a key, for reading many sections by the same keys: -1 when no section has it.
    int FindKey(const QString &key) const;
    const QString &GetValue(int section, int key) const;

    // A value's text, and the string that holds it when there is one to share: short values are
    // kept without one, and GetValue makes one for them only when asked.
    struct ValueView
    {
        QStringView text;
        const QString *pString = nullptr;
        QString ToString() const { return pString ? *pString : text.toString(); }
    };
    // The text of a value, for reading it without making a string of it; empty when missing.
    QStringView GetText(int section, const QString &key) const;
    QStringView GetText(int section, int key) const;
    // Calls visit once for every key of the section, in no particular order. Views and references
    // stay valid as long as this object.
    void ForEachKey(int section, const std::function<void(const QString &key, const ValueView &value)> &visit) const;

private:
    struct Store;
    std::unique_ptr<Store> store;
    const QString defaultValue;
};
