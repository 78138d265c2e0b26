#include "platform/filelist.h"

#include <algorithm>
#include <numeric>

namespace {

QStringList Wildcards(const QString &pattern)
{
    QStringList wildcards;
    for (const QString &piece : pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString wildcard = piece.trimmed();
        if (!wildcard.isEmpty())
            wildcards.append(wildcard.toCaseFolded());
    }
    return wildcards;
}

// "*" any run, "?" any one character; both texts case-folded.
bool Matches(QStringView name, QStringView wildcard)
{
    qsizetype n = 0, w = 0, starAt = -1, resume = 0;
    while (n < name.size()) {
        if (w < wildcard.size() && (wildcard[w] == QLatin1Char('?') || wildcard[w] == name[n])) {
            ++n;
            ++w;
        } else if (w < wildcard.size() && wildcard[w] == QLatin1Char('*')) {
            starAt = w++;
            resume = n;
        } else if (starAt >= 0) {
            w = starAt + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (w < wildcard.size() && wildcard[w] == QLatin1Char('*'))
        ++w;
    return w == wildcard.size();
}

bool AnyMatch(const QStringList &wildcards, const QString &foldedName)
{
    return std::any_of(wildcards.begin(), wildcards.end(),
                       [&](const QString &wildcard) { return Matches(foldedName, wildcard); });
}

} // namespace

FileList::FileList(const FileSystem &fileSystem, QObject *parent)
    : QObject(parent), m_fileSystem(fileSystem), m_wildcards(Wildcards(m_pattern))
{
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
    m_wildcards = Wildcards(pattern);
    refresh();
}

bool FileList::matchesPattern(const QString &name, const QString &pattern)
{
    return AnyMatch(Wildcards(pattern), name.toCaseFolded());
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
    m_natives.clear();
    m_nativeFolder.clear();
    if (m_path.isEmpty())
        return;
    auto files = m_fileSystem.listFiles(m_path);
    if (!files)
        return;
    m_nativeFolder = m_fileSystem.toNative(m_path).value_or(QByteArray());
    // Matched and sorted by the case-folded names, each folded once.
    std::vector<QString> folded;
    std::vector<qsizetype> kept;
    folded.reserve(files->size());
    for (qsizetype i = 0; i < qsizetype(files->size()); ++i) {
        QString name = (*files)[i].shown.toCaseFolded();
        if (AnyMatch(m_wildcards, name)) {
            kept.push_back(i);
            folded.push_back(std::move(name));
        }
    }
    std::vector<qsizetype> order(kept.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const int byFolded = folded[a].compare(folded[b]);
        return byFolded != 0 ? byFolded < 0 : (*files)[kept[a]].shown < (*files)[kept[b]].shown;
    });
    m_entries.reserve(qsizetype(order.size()));
    m_natives.reserve(order.size());
    for (const qsizetype position : order) {
        NativeNames::Listed &file = (*files)[kept[position]];
        m_natives.push_back(NativeNames::ShowsAsItIs(file.native) ? QByteArray() : std::move(file.native));
        m_entries.append(std::move(file.shown));
    }
}

QString FileList::list(int index) const
{
    ensureListed();
    if (index < 0 || index >= m_entries.size())
        return QString();
    return m_entries.at(index);
}

QByteArray FileList::nativePath(int index) const
{
    ensureListed();
    if (index < 0 || index >= m_entries.size() || m_nativeFolder.isEmpty())
        return QByteArray();
    const QByteArray &native = m_natives[static_cast<size_t>(index)];
    return NativeFile::Join(m_nativeFolder, native.isEmpty() ? m_entries.at(index).toUtf8() : native);
}
