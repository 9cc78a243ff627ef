#pragma once
#include <filesystem>
#include <string>

namespace kivo
{
// Collects the text of a metafile and writes it in one go (under a temporary name first, so a
// failed export leaves no metafile that names files which were never written).
class MetafileWriter
{
public:
    void Section(const std::string &name);
    void Key(const std::string &key, const std::string &value);
    void Key(const std::string &key, long long value);
    // Adds the sections another writer collected (written separately, in parallel).
    void Append(const MetafileWriter &other);
    const std::string &Text() const { return text; }
    void Save(const std::filesystem::path &path) const;

private:
    std::string text;
};
}
