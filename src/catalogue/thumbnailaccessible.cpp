#include "catalogue/thumbnailaccessible.h"

#include "catalogue/thumbnailarea.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>

#include <map>
#include <mutex>

namespace {

class AreaInterface;

// One cell, as long as the area has it.
class CellInterface : public QAccessibleInterface
{
public:
    CellInterface(ThumbnailArea *area, int index) : m_area(area), m_index(index) {}

    bool isValid() const override { return m_area && m_index < m_area->accessibleItemCount(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_area ? m_area->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return m_area ? QAccessible::queryAccessibleInterface(m_area) : nullptr; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QString text(QAccessible::Text t) const override
    {
        if (!isValid() || (t != QAccessible::Name && t != QAccessible::Description))
            return {};
        return m_area->accessibleItemName(m_index);
    }
    void setText(QAccessible::Text, const QString &) override {}

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect local = m_area->cellRectInPixels(m_index);
        return QRect(m_area->mapToGlobal(local.topLeft()), local.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.selectable = true;
        state.focusable = true;
        state.selected = m_area->cellAt(m_index).background == ThumbnailArea::CellSelected;
        state.focused = m_area->hasFocus() && m_area->current() == m_index;
        const QRect shown = m_area->visibleRegion().boundingRect();
        state.offscreen = !m_area->isVisible() || !shown.intersects(m_area->cellRectInPixels(m_index));
        state.invisible = !m_area->isVisible();
        return state;
    }

    int index() const { return m_index; }

private:
    QPointer<ThumbnailArea> m_area;
    int m_index;
};

// The area: a list of its cells. Each cell's interface is made when it is
// first asked for and kept (as the accessibility layer wants) until the cell
// goes or the area does.
class AreaInterface : public QAccessibleWidget
{
public:
    explicit AreaInterface(ThumbnailArea *area) : QAccessibleWidget(area, QAccessible::List)
    {
        // The interface lives as long as the area (the accessibility layer
        // deletes it when the area goes), and so do these connections.
        QObject::connect(area, &ThumbnailArea::cellsRemoved, area, [this, area](int first) {
            Forget(first);
            QAccessibleEvent reorder(area, QAccessible::ObjectReorder);
            QAccessible::updateAccessibility(&reorder);
        });
        QObject::connect(area, &ThumbnailArea::currentChanged, area, [area](int index) {
            if (!QAccessible::isActive() || index < 0 || !area->hasFocus())
                return;
            QAccessibleEvent focus(area, QAccessible::Focus);
            focus.setChild(index);
            QAccessible::updateAccessibility(&focus);
        });
    }
    ~AreaInterface() override { Forget(0); }

    ThumbnailArea *area() const { return static_cast<ThumbnailArea *>(widget()); }

    int childCount() const override { return area()->accessibleItemCount(); }

    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        const auto found = m_cells.find(index);
        if (found != m_cells.end())
            return QAccessible::accessibleInterface(found->second);
        auto *cell = new CellInterface(area(), index);
        m_cells.emplace(index, QAccessible::registerAccessibleInterface(cell));
        return cell;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const auto *cell = dynamic_cast<const CellInterface *>(child);
        return cell && cell->isValid() ? cell->index() : -1;
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint local = area()->mapFromGlobal(QPoint(x, y));
        const int index = area()->cellAtPixel(local);
        return index >= 0 && index < childCount() ? child(index) : nullptr;
    }

    QAccessibleInterface *focusChild() const override
    {
        if (!area()->hasFocus())
            return nullptr;
        const int current = area()->current();
        return current >= 0 && current < childCount() ? child(current) : nullptr;
    }

    void Forget(int first)
    {
        for (auto it = m_cells.lower_bound(first); it != m_cells.end();) {
            QAccessible::deleteAccessibleInterface(it->second);
            it = m_cells.erase(it);
        }
    }

private:
    mutable std::map<int, QAccessible::Id> m_cells;
};

QAccessibleInterface *Factory(const QString &, QObject *object)
{
    if (auto *area = qobject_cast<ThumbnailArea *>(object))
        return new AreaInterface(area);
    return nullptr;
}

} // namespace

namespace ThumbnailAccessible {

void Install()
{
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(Factory); });
}

} // namespace ThumbnailAccessible
