#pragma once

#include <QHash>
#include <QIcon>
#include <QSet>
#include <QTreeWidget>

// The folder tree: a tree view whose nodes carry a unique key and
// an image key of the tree's image list. A second node with an existing key,
// or a node under a missing parent, is refused.
class KeyedTree : public QTreeWidget
{
    Q_OBJECT

public:
    explicit KeyedTree(QWidget *parent = nullptr);

    // Image list of the nodes, by image key.
    void setImageList(const QHash<QString, QIcon> &images) { m_images = images; }

    // Adds a node as the last child of parentKey (top level for an empty
    // parentKey); nullptr when the key exists or the parent is missing.
    QTreeWidgetItem *addNode(const QString &parentKey, const QString &key, const QString &text,
                             const QString &imageKey = QString());
    QTreeWidgetItem *node(const QString &key) const { return m_nodes.value(key); }
    bool contains(const QString &key) const { return m_nodes.contains(key); }
    // Removes a node and everything below it; false when there is none.
    bool removeNode(const QString &key);
    void removeAll();

    static QString keyOf(const QTreeWidgetItem *item);
    static QString textOf(const QTreeWidgetItem *item);
    QString imageKey(const QString &key) const;
    bool setImage(const QString &key, const QString &imageKey);

    // Children of a node in their order.
    QStringList childKeys(const QString &key) const;

    // Key of the selected node; empty when none.
    QString selectedKey() const;
    // Selects a node, opening its closed ancestors; false when there is none.
    bool selectNode(const QString &key);
    bool isSelected(const QString &key) const;

    // From now on the node keeps its children sorted by text.
    void sortChildrenFromNowOn(const QString &key);

    // The caption of the node at a point of the viewport when the tree shows
    // it cut short; empty when it shows whole (or no node is there).
    QString cutCaptionAt(const QPoint &point) const;

protected:
    bool viewportEvent(QEvent *event) override;

private:
    void forget(QTreeWidgetItem *item);

    QHash<QString, QTreeWidgetItem *> m_nodes;
    QHash<QString, QIcon> m_images;
    QSet<QString> m_sortedNodes;
};
