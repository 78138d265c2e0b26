#include "files/filelist.h"

#include <algorithm>
#include <string>
#include <string_view>

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

bool AnyMatch(const QStringList &wildcards, QStringView foldedName)
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

int FileList::listCount() const { return listing()->count(); }

std::shared_ptr<const FileList::Listing> FileList::listing() const
{
    ensureListed();
    return m_listing;
}

void FileList::ensureListed() const
{
    if (!m_stale)
        return;
    m_stale = false;
    auto listing = std::make_shared<Listing>();
    m_listing = listing;
    listing->folder = m_path;
    if (m_path.isEmpty())
        return;
    const bool withFacts = NeedsFacts(m_order);
    auto listed = m_fileSystem.listFiles(m_path, withFacts, m_order == Order::Taken ? m_dateTaken : FileSystem::DateTaken());
    if (!listed)
        return;
    listing->nativeFolder = listed->nativeFolder;
    std::vector<NativeNames::Listed> *files = &listed->names;
    // Matched and sorted by the case-folded names, each folded once into
    // one buffer (sorting a large folder then reads memory in order).
    std::u16string folded;
    struct Kept
    {
        qsizetype file;
        qsizetype at;
        qsizetype length;
    };
    std::vector<Kept> kept;
    kept.reserve(files->size());
    for (qsizetype i = 0; i < qsizetype(files->size()); ++i) {
        const QString &shown = (*files)[i].shown;
        const qsizetype at = qsizetype(folded.size());
        if (std::all_of(shown.begin(), shown.end(), [](QChar c) { return c.unicode() < 0x80; })) {
            for (const QChar c : shown)
                folded.push_back(c >= QLatin1Char('A') && c <= QLatin1Char('Z') ? c.unicode() + 32 : c.unicode());
        } else {
            const QString name = shown.toCaseFolded();
            folded.append(reinterpret_cast<const char16_t *>(name.constData()), size_t(name.size()));
        }
        const QStringView name(folded.data() + at, qsizetype(folded.size()) - at);
        if (AnyMatch(m_wildcards, name))
            kept.push_back(Kept{i, at, name.size()});
        else
            folded.resize(size_t(at));
    }
    const auto foldedOf = [&](const Kept &k) { return std::u16string_view(folded).substr(size_t(k.at), size_t(k.length)); };
    std::sort(kept.begin(), kept.end(), [&](const Kept &a, const Kept &b) {
        const int byFolded = foldedOf(a).compare(foldedOf(b));
        return byFolded != 0 ? byFolded < 0 : (*files)[a.file].shown < (*files)[b.file].shown;
    });
    listing->entries.reserve(qsizetype(kept.size()));
    listing->natives.reserve(kept.size());
    for (const Kept &k : kept) {
        NativeNames::Listed &file = (*files)[k.file];
        listing->natives.push_back(file.asItIs ? QByteArray() : std::move(file.native));
        listing->entries.append(std::move(file.shown));
        if (withFacts && size_t(k.file) < listed->facts.size())
            listing->facts.push_back(listed->facts[size_t(k.file)]);
    }
    listing->takenRead = withFacts && m_order == Order::Taken && m_dateTaken;
    if (m_order != Order::Name || m_reversed)
        m_listing = Reordered(*listing, OrderOf(*listing, m_order, m_reversed));
}

void FileList::setOrder(Order order, bool reversed)
{
    m_order = order;
    m_reversed = reversed;
    refresh();
}

