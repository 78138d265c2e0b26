#include "files/filesystem.h"

#include <QRegularExpression>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

struct FileSystem::Listing
{
    std::mutex lock;
    std::condition_variable listed;
    bool done = false;
    std::optional<std::vector<NativeFile::Entry>> entries;
};

std::optional<std::vector<NativeFile::Entry>> FileSystem::ListOnce(const QByteArray &folder) const
{
    std::shared_ptr<Listing> listing;
    bool first = false;
    {
        const std::lock_guard<std::mutex> guard(m_listingsLock);
        listing = m_listings.value(folder);
        if (!listing) {
            listing = std::make_shared<Listing>();
            m_listings.insert(folder, listing);
            first = true;
        }
    }
    if (!first) {
        std::unique_lock<std::mutex> guard(listing->lock);
        listing->listed.wait(guard, [&] { return listing->done; });
        return listing->entries;
    }
    auto entries = NativeFile::List(folder);
    {
        const std::lock_guard<std::mutex> guard(m_listingsLock);
        m_listings.remove(folder);
    }
    {
        const std::lock_guard<std::mutex> guard(listing->lock);
        listing->entries = entries;
        listing->done = true;
    }
    listing->listed.notify_all();
    return entries;
}

std::optional<std::vector<FileSystem::Entry>> FileSystem::listFolder(const QByteArray &folder) const
{
    std::optional<std::vector<NativeFile::Entry>> entries = ListOnce(folder);
    if (!entries)
        return std::nullopt;
    const bool allPlain = std::all_of(entries->begin(), entries->end(),
                                      [](const NativeFile::Entry &entry) { return NativeNames::ShowsAsItIs(entry.name); });
    std::vector<Entry> listed;
    listed.reserve(entries->size());
    if (allPlain) {
        // The usual folder: every name shows as it is, in the system's order.
        for (NativeFile::Entry &entry : *entries)
            listed.push_back(
                Entry{NativeNames::Listed{QString::fromUtf8(entry.name), std::move(entry.name), true}, entry.kind});
        const std::lock_guard<std::mutex> lock(m_namesLock);
        m_shownNames.remove(folder);
        return listed;
    }
    std::vector<QByteArray> names;
    names.reserve(entries->size());
    for (const NativeFile::Entry &entry : *entries)
        names.push_back(entry.name);
    QHash<QString, QByteArray> remembered;
    QHash<QByteArray, NativeNames::Listed> listedOf;
    for (NativeNames::Listed &name : NativeNames::UniqueShownNames(std::move(names))) {
        if (!name.asItIs)
            remembered.insert(name.shown, name.native);
        listedOf.insert(name.native, name);
    }
    {
        const std::lock_guard<std::mutex> lock(m_namesLock);
        m_shownNames.insert(folder, std::move(remembered));
    }
    // In the system's order, as the listing gave them.
    for (const NativeFile::Entry &entry : *entries)
        listed.push_back(Entry{listedOf.value(entry.name), entry.kind});
    return listed;
}

QByteArray FileSystem::nativeName(const QByteArray &folder, const QString &shown) const
{
    std::optional<QByteArray> remembered;
    {
        const std::lock_guard<std::mutex> lock(m_namesLock);
        const auto known = m_shownNames.constFind(folder);
        if (known != m_shownNames.constEnd()) {
            const auto name = known->constFind(shown);
            if (name != known->constEnd())
                remembered = *name;
        }
    }
    if (remembered && NativeFile::Exists(NativeFile::Join(folder, *remembered)))
        return *remembered;
    const QByteArray direct = NativeNames::Bytes(shown);
    if (NativeNames::ShowsAsItIs(direct) && NativeFile::Exists(NativeFile::Join(folder, direct)))
        return direct;
    // No name that shows otherwise than it is shows as plain ASCII (they show
    // with Japanese text, "%XX", a stand-in or a number in brackets): a file
    // about to be made needs no listing.
    const bool plainAscii = std::all_of(shown.begin(), shown.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7F && c != QLatin1Char('%') && c != QLatin1Char('(');
    });
    if (plainAscii)
        return direct;
    // A name that does not show as it is: the folder's listing tells.
    if (const auto entries = listFolder(folder)) {
        for (const Entry &entry : *entries)
            if (entry.name.shown == shown)
                return entry.name.native;
    }
    return direct;
}

QString FileSystem::shownName(const QByteArray &folder, const QByteArray &name) const
{
    if (NativeNames::ShowsAsItIs(name))
        return QString::fromUtf8(name);
    if (const auto entries = listFolder(folder)) {
        for (const Entry &entry : *entries)
            if (entry.name.native == name)
                return entry.name.shown;
    }
    return NativeNames::Shown(name);
}

