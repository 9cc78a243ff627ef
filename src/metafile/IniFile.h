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
// Keys and short values are stored once however often they repeat, so a metafile of hundreds of
// thousands of key lines costs little more memory than its own text.
class IniFile
{
public:
    IniFile();
    ~IniFile();
    IniFile(const IniFile &) = delete;
    IniFile &operator=(const IniFile &) = delete;

    // False only when the file cannot be opened; nothing is read then. Lines are decoded with the
    // text stream's default decoding; bytes it cannot decode become replacement characters.
    bool Load(const QString &path);

    // Whether a section of that name was stored (the unnamed section is not one of them).
    bool HasSection(const QString &name) const;

    // The value of key in section, or in the unnamed section when section is empty; an empty
    // string when either is missing. The reference stays valid as long as this object.
    const QString &GetValue(const QString &section, const QString &key) const;

    // The names of all stored sections, in no particular order.
    QStringList SectionNames() const;

    // The number of keys in the section (the unnamed section when section is empty).
    int KeyCount(const QString &section) const;

    // Calls visit once for every key of the section (the unnamed section when section is empty),
    // in no particular order. The references stay valid as long as this object.
    void ForEachKey(const QString &section,
                    const std::function<void(const QString &key, const QString &value)> &visit) const;

private:
    struct Store;
    std::unique_ptr<Store> store;
    const QString defaultValue;
};