bool FileList::NaturalLess(QStringView a, QStringView b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            // The runs of digits, without their leading zeros, compared as numbers.
            qsizetype ai = i, bj = j;
            while (ai < a.size() && a[ai] == QLatin1Char('0'))
                ++ai;
            while (bj < b.size() && b[bj] == QLatin1Char('0'))
                ++bj;
            qsizetype ae = ai, be = bj;
            while (ae < a.size() && a[ae].isDigit())
                ++ae;
            while (be < b.size() && b[be].isDigit())
                ++be;
            if (ae - ai != be - bj)
                return ae - ai < be - bj;
            const int digits = a.mid(ai, ae - ai).compare(b.mid(bj, be - bj));
            if (digits != 0)
                return digits < 0;
            i = ae;
            j = be;
            continue;
        }
        const QChar x = a[i].toCaseFolded();
        const QChar y = b[j].toCaseFolded();
        if (x != y)
            return x < y;
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::vector<int> FileList::OrderOf(const Listing &listing, Order order, bool reversed)
{
    std::vector<int> permutation(size_t(listing.count()));
    for (int k = 0; k < listing.count(); ++k)
        permutation[size_t(k)] = k;
    const bool facts = listing.facts.size() == size_t(listing.count());
    const auto ending = [&](int k) {
        const QString &name = listing.entries.at(k);
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        return dot < 0 ? QString() : name.mid(dot + 1).toCaseFolded();
    };
    // By name first (a listing may come in another order), which a stable
    // sort keeps as the second key.
    std::vector<QString> folded;
    folded.reserve(permutation.size());
    for (const QString &name : listing.entries)
        folded.push_back(name.toCaseFolded());
    std::stable_sort(permutation.begin(), permutation.end(), [&](int a, int b) {
        const int byFolded = folded[size_t(a)].compare(folded[size_t(b)]);
        return byFolded != 0 ? byFolded < 0 : listing.entries.at(a) < listing.entries.at(b);
    });
    switch (order) {
    case Order::Name: break;
    case Order::Natural:
        std::stable_sort(permutation.begin(), permutation.end(),
                         [&](int a, int b) { return NaturalLess(listing.entries.at(a), listing.entries.at(b)); });
        break;
    case Order::Modified:
    case Order::Taken:
    case Order::Size:
        if (!facts)
            break;
        std::stable_sort(permutation.begin(), permutation.end(), [&](int a, int b) {
            const FileSystem::Facts &x = listing.facts[size_t(a)];
            const FileSystem::Facts &y = listing.facts[size_t(b)];
            return order == Order::Modified ? x.modified < y.modified
                   : order == Order::Taken  ? x.taken < y.taken
                                            : x.length < y.length;
        });
        break;
    case Order::Type:
        std::stable_sort(permutation.begin(), permutation.end(), [&](int a, int b) { return ending(a) < ending(b); });
        break;
    }
    if (reversed)
        std::reverse(permutation.begin(), permutation.end());
    return permutation;
}

std::shared_ptr<FileList::Listing> FileList::Reordered(const Listing &listing, const std::vector<int> &permutation)
{
    auto reordered = std::make_shared<Listing>();
    reordered->folder = listing.folder;
    reordered->nativeFolder = listing.nativeFolder;
    reordered->takenRead = listing.takenRead;
    reordered->entries.reserve(qsizetype(permutation.size()));
    reordered->natives.reserve(permutation.size());
    const bool facts = listing.facts.size() == size_t(listing.count());
    for (const int k : permutation) {
        reordered->entries.append(listing.entries.at(k));
        reordered->natives.push_back(listing.natives[size_t(k)]);
        if (facts)
            reordered->facts.push_back(listing.facts[size_t(k)]);
    }
    return reordered;
}

QString FileList::list(int index) const
{
    const std::shared_ptr<const Listing> entries = listing();
    if (index < 0 || index >= entries->count())
        return QString();
    return entries->entries.at(index);
}

QByteArray FileList::nativePath(int index) const { return listing()->nativePath(index); }

QByteArray FileList::Listing::nativePath(int index) const
{
    if (index < 0 || index >= count() || nativeFolder.isEmpty())
        return QByteArray();
    return NativeFile::Join(nativeFolder, nativeName(index));
}

QByteArray FileList::Listing::nativeName(int index) const
{
    if (index < 0 || index >= count())
        return QByteArray();
    const QByteArray &native = natives[static_cast<size_t>(index)];
    return native.isEmpty() ? entries.at(index).toUtf8() : native;
}

QString FileList::Listing::windowsPath(int index) const
{
    if (index < 0 || index >= count())
        return QString();
    return folder + QLatin1Char('\\') + entries.at(index);
}