std::optional<QByteArray> FileSystem::toNativeNow(const QString &windowsPath) const
{
    if (windowsPath.size() < 2 || windowsPath[1] != QLatin1Char(':'))
        return std::nullopt;
    std::optional<QByteArray> native = m_drives.nativeRoot(windowsPath[0]);
    if (!native || !m_drives.answers(*native))
        return std::nullopt;
    for (const QString &part : windowsPath.mid(2).split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        if (part.contains(QLatin1Char('/')) || part.contains(QChar(0)) || part == QLatin1String(".") ||
            part == QLatin1String(".."))
            return std::nullopt;
        // A folder reached through C: may be a volume that does not answer.
        if (!m_drives.answers(NativeFile::Join(*native, NativeNames::Bytes(part))))
            return std::nullopt;
        native = NativeFile::Join(*native, nativeName(*native, part));
    }
    return native;
}

std::optional<QByteArray> FileSystem::toNative(const QString &windowsPath) const
{
    return ask<std::optional<QByteArray>>(QStringLiteral("native:") + windowsPath,
                                          [this, windowsPath] { return toNativeNow(windowsPath); })
        .value_or(std::nullopt);
}

std::optional<QString> FileSystem::toWindows(const QByteArray &nativePath) const
{
    return ask<std::optional<QString>>(QStringLiteral("windows:") + QString::fromLatin1(nativePath.toPercentEncoding()),
                                       [this, nativePath] { return toWindowsNow(nativePath); })
        .value_or(std::nullopt);
}

std::optional<QString> FileSystem::windowsFolder(const QByteArray &nativeFolder) const
{
    return ask<std::optional<QString>>(
               QStringLiteral("folder:") + QString::fromLatin1(nativeFolder.toPercentEncoding()),
               [this, nativeFolder]() -> std::optional<QString> {
                   if (!m_drives.answers(nativeFolder) || NativeFile::KindOf(nativeFolder) != NativeFile::Kind::Folder)
                       return std::nullopt;
                   return toWindowsNow(nativeFolder);
               })
        .value_or(std::nullopt);
}

std::optional<QString> FileSystem::toWindowsNow(const QByteArray &nativePath) const
{
    QByteArray clean = nativePath;
    while (clean.size() > 1 && clean.endsWith('/'))
        clean.chop(1);
    const std::optional<DriveTable::Placed> placed = m_drives.driveHolding(clean);
    // A drive without its medium (or gone since) holds nothing.
    const std::optional<QByteArray> root = placed ? m_drives.nativeRoot(placed->letter) : std::nullopt;
    if (!root || !m_drives.answers(clean))
        return std::nullopt;
    QByteArray folder = *root;
    QString windows = QStringLiteral("%1:\\").arg(placed->letter);
    bool first = true;
    for (const QByteArray &part : placed->rest.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..")
            return std::nullopt;
        windows += (first ? QString() : QStringLiteral("\\")) + shownName(folder, part);
        folder = NativeFile::Join(folder, part);
        first = false;
    }
    return windows;
}

std::optional<QStringList> FileSystem::subFoldersNow(const QString &windowsFolder) const
{
    const std::optional<QByteArray> folder = toNativeNow(windowsFolder);
    if (!folder || !NativeFile::IsReadableFolder(*folder))
        return std::nullopt;
    const auto entries = listFolder(*folder);
    if (!entries)
        return std::nullopt;
    // Broken links and link loops come with the system entries; only what
    // leads to a folder is one.
    QStringList names;
    for (const Entry &entry : *entries)
        if (entry.kind == NativeFile::Kind::Folder)
            names.append(entry.name.shown);
    return names;
}

std::optional<QStringList> FileSystem::listSubFolders(const QString &windowsFolder, bool *answered) const
{
    const auto answer = ask<std::optional<QStringList>>(QStringLiteral("folders:") + windowsFolder,
                                                        [this, windowsFolder] { return subFoldersNow(windowsFolder); });
    if (answered)
        *answered = answer.has_value();
    return answer.value_or(std::nullopt);
}

void FileSystem::prefetchSubFolders(const QStringList &windowsFolders) const
{
    if (!m_runner)
        return;
    for (const QString &windowsFolder : windowsFolders)
        m_runner->start(QStringLiteral("folders:") + windowsFolder,
                        std::make_shared<FileCallRunner::ResultCall<std::optional<QStringList>>>(
                            [this, windowsFolder] { return subFoldersNow(windowsFolder); }));
}

namespace {

FileSystem::Facts FactsOf(const QByteArray &path, const FileSystem::DateTaken &dateTaken)
{
    FileSystem::Facts facts;
    facts.modified = NativeFile::ModifiedSeconds(path).value_or(0);
    facts.length = NativeFile::Length(path).value_or(0);
    // A picture without a date of its own was taken when it was last written.
    facts.taken = (dateTaken ? dateTaken(path) : std::nullopt).value_or(facts.modified);
    return facts;
}

} // namespace

