#include "favourites/favourites.h"

#include "app/form1.h"
#include "app/programstate.h"
#include "app/settings.h"
#include "platform/filelist.h"
#include "platform/platformcontext.h"
#include "tree/foldernavigation.h"
#include "tree/keyedtree.h"
#include "tree/winapi.h"

#include <QAction>
#include <QMenu>

Favourites::Favourites(Form1 &mainWindow, ProgramState &state, QObject *parent)
    : QObject(parent), m_main(mainWindow), m_state(state)
{
}

std::optional<QString> Favourites::PathOfKey(const QString &key) const
{
    if (key == QLatin1String("ROOT\\"))
        return winapi::SpecialFolderPath(m_main.context(), 0);
    if (key == QLatin1String("MyDoc\\"))
        return winapi::SpecialFolderPath(m_main.context(), 5);
    if (key == QLatin1String("MyCom\\"))
        return std::nullopt;
    if (key.endsWith(QLatin1String("\\\\")))
        return key.left(key.size() - 2);
    return key;
}

void Favourites::AddFavourite()
{
    PlatformContext &context = m_main.context();
    if (m_state.FavCount >= MaximumCount) {
        context.messageBox->show(&m_main, QStringLiteral("30個までしか登録できません。"), QStringLiteral("KuRoEView"),
                                 MessageBoxService::Icon::None);
        return;
    }
    const QString key = m_main.TreeView1->selectedKey();
    const std::optional<QString> path = PathOfKey(key);
    if (!path) {
        context.messageBox->show(&m_main, QStringLiteral("マイコンピュータは追加できません。"), QStringLiteral("情報"),
                                 MessageBoxService::Icon::Information);
        return;
    }
    // A special folder the desktop does not have gives no path; an empty
    // favourite could not be opened, and as the first entry it would hide
    // every other one at the next start.
    if (path->isEmpty())
        return;
    const int count = m_state.FavCount;
    const bool created = count > 0 && count >= m_main.MenuLikePlus.size();
    if (created)
        m_main.CreateFavouriteEntry(count);
    for (int i = 0; i < count && i < m_main.MenuLikePlus.size(); ++i) {
        if (!path->isEmpty() && *path == m_main.MenuLikePlus[i]->text()) {
            context.messageBox->show(&m_main, QStringLiteral("すでに登録されています。"), QStringLiteral("KuRoEView"),
                                     MessageBoxService::Icon::None);
            if (created)
                m_main.RemoveFavouriteEntry(count);
            return;
        }
    }
    if (count >= m_main.MenuLikePlus.size())
        return;
    QAction *entry = m_main.MenuLikePlus[count];
    entry->setVisible(true);
    entry->setText(*path);
    for (int i = 0; i <= count; ++i)
        WriteSetting(context.profile, QStringLiteral("FAV"), FavouriteKey(i), m_main.MenuLikePlus[i]->text());
    WriteSetting(context.profile, QStringLiteral("FAV2"), QStringLiteral("CNT"), QString::number(count));
    m_state.FavCount = static_cast<std::int16_t>(count + 1);
}

void Favourites::OKINIIRICLK(int index)
{
    m_main.setCursor(Qt::WaitCursor);
    if (index >= 0 && index < m_main.MenuLikePlus.size()) {
        const QString path = m_main.MenuLikePlus[index]->text();
        m_main.navigation()->SelectPathInTree(path);
        m_main.File1->setPath(path);
        m_main.window.CurrentPath = path;
    }
    m_main.unsetCursor();
}

void Favourites::RebuildMenu(int deletedBase)
{
    for (int i = std::min<int>(deletedBase, m_main.MenuLikePlus.size() - 1); i >= 0; --i) {
        m_main.MenuLikePlus[i]->setVisible(false);
        if (i > 0)
            m_main.RemoveFavouriteEntry(i);
    }
    for (int i = 0; i <= m_state.FavCount && i <= MaximumCount; ++i) {
        if (i >= m_main.MenuLikePlus.size())
            m_main.CreateFavouriteEntry(i);
        if (i >= m_main.MenuLikePlus.size())
            break;
        m_main.MenuLikePlus[i]->setVisible(true);
        m_main.MenuLikePlus[i]->setText(m_state.FavPath[i]);
    }
    if (m_main.MenuLikePlus[0]->text().isEmpty()) {
        m_main.MenuLikePlus[0]->setVisible(false);
        m_state.FavCount = 0;
    } else {
        m_state.FavCount = static_cast<std::int16_t>(m_state.FavCount + 1);
    }
}
