#include "catalogue/catalogue.h"

#include "widgets/commandtoolbar.h"
#include "core/programstate.h"
#include "widgets/statuspanels.h"
#include "core/winver.h"
#include "catalogue/sizetext.h"
#include "catalogue/thumbnailarea.h"
#include "platform/backgroundwork.h"
#include "files/filelist.h"
#include "files/nativefile.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"
#include "widgets/picturebox.h"
#include "core/loadgate.h"
#include "core/mainwindowstate.h"

#include <QAction>
#include <QFile>
#include <QHash>
#include <QLabel>
#include <QScrollBar>

Catalogue::Catalogue(const CatalogueParts &parts, QObject *parent)
    : QObject(parent), m_parts(parts), m_state(parts.state),
      m_keeper(m_parts,
               [this]() -> std::pair<int, int> {
                   const int columns = m_state.GridShape[0];
                   if (columns <= 0)
                       return {0, int(m_state.ThumbCount)};
                   const int first = m_parts.scrollBar->value() * columns;
                   // The row the area shows in part at its foot counts too.
                   return {first, first + (RowsInView() + 1) * columns};
               },
               [this] { return m_engine.shownFiles(); }),
      m_engine(m_parts, m_keeper)
{
    connect(m_parts.fileList, &FileList::pathChanged, this, &Catalogue::FolderChanged);
    connect(m_parts.scrollBar, &QScrollBar::valueChanged, this, &Catalogue::ScrollChanged);
    m_engine.listed = [this](const QByteArray &folder) { m_watch.watch(folder); };
    connect(&m_watch, &FolderWatch::changed, this, [this](const FolderWatch::Changes &changes) { Follow(changes, false); });
}

void Catalogue::Rebuild()
{
    ResetCatalogue();
    LoadThumbnails();
    ShowLoadResult();
}

void Catalogue::ResetCatalogue()
{
    PlatformContext &context = m_parts.context;
    ThumbnailArea &area = *m_parts.thumbnailArea;
    if (!m_state.TempPath.isEmpty())
        context.fileSystem.deleteFiles(m_state.TempPath + QStringLiteral("\\KRUtemp\\*.tmp"));
    m_state.SavedScroll = 0;
    ++m_parts.window.CatalogueResets;
    m_engine.forgetShownFiles();
    m_keeper.Reset();
    area.hide();
    area.pictureAt(0).visible = false;
    m_parts.window.SelectedIndex = -1;
    area.setCurrent(-1);
    m_parts.openAction->setEnabled(false);
    // The scroll handler runs, also when the value already is 0.
    if (m_parts.scrollBar->value() == 0)
        ScrollChanged(0);
    else
        m_parts.scrollBar->setValue(0);
    m_parts.scrollBar->hide();
    m_parts.fileList->setEnabled(false);
    area.cellAt(0).background = ThumbnailArea::CellGrey;
    if (m_state.ThumbCount != 0) {
        // The records stay, blank; their texts are freed off the window thread.
        std::vector<ThumbInfo> texts(m_state.InfoList.size());
        const auto blanked = std::min<qsizetype>(m_state.ThumbCount, qsizetype(texts.size()));
        std::move(m_state.InfoList.begin() + blanked, m_state.InfoList.end(), texts.begin() + blanked);
        texts.swap(m_state.InfoList);
        BackgroundWork::dispose(std::move(texts));
        area.cellAt(0).visible = false;
        area.pictureAt(0).visible = false;
        area.destroyFrom(1);
        m_state.ThumbCount = 0;
        Twips::setHeight(m_parts.thumbnailArea, Twips::top(m_parts.statusPanels) - Twips::top(m_parts.treeView) + 200);
        m_parts.previewPicture->clear();
        m_parts.previewPicture->hide();
    }
    area.update();
    area.show();
    m_parts.fileList->setEnabled(true);
    m_state.GridShape = {0, 0};
    m_state.CatalogueDone = 0;
}

void Catalogue::ShowLoadResult()
{
    StatusPanels &bar = *m_parts.statusPanels;
    bar.setPanelAlignment(2, Qt::AlignRight);
    bar.setPanelText(2, QStringLiteral("%1 / %2 取込み ").arg(m_state.ThumbCount).arg(m_state.FileCount));
    if (m_state.FileCount == 0) {
        bar.setPanelText(2, QStringLiteral("ﾌｧｲﾙが見つかりません　"));
    } else if (m_state.FileCount == m_state.ThumbCount) {
        bar.setPanelAlignment(2, Qt::AlignLeft);
        bar.setPanelText(2, QStringLiteral(" 完了"));
    }
}