std::optional<std::vector<FileSystem::Facts>> FileSystem::factsOf(const QByteArray &nativeFolder,
                                                                  const std::vector<QByteArray> &names,
                                                                  DateTaken dateTaken) const
{
    using All = std::optional<std::vector<Facts>>;
    return ask<All>(QStringLiteral("facts:") + QString::fromLatin1(nativeFolder.toPercentEncoding()) +
                        QString::number(names.size()) + (dateTaken ? QStringLiteral(":taken") : QString()),
                    [this, nativeFolder, names, dateTaken]() -> All {
                        if (!m_drives.answers(nativeFolder))
                            return std::nullopt;
                        std::vector<Facts> all;
                        all.reserve(names.size());
                        for (const QByteArray &name : names)
                            all.push_back(FactsOf(NativeFile::Join(nativeFolder, name), dateTaken));
                        return all;
                    })
        .value_or(std::nullopt);
}

std::optional<FileSystem::Files> FileSystem::listFiles(const QString &windowsFolder, bool withFacts, DateTaken dateTaken) const
{
    const QString key = QStringLiteral("files:") + (withFacts ? QStringLiteral("facts:") : QString()) +
                        (dateTaken ? QStringLiteral("taken:") : QString()) + windowsFolder;
    return ask<std::optional<Files>>(key, [this, windowsFolder, withFacts, dateTaken]() -> std::optional<Files> {
               const std::optional<QByteArray> folder = toNativeNow(windowsFolder);
               if (!folder || !NativeFile::IsReadableFolder(*folder))
                   return std::nullopt;
               auto entries = listFolder(*folder);
               if (!entries)
                   return std::nullopt;
               Files files{*folder, {}, {}};
               files.names.reserve(entries->size());
               for (Entry &entry : *entries)
                   if (entry.kind == NativeFile::Kind::File && !entry.name.native.startsWith('.'))
                       files.names.push_back(std::move(entry.name));
               if (withFacts) {
                   files.facts.reserve(files.names.size());
                   for (const NativeNames::Listed &name : files.names)
                       files.facts.push_back(FactsOf(NativeFile::Join(*folder, name.native), dateTaken));
               }
               return files;
           })
        .value_or(std::nullopt);
}

bool FileSystem::isReadableFolderNow(const QString &windowsFolder) const
{
    const auto native = toNativeNow(windowsFolder);
    return native && NativeFile::IsReadableFolder(*native);
}

bool FileSystem::isReadableFolder(const QString &windowsFolder) const
{
    return ask<bool>(QStringLiteral("readable:") + windowsFolder, [this, windowsFolder] { return isReadableFolderNow(windowsFolder); })
        .value_or(false);
}

bool FileSystem::fileExists(const QString &windowsPath) const
{
    return ask<bool>(QStringLiteral("exists:") + windowsPath, [this, windowsPath] {
               const auto native = toNativeNow(windowsPath);
               return native && NativeFile::KindOf(*native) == NativeFile::Kind::File;
           })
        .value_or(false);
}

std::optional<qint64> FileSystem::fileLength(const QString &windowsPath) const
{
    return ask<std::optional<qint64>>(QStringLiteral("length:") + windowsPath, [this, windowsPath]() -> std::optional<qint64> {
               const auto native = toNativeNow(windowsPath);
               return native ? NativeFile::Length(*native) : std::nullopt;
           })
        .value_or(std::nullopt);
}

int FileSystem::deleteFiles(const QString &windowsPattern) const
{
    return ask<int>(QStringLiteral("delete:") + windowsPattern, [this, windowsPattern] {
               const qsizetype cut = windowsPattern.lastIndexOf(QLatin1Char('\\'));
               if (cut < 0)
                   return 0;
               const auto folder = toNativeNow(windowsPattern.left(cut));
               const auto entries = folder ? listFolder(*folder) : std::nullopt;
               if (!entries)
                   return 0;
               const QRegularExpression match(QRegularExpression::wildcardToRegularExpression(windowsPattern.mid(cut + 1)),
                                              QRegularExpression::CaseInsensitiveOption);
               int deleted = 0;
               for (const Entry &entry : *entries) {
                   if (entry.kind == NativeFile::Kind::File && match.match(entry.name.shown).hasMatch() &&
                       ::unlink(NativeFile::Join(*folder, entry.name.native).constData()) == 0)
                       ++deleted;
               }
               return deleted;
           })
        .value_or(0);
}

bool FileSystem::makeFolder(const QString &windowsFolder) const
{
    return ask<bool>(QStringLiteral("mkdir:") + windowsFolder, [this, windowsFolder] {
               const auto native = toNativeNow(windowsFolder);
               return native && ::mkdir(native->constData(), 0777) == 0;
           })
        .value_or(false);
}

bool FileSystem::removeFolder(const QString &windowsFolder) const
{
    return ask<bool>(QStringLiteral("rmdir:") + windowsFolder, [this, windowsFolder] {
               const auto native = toNativeNow(windowsFolder);
               return native && ::rmdir(native->constData()) == 0;
           })
        .value_or(false);
}
