#include "tree/keyedtree.h"

#include <QHelpEvent>
#include <QToolTip>

#include <QHeaderView>

namespace {
constexpr int KeyRole = Qt::UserRole + 1;
constexpr int ImageKeyRole = Qt::UserRole + 2;

bool textBefore(const QTreeWidgetItem *a, const QString &text)
{
    return a->text(0).compare(text, Qt::CaseInsensitive) < 0;
}

// Nodes sort by their text without regard to case, as the tree control does.
class TreeNode : public QTreeWidgetItem
{
public:
    bool operator<(const QTreeWidgetItem &other) const override { return textBefore(this, other.text(0)); }
};
} // namespace

KeyedTree::KeyedTree(QWidget *parent) : QTreeWidget(parent)
{
    setColumnCount(1);
    header()->hide();
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setExpandsOnDoubleClick(true);
}

QTreeWidgetItem *KeyedTree::addNode(const QString &parentKey, const QString &key, const QString &text,
                                    const QString &imageKey)
{
    if (key.isEmpty() || m_nodes.contains(key))
        return nullptr;
    QTreeWidgetItem *parentItem = nullptr;
    if (!parentKey.isEmpty()) {
        parentItem = m_nodes.value(parentKey);
        if (!parentItem)
            return nullptr;
    }
    auto *item = new TreeNode;
    item->setText(0, text);
    item->setData(0, KeyRole, key);
    item->setData(0, ImageKeyRole, imageKey);
    if (!imageKey.isEmpty())
        item->setIcon(0, m_images.value(imageKey));
    if (!parentItem) {
        addTopLevelItem(item);
    } else if (m_sortedNodes.contains(parentKey)) {
        int position = 0;
        while (position < parentItem->childCount() && textBefore(parentItem->child(position), text))
            ++position;
        parentItem->insertChild(position, item);
    } else {
        parentItem->addChild(item);
    }
    m_nodes.insert(key, item);
    return item;
}

void KeyedTree::forget(QTreeWidgetItem *item)
{
    for (int i = 0; i < item->childCount(); ++i)
        forget(item->child(i));
    const QString key = keyOf(item);
    m_nodes.remove(key);
    m_sortedNodes.remove(key);
}

bool KeyedTree::removeNode(const QString &key)
{
    QTreeWidgetItem *item = m_nodes.value(key);
    if (!item)
        return false;
    forget(item);
    delete item;
    return true;
}

void KeyedTree::removeAll()
{
    m_nodes.clear();
    m_sortedNodes.clear();
    clear();
}

QString KeyedTree::keyOf(const QTreeWidgetItem *item)
{
    return item ? item->data(0, KeyRole).toString() : QString();
}

QString KeyedTree::textOf(const QTreeWidgetItem *item) { return item ? item->text(0) : QString(); }

QString KeyedTree::imageKey(const QString &key) const
{
    const QTreeWidgetItem *item = m_nodes.value(key);
    return item ? item->data(0, ImageKeyRole).toString() : QString();
}

bool KeyedTree::setImage(const QString &key, const QString &imageKey)
{
    QTreeWidgetItem *item = m_nodes.value(key);
    if (!item)
        return false;
    item->setData(0, ImageKeyRole, imageKey);
    item->setIcon(0, m_images.value(imageKey));
    return true;
}

QStringList KeyedTree::childKeys(const QString &key) const
{
    QStringList keys;
    if (const QTreeWidgetItem *item = m_nodes.value(key))
        for (int i = 0; i < item->childCount(); ++i)
            keys.append(keyOf(item->child(i)));
    return keys;
}

QString KeyedTree::selectedKey() const
{
    const QList<QTreeWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? QString() : keyOf(selected.first());
}

bool KeyedTree::selectNode(const QString &key)
{
    QTreeWidgetItem *item = m_nodes.value(key);
    if (!item)
        return false;
    // Selected first: scrollToItem then opens every closed ancestor, each
    // opening raising itemExpanded like an opening by the user, while none
    // of them is the selected node (which would give it the open image).
    setCurrentItem(item);
    scrollToItem(item);
    return true;
}

bool KeyedTree::isSelected(const QString &key) const
{
    const QTreeWidgetItem *item = m_nodes.value(key);
    return item && item->isSelected();
}

void KeyedTree::sortChildrenFromNowOn(const QString &key)
{
    QTreeWidgetItem *item = m_nodes.value(key);
    if (!item)
        return;
    m_sortedNodes.insert(key);
    item->sortChildren(0, Qt::AscendingOrder);
}

QString KeyedTree::cutCaptionAt(const QPoint &point) const
{
    const QModelIndex index = indexAt(point);
    if (!index.isValid())
        return QString();
    // The room the row has against the room its icon and text need.
    const QRect room = visualRect(index).intersected(viewport()->rect());
    const int needed = sizeHintForIndex(index).width();
    return needed > room.width() ? index.data(Qt::DisplayRole).toString() : QString();
}

bool KeyedTree::viewportEvent(QEvent *event)
{
    // A folder name the narrow tree cuts to "cor…" shows whole as a tooltip.
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QString caption = cutCaptionAt(help->pos());
        if (caption.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), caption, viewport());
        return true;
    }
    return QTreeWidget::viewportEvent(event);
}
