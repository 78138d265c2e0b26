#include "favourites/favourites.h"

#include "core/mainwindowstate.h"
#include "core/programstate.h"
#include "core/settings.h"
#include "core/loadgate.h"
#include "files/filelist.h"
#include "platform/platformcontext.h"
#include "tree/foldernavigation.h"
#include "tree/keyedtree.h"
#include "tree/winapi.h"

#include <QAction>
#include <QMenu>
#include <QStringList>

Favourites::Favourites(const FavouritesParts &parts, QObject *parent)
    : QObject(parent), m_parts(parts), m_state(parts.state)
{
    CreateFavouriteEntry(0);
}

void Favourites::FillMenu()
{
    for (int i = 0; i <= m_state.FavCount && i <= MaximumCount; ++i) {
        if (i > 0 && i >= m_parts.favouriteEntries.size())
            CreateFavouriteEntry(i);
        m_parts.favouriteEntries[i]->setVisible(true);
        SetFavouritePath(i, m_state.FavPath[i]);
    }
    if (!FavouritePath(0).isEmpty())
        m_state.FavCount = static_cast<std::int16_t>(std::min<int>(m_state.FavCount + 1, m_parts.favouriteEntries.size()));
    else
        m_parts.favouriteEntries[0]->setVisible(false);
}

void Favourites::CreateFavouriteEntry(int index)
{
    if (index != m_parts.favouriteEntries.size())
        return;
    QAction *entry = m_parts.favouritesMenu->addAction(QString());
    entry->setObjectName(QStringLiteral("favouriteEntries"));
    connect(entry, &QAction::triggered, this,
            [this, entry] { OpenFavourite(static_cast<int>(m_parts.favouriteEntries.indexOf(entry))); });
    m_parts.favouriteEntries.append(entry);
}

void Favourites::RemoveFavouriteEntry(int index)
{
    if (index <= 0 || index >= m_parts.favouriteEntries.size())
        return;
    delete m_parts.favouriteEntries.takeAt(index);
}

int Favourites::EntryCount() const { return static_cast<int>(m_parts.favouriteEntries.size()); }

QString Favourites::FavouritePath(int index) const
{
    return index >= 0 && index < m_parts.favouriteEntries.size() ? m_parts.favouriteEntries[index]->data().toString()
                                                             : QString();
}

void Favourites::SetFavouritePath(int index, const QString &path)
{
    if (index < 0 || index >= m_parts.favouriteEntries.size())
        return;
    m_parts.favouriteEntries[index]->setData(path);
    m_parts.favouriteEntries[index]->setText(QString(path).replace(QLatin1Char('&'), QLatin1String("&&")));
}

bool Favourites::FirstEntryShown() const { return m_parts.favouriteEntries[0]->isVisible(); }

QStringList Favourites::ShownFavourites() const
{
    QStringList paths;
    for (int i = 0; i < m_parts.favouriteEntries.size(); ++i)
        if (m_parts.favouriteEntries[i]->isVisible() && !FavouritePath(i).isEmpty())
            paths.append(FavouritePath(i));
    return paths;
}

std::optional<QString> Favourites::PathOfKey(const QString &key) const
{
    if (key == QLatin1String("ROOT\\"))
        return winapi::SpecialFolderPath(m_parts.context, 0);
    if (key == QLatin1String("MyDoc\\"))
        return winapi::SpecialFolderPath(m_parts.context, 5);
    if (key == QLatin1String("MyCom\\"))
        return std::nullopt;
    if (key.endsWith(QLatin1String("\\\\")))
        return key.left(key.size() - 2);
    return key;
}

namespace {

// The favourites the settings file holds, in order, as read inside a write.
QStringList StoredFavourites(const ProfileStore::Transaction &file)
{
    const int last = LastFavouriteIndex(file.read(QStringLiteral("FAV2"), QStringLiteral("CNT"), QStringLiteral("0"))).value_or(0);
    QStringList paths;
    for (int i = 0; i <= last && i < Favourites::MaximumCount; ++i) {
        const QString path = file.read(QStringLiteral("FAV"), FavouriteKey(i), QString());
        if (!path.isEmpty() && !paths.contains(path))
            paths.append(path);
    }
    return paths;
}

} // namespace