void Catalogue::FolderChanged()
{
    // A folder set while a load ends is shown once that load has returned.
    m_parts.gate.whenIdle(LoadGate::Kind::Folder, [this] {
        m_parts.thumbnailArea->cellAt(0).background = ThumbnailArea::CellGrey;
        Rebuild();
    });
}

double Catalogue::AreaTopAt(int value, double cellHeight) { return 300 - value * (cellHeight + 90); }

void Catalogue::ScrollChanged(int value)
{
    if (GetPlatformName(m_parts.context) == QLatin1String("Windows 95")) {
        PlatformContext::yield();
        // The value as it stands after the yield, which may have moved it.
        value = m_parts.scrollBar->value();
        ReloadVisibleThumbs();
    }
    const double cellHeight = m_parts.thumbnailArea->cellAt(0).rect.height();
    Twips::setTop(m_parts.thumbnailArea, AreaTopAt(value, cellHeight));
    m_parts.window.ScrollPos = static_cast<std::int16_t>(value);
    if (value == 0)
        Twips::setTop(m_parts.thumbnailArea, Twips::height(m_parts.toolbar));
    else if (value == m_parts.scrollBar->maximum() && m_state.LoadFlag == 0)
        Twips::setTop(m_parts.thumbnailArea, Twips::top(m_parts.thumbnailArea) + 350);
    m_keeper.ViewMoved();
}

void Catalogue::OrderChanged()
{
    m_parts.gate.whenIdle(LoadGate::Kind::InOrder, [this] {
        const std::shared_ptr<const FileList::Listing> shown = m_engine.shownFiles();
        const FileList &files = *m_parts.fileList;
        // The caching mode keeps its thumbnails' files by their places.
        const bool complete = m_state.CatalogueDone == 1 && m_state.ThumbCount == shown->count() && m_state.ThumbCount > 1 &&
                              GetPlatformName(m_parts.context) != QLatin1String("Windows 95");
        if (!complete) {
            if (m_state.ThumbCount > 1 || m_state.ThumbCount != shown->count())
                Rebuild();
            return;
        }
        FileList::Listing listing = *shown;
        const bool taken = files.order() == FileList::Order::Taken && files.dateTaken();
        if (FileList::NeedsFacts(files.order()) &&
            (listing.facts.size() != size_t(listing.count()) || (taken && !listing.takenRead))) {
            std::vector<QByteArray> names;
            names.reserve(size_t(listing.count()));
            for (int i = 0; i < listing.count(); ++i)
                names.push_back(listing.nativeName(i));
            FileCalls::Patience patience;
            patience.deadline = -1;
            patience.userInput = true;
            const FileCalls::Scope scope(*m_parts.context.fileCalls, std::move(patience));
            const auto facts = m_parts.context.fileSystem.factsOf(listing.nativeFolder, names,
                                                                  taken ? files.dateTaken() : FileSystem::DateTaken());
            if (!facts || m_engine.shownFiles() != shown) {
                Rebuild();
                return;
            }
            listing.facts = *facts;
            listing.takenRead = taken;
        }
        const std::vector<int> permutation = FileList::OrderOf(listing, files.order(), files.reversed());
        std::vector<int> placeOf(permutation.size());
        for (size_t k = 0; k < permutation.size(); ++k)
            placeOf[size_t(permutation[k])] = int(k);
        m_engine.setShownFiles(FileList::Reordered(listing, permutation));
        m_parts.thumbnailArea->reorderPictures(permutation);
        std::vector<ThumbInfo> texts;
        texts.reserve(m_state.InfoList.size());
        for (const int from : permutation)
            texts.push_back(std::move(m_state.InfoList[size_t(from)]));
        for (size_t k = permutation.size(); k < m_state.InfoList.size(); ++k)
            texts.push_back(std::move(m_state.InfoList[k]));
        m_state.InfoList = std::move(texts);
        // The selection stays on its picture.
        std::int16_t &selected = m_parts.window.SelectedIndex;
        if (selected >= 0 && size_t(selected) < placeOf.size()) {
            selected = static_cast<std::int16_t>(placeOf[size_t(selected)]);
            for (int j = 0; j < m_state.ThumbCount; ++j)
                m_parts.thumbnailArea->cellAt(j).background = j == selected ? ThumbnailArea::CellSelected : ThumbnailArea::CellGrey;
            m_parts.thumbnailArea->setCurrent(selected);
        }
        ++m_parts.window.CatalogueResets;
        m_parts.thumbnailArea->update();
        m_keeper.ViewMoved();
    });
}

