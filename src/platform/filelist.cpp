#include "platform/filelist.h"

#include <algorithm>

namespace {

std::vector<QRegularExpression> compile(const QString &pattern)
{
    std::vector<QRegularExpression> compiled;
    for (const QString &piece : pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString wildcard = piece.trimmed();
        if (!wildcard.isEmpty())
            compiled.emplace_back(QRegularExpression::wildcardToRegularExpression(wildcard),
                                  QRegularExpression::CaseInsensitiveOption);
    }
    return compiled;
}

bool anyMatch(const std::vector<QRegularExpression> &compiled, const QString &name)
{
    return std::any_of(compiled.begin(), compiled.end(),
                       [&](const QRegularExpression &expression) { return expression.match(name).hasMatch(); });
}

} // namespace

FileList::FileList(const FileSystem &fileSystem, QObject *parent)
    : QObject(parent), m_fileSystem(fileSystem)
{
    compilePattern();
}

bool FileList::setPath(const QString &windowsFolder)
{
    if (!m_fileSystem.isReadableFolder(windowsFolder))
        return false;
    const bool changed = windowsFolder != m_path;
    m_path = windowsFolder;
    refresh();
    if (changed)
        emit pathChanged();
    return true;
}

void FileList::setPattern(const QString &pattern)
{
    m_pattern = pattern;
    compilePattern();
    refresh();
}

void FileList::compilePattern() { m_compiled = compile(m_pattern); }

bool FileList::matchesPattern(const QString &name, const QString &pattern)
{
    return anyMatch(compile(pattern), name);
}

void FileList::refresh() { m_stale = true; }

int FileList::listCount() const
{
    ensureListed();
    return static_cast<int>(m_entries.size());
}

void FileList::ensureListed() const
{
    if (!m_stale)
        return;
    m_stale = false;
    m_entries.clear();
    if (m_path.isEmpty())
        return;
    const auto files = m_fileSystem.listFiles(m_path);
    if (!files)
        return;
    for (const QString &name : *files)
        if (anyMatch(m_compiled, name))
            m_entries.append(name);
    std::sort(m_entries.begin(), m_entries.end(), [](const QString &a, const QString &b) {
        const int order = a.compare(b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
}

QString FileList::list(int index) const
{
    ensureListed();
    if (index < 0 || index >= m_entries.size())
        return QString();
    return m_entries.at(index);
}
