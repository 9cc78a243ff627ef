#include "format/MetafileWriter.h"

#include "format/AtomicFile.h"

namespace kivo
{
void MetafileWriter::Section(const std::string &name)
{
    if (!text.empty())
        text += '\n';
    text += '[' + name + "]\n";
}

void MetafileWriter::Key(const std::string &key, const std::string &value)
{
    text += key + '=' + value + '\n';
}

void MetafileWriter::Key(const std::string &key, long long value)
{
    Key(key, std::to_string(value));
}

void MetafileWriter::Append(const MetafileWriter &other)
{
    if (!text.empty() && !other.text.empty())
        text += '\n';
    text += other.text;
}

void MetafileWriter::Save(const std::filesystem::path &path) const
{
    AtomicFile file(path);
    file.File().Write(text.data(), text.size());
    file.Commit();
}
}