void Catalogue::Follow(const FolderWatch::Changes &changes, bool asked, const std::function<void()> &then)
{
    m_parts.gate.whenIdle(LoadGate::Kind::InOrder, [this, changes, asked, then] {
        FollowNow(changes, asked);
        if (then)
            then();
    });
}

void Catalogue::FollowNow(const FolderWatch::Changes &changes, bool asked)
{
    const std::shared_ptr<const FileList::Listing> shown = m_engine.shownFiles();
    FileList &files = *m_parts.fileList;
    if (files.path().isEmpty() || shown->folder != files.path())
        return;
    const bool complete = m_state.CatalogueDone == 1 && m_state.ThumbCount == shown->count() &&
                          GetPlatformName(m_parts.context) != QLatin1String("Windows 95");
    if (!complete && !asked)
        return;
    files.refresh();
    std::shared_ptr<const FileList::Listing> fresh;
    {
        FileCalls::Patience patience;
        patience.userInput = true;
        const FileCalls::Scope scope(*m_parts.context.fileCalls, std::move(patience));
        fresh = files.listing();
    }
    if (m_engine.shownFiles() != shown || files.path() != shown->folder)
        return; // another folder or reading came meanwhile
    if (fresh->nativeFolder.isEmpty()) {
        // Not read (the folder went, or does not answer): the next asker reads it again.
        files.refresh();
        if (asked)
            Rebuild();
        return;
    }
    // The files that stay keep their places' pictures; new ones still being written wait.
    QHash<QByteArray, int> before;
    before.reserve(shown->count());
    for (int i = 0; i < shown->count(); ++i)
        before.insert(shown->nativeName(i), i);
    // A file renamed keeps its picture, unless its type changed with its name.
    QHash<QByteArray, int> renamedFrom;
    for (auto it = changes.renamed.cbegin(); it != changes.renamed.cend(); ++it) {
        const auto ending = [](const QByteArray &name) { return name.mid(name.lastIndexOf('.') + 1).toLower(); };
        const auto old = before.constFind(it.key());
        if (old != before.cend() && ending(it.key()) == ending(it.value()))
            renamedFrom.insert(it.value(), *old);
    }
    std::vector<int> kept;
    std::vector<int> from;
    std::vector<bool> taken(size_t(shown->count()), false);
    kept.reserve(size_t(fresh->count()));
    from.reserve(size_t(fresh->count()));
    bool same = fresh->count() == shown->count();
    for (int j = 0; j < fresh->count(); ++j) {
        const QByteArray name = fresh->nativeName(j);
        const auto it = before.constFind(name);
        const bool listed = it != before.cend();
        if (!listed && changes.unfinished.contains(name))
            continue;
        same = same && listed && *it == int(from.size()) && !changes.written.contains(name);
        int old = listed ? *it : renamedFrom.value(name, -1);
        // A renamed file's old name may have come back as another file: one picture has one cell.
        if (old >= 0 && taken[size_t(old)])
            old = -1;
        if (old >= 0)
            taken[size_t(old)] = true;
        kept.push_back(j);
        from.push_back(old);
    }
    same = same && from.size() == size_t(shown->count());
    if (same)
        return;
    if (!complete || from.empty() || shown->count() == 0) {
        Rebuild();
        return;
    }
    ThumbnailArea &area = *m_parts.thumbnailArea;
    const std::shared_ptr<FileList::Listing> listing = FileList::Reordered(*fresh, kept);
    std::vector<int> placeOf(size_t(shown->count()), -1);
    std::vector<ThumbInfo> texts;
    texts.reserve(from.size());
    for (size_t k = 0; k < from.size(); ++k) {
        if (from[k] >= 0) {
            placeOf[size_t(from[k])] = int(k);
            texts.push_back(size_t(from[k]) < m_state.InfoList.size() ? std::move(m_state.InfoList[size_t(from[k])]) : ThumbInfo());
            // A renamed file's cell says its new name.
            if (listing->entries.at(int(k)) != shown->entries.at(from[k]))
                texts.back().NameText = ThumbInfoFor(listing->entries.at(int(k)), -1).NameText;
        } else {
            texts.push_back(ThumbInfoFor(listing->entries.at(int(k)), -1));
        }
    }
    const std::uint32_t resetsBefore = m_parts.window.CatalogueResets;
    ++m_parts.window.CatalogueResets;
    m_engine.setShownFiles(listing);
    area.rearrange(from, m_state.GridShape[0]);
    // A file written since keeps its old picture until the new one is read.
    for (size_t k = 0; k < from.size(); ++k)
        if (from[k] >= 0 && changes.written.contains(listing->nativeName(int(k))))
            area.pictureAt(int(k)).paged = true;
    m_state.InfoList = std::move(texts);
    m_state.ThumbCount = listing->count();
    m_state.FileCount = listing->count();
    // The selection stays on its picture; one whose file went is no more.
    std::int16_t &selected = m_parts.window.SelectedIndex;
    if (selected >= 0) {
        selected = static_cast<std::int16_t>(size_t(selected) < placeOf.size() ? placeOf[size_t(selected)] : -1);
        if (selected < 0) {
            m_parts.previewPicture->clear();
            m_parts.previewPicture->hide();
        }
    }
    if (selected >= 0)
        area.cellAt(selected).background = ThumbnailArea::CellSelected;
    area.setCurrent(selected);
    m_parts.openAction->setEnabled(selected >= 0);
    m_engine.Regrow(m_state.ThumbCount);
    ScrollChanged(m_parts.scrollBar->value());
    m_parts.statusPanels->setPanelText(1, QStringLiteral("画像数 %1ファイル").arg(m_state.FileCount));
    ShowLoadResult();
    m_keeper.Recount();
    m_keeper.ViewMoved();
    area.update();
    emit entriesMoved(placeOf, resetsBefore);
}