void Favourites::AddFavourite()
{
    PlatformContext &context = m_parts.context;
    // The menu as it shows, not a count the settings dialog read back.
    QStringList list = ShownFavourites();
    if (list.size() >= MaximumCount) {
        ShowFullMessage();
        return;
    }
    const QString key = m_parts.treeView->selectedKey();
    const std::optional<QString> path = PathOfKey(key);
    if (!path) {
        context.messageBox->show(m_parts.mainWindow, QStringLiteral("マイコンピュータは追加できません。"), QStringLiteral("情報"),
                                 MessageBoxService::Icon::Information);
        return;
    }
    // A special folder the desktop does not have gives no path; an empty
    // favourite could not be opened, and as the first entry it would hide
    // every other one at the next start.
    if (path->isEmpty())
        return;

    // The list is rewritten whole inside one locked write. Favourites that
    // another running copy stored meanwhile are taken in first, so that
    // neither copy's favourites are lost; favourites of this menu that the
    // file lacks (an earlier write failed) stay. A refused add changes
    // nothing, in the file or the menu.
    enum class Refusal { None, Full, Duplicate } refusal = Refusal::None;
    bool decided = false;
    const auto decide = [&](QStringList merged) {
        decided = true;
        for (const QString &entry : ShownFavourites())
            if (!merged.contains(entry))
                merged.append(entry);
        if (merged.contains(*path))
            refusal = Refusal::Duplicate;
        else if (merged.size() >= MaximumCount)
            refusal = Refusal::Full;
        else
            list = merged + QStringList{*path};
        return refusal == Refusal::None;
    };
    context.profile.update([&](ProfileStore::Transaction &file) {
        if (!decide(StoredFavourites(file)))
            return false;
        for (int i = 0; i < list.size(); ++i)
            file.write(QStringLiteral("FAV"), FavouriteKey(i), list[i]);
        file.write(QStringLiteral("FAV2"), QStringLiteral("CNT"), QString::number(list.size() - 1));
        return true;
    });
    // A settings file that cannot be written: the menu shows the favourite
    // all the same, and the file lags behind until a later write succeeds.
    if (!decided)
        decide(QStringList());
    if (refusal == Refusal::Duplicate) {
        context.messageBox->show(m_parts.mainWindow, QStringLiteral("すでに登録されています。"), QStringLiteral("KuRoEView"),
                                 MessageBoxService::Icon::None);
        return;
    }
    if (refusal == Refusal::Full) {
        ShowFullMessage();
        return;
    }
    ShowList(list);
    emit added();
}

void Favourites::ShowFullMessage()
{
    m_parts.context.messageBox->show(m_parts.mainWindow, QStringLiteral("30個までしか登録できません。"), QStringLiteral("KuRoEView"),
                                      MessageBoxService::Icon::None);
}

void Favourites::ShowList(const QStringList &list)
{
    for (int i = 0; i < list.size(); ++i) {
        if (i >= m_parts.favouriteEntries.size())
            CreateFavouriteEntry(i);
        if (i >= m_parts.favouriteEntries.size())
            return;
        SetFavouritePath(i, list[i]);
        m_parts.favouriteEntries[i]->setVisible(true);
    }
    for (int i = static_cast<int>(m_parts.favouriteEntries.size()) - 1; i >= std::max<int>(1, list.size()); --i)
        RemoveFavouriteEntry(i);
    if (list.isEmpty())
        m_parts.favouriteEntries[0]->setVisible(false);
    m_state.FavCount = static_cast<std::int16_t>(list.size());
}

void Favourites::OpenFavourite(int index)
{
    if (index < 0 || index >= m_parts.favouriteEntries.size())
        return;
    // The entry's path is taken now: the menu may change while a load ends.
    m_parts.gate.whenIdle(LoadGate::Kind::Folder,
                                        [this, path = FavouritePath(index)] { OpenFolder(path); });
}

void Favourites::OpenFolder(const QString &path)
{
    m_parts.mainWindow->setCursor(Qt::WaitCursor);
    m_parts.navigation.SelectPathInTree(path);
    m_parts.fileList->setPath(path);
    m_parts.window.CurrentPath = path;
    m_parts.mainWindow->unsetCursor();
}

void Favourites::RebuildMenu(int deletedBase)
{
    for (int i = std::min<int>(deletedBase, m_parts.favouriteEntries.size() - 1); i >= 0; --i) {
        m_parts.favouriteEntries[i]->setVisible(false);
        if (i > 0)
            RemoveFavouriteEntry(i);
    }
    for (int i = 0; i <= m_state.FavCount && i <= MaximumCount; ++i) {
        if (i >= m_parts.favouriteEntries.size())
            CreateFavouriteEntry(i);
        if (i >= m_parts.favouriteEntries.size())
            break;
        m_parts.favouriteEntries[i]->setVisible(true);
        SetFavouritePath(i, m_state.FavPath[i]);
    }
    if (FavouritePath(0).isEmpty()) {
        m_parts.favouriteEntries[0]->setVisible(false);
        m_state.FavCount = 0;
    } else {
        m_state.FavCount = static_cast<std::int16_t>(m_state.FavCount + 1);
    }
}