void Catalogue::SizeChanged(double side)
{
    // A load under way ends after the file in hand, to begin again at the new size.
    if (m_parts.gate.loading())
        m_state.StopRequest = true;
    m_parts.gate.whenIdle(LoadGate::Kind::InOrder, [this, side] {
        if (side == m_parts.thumbnailArea->thumbnailSide())
            return;
        const std::shared_ptr<const FileList::Listing> before = shownFiles();
        const int selected = m_parts.window.SelectedIndex;
        const QString name = before && selected >= 0 && selected < before->count() ? before->entries[selected] : QString();
        // The reset hides the area, and the keyboard leaves it meanwhile.
        const bool focused = m_parts.thumbnailArea->hasFocus();
        ResetCatalogue();
        const std::uint32_t resets = m_parts.window.CatalogueResets;
        m_parts.thumbnailArea->setThumbnailSide(side);
        LoadThumbnails();
        ShowLoadResult();
        if (focused && resets == m_parts.window.CatalogueResets && m_parts.thumbnailArea->isVisible())
            m_parts.thumbnailArea->setFocus();
        // Unless a click or another reload came first, the same picture is
        // selected again, where it is in the new reading of the folder.
        const std::shared_ptr<const FileList::Listing> after = shownFiles();
        if (name.isEmpty() || !after || resets != m_parts.window.CatalogueResets || m_parts.window.SelectedIndex >= 0)
            return;
        const int i = after->entries.indexOf(name);
        if (i >= 0 && i < m_state.ThumbCount)
            emit reselectRequested(i, resets);
    });
}

int Catalogue::RowsInView() const
{
    const double pitch = m_parts.thumbnailArea->cellAt(0).rect.height() + 90;
    const double shown = Twips::top(m_parts.statusPanels) - Twips::height(m_parts.toolbar) - 300;
    return std::max(1, static_cast<int>(shown / pitch));
}

void Catalogue::ShowCell(int i)
{
    const int columns = m_state.GridShape[0];
    if (columns <= 0 || i < 0 || i >= m_state.ThumbCount || !m_parts.scrollBar->isVisible())
        return;
    const int row = i / columns;
    const int first = m_parts.scrollBar->value();
    const int rows = RowsInView();
    if (row < first)
        m_parts.scrollBar->setValue(row);
    else if (row >= first + rows)
        m_parts.scrollBar->setValue(std::min(m_parts.scrollBar->maximum(), row - rows + 1));
}

void Catalogue::ReloadVisibleThumbs()
{
    if (m_state.CatalogueDone != 1)
        return;
    ThumbnailArea &area = *m_parts.thumbnailArea;
    PlatformContext &context = m_parts.context;
    for (int j = 0; j < m_state.ThumbCount && area.exists(j); ++j)
        area.pictureAt(j).picture = QImage();
    const int value = m_parts.scrollBar->value();
    const int last = value * m_state.GridShape[0] + m_state.GridShape[1] + 20;
    for (int j = value - m_state.GridShape[0]; j <= last; ++j) {
        if (j < 0 || j >= m_state.ThumbCount || !area.exists(j))
            continue;
        const auto native = context.fileSystem.toNative(m_state.TempPath + QStringLiteral("\\KRUtemp\\img%1.tmp").arg(j));
        QFile file;
        QImage picture;
        if (native && NativeFile::Open(file, *native, QIODevice::ReadOnly) && picture.load(&file, "BMP") &&
            !area.pictureAt(j).undecodable)
            area.pictureAt(j).picture = picture;
    }
    area.update();
}
