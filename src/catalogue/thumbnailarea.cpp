#include "catalogue/thumbnailarea.h"

#include "platform/backgroundwork.h"
#include "platform/twips.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <iterator>

namespace {
// Pixels between a cell and its focus mark (the cells' gap is six).
constexpr int FocusMarkGap = 3;
} // namespace

ThumbnailArea::ThumbnailArea(QWidget *parent) : QWidget(parent), m_labels(1), m_images(1)
{
    // The keyboard comes here by Tab and by a click on a cell.
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

bool ThumbnailArea::createElement(int index)
{
    if (index != count() || index == 0)
        return false;
    Label label = m_labels[0];
    label.visible = false;
    Image image;
    image.rect = m_images[0].rect;
    image.stretch = m_images[0].stretch;
    m_labels.push_back(label);
    m_images.push_back(image);
    return true;
}

void ThumbnailArea::destroyFrom(int index)
{
    const int keep = std::max(1, index);
    if (keep >= count())
        return;
    m_labels.resize(keep);
    if (m_current >= keep)
        m_current = -1;
    emit cellsRemoved(keep);
    // The pictures are freed off the window thread: a reset of a large
    // folder stays quick.
    std::vector<Image> gone(std::make_move_iterator(m_images.begin() + keep), std::make_move_iterator(m_images.end()));
    m_images.resize(keep);
    BackgroundWork::dispose(std::move(gone));
    m_pressed = NoPress;
    update();
}

void ThumbnailArea::setThumbnailSide(double twips)
{
    if (count() != 1 || twips <= 0)
        return;
    m_side = twips;
    m_labels[0].rect.setSize(QSizeF(twips + CellMarginWidth, twips + CellMarginHeight));
    update();
}

void ThumbnailArea::reorderPictures(const std::vector<int> &permutation)
{
    if (permutation.size() > m_images.size())
        return;
    std::vector<Image> moved;
    moved.reserve(m_images.size());
    for (const int from : permutation)
        moved.push_back(std::move(m_images[size_t(from)]));
    for (size_t k = permutation.size(); k < m_images.size(); ++k)
        moved.push_back(std::move(m_images[k]));
    m_images = std::move(moved);
    for (size_t k = 0; k < permutation.size(); ++k)
        m_images[k].rect.moveCenter(m_labels[k].rect.center());
    update();
}

void ThumbnailArea::placePicture(int index, const QImage &picture, QSizeF naturalTwips, bool decoded)
{
    if (!exists(index))
        return;
    Image &image = m_images[size_t(index)];
    image.paged = false;
    image.undecodable = !decoded;
    if (decoded) {
        const ThumbnailDrawing::ThumbnailSize thumbnail =
            ThumbnailDrawing::ThumbnailSizeFor(naturalTwips.width(), naturalTwips.height(), m_side);
        // A very long and thin picture keeps a side of at least one pixel.
        image.rect.setSize(QSizeF(std::max(thumbnail.width, Twips::perPixelX()), std::max(thumbnail.height, Twips::perPixelY())));
        image.picture = picture;
        image.stretch = !thumbnail.scaled;
    } else {
        image.rect.setSize(QSizeF(0, 0));
        image.picture = QImage();
    }
    image.rect.moveCenter(m_labels[size_t(index)].rect.center());
}

void ThumbnailArea::rearrange(const std::vector<int> &from, int columns)
{
    if (from.empty())
        return;
    columns = std::max(1, columns);
    std::vector<Image> images;
    images.reserve(from.size());
    for (const int k : from) {
        if (k >= 0 && k < count()) {
            images.push_back(std::move(m_images[size_t(k)]));
        } else {
            Image blank;
            blank.rect.setSize(QSizeF(0, 0));
            blank.paged = true;
            images.push_back(std::move(blank));
        }
    }
    const QRectF first = m_labels[0].rect;
    std::vector<Label> labels(from.size(), m_labels[0]);
    for (size_t k = 0; k < labels.size(); ++k) {
        const int column = int(k) % columns;
        const int row = int(k) / columns;
        labels[k].rect.moveTo(first.left() + column * (first.width() + CellGap), first.top() + row * (first.height() + CellGap));
        labels[k].visible = true;
        labels[k].background = CellGrey;
        images[k].visible = true;
        images[k].rect.moveCenter(labels[k].rect.center());
    }
    const int before = count();
    m_labels = std::move(labels);
    std::swap(m_images, images);
    // What is left of the old pictures is freed off the window thread.
    BackgroundWork::dispose(std::move(images));
    if (m_current >= count())
        m_current = -1;
    m_pressed = NoPress;
    if (count() < before)
        emit cellsRemoved(count());
    update();
}

QRect ThumbnailArea::pixelRect(const QRectF &twips) const
{
    return Twips::toPixels(twips.x(), twips.y(), twips.width(), twips.height());
}

QPointF ThumbnailArea::twipsAt(const QPoint &pixel) const
{
    return QPointF(Twips::fromPixelsX(pixel.x()), Twips::fromPixelsY(pixel.y()));
}

void ThumbnailArea::setCurrent(int index)
{
    if (index == m_current)
        return;
    // The old mark goes with the margin it was drawn in.
    updateElement(m_current);
    m_current = exists(index) ? index : -1;
    updateElement(m_current);
    emit currentChanged(m_current);
}

void ThumbnailArea::setAccessibleItems(std::function<int()> count, std::function<QString(int)> name)
{
    m_itemCount = std::move(count);
    m_itemName = std::move(name);
}

void ThumbnailArea::updateElement(int index)
{
    if (!exists(index))
        return;
    // A shown picture lies inside its cell; a hidden one (a new cell's, not
    // placed yet, still where the first cell's is) needs nothing drawn.
    QRect dirty = pixelRect(m_labels[index].rect);
    if (m_images[index].visible)
        dirty = dirty.united(pixelRect(m_images[index].rect));
    // The keyboard's cell has its focus mark in the gap around it.
    const int margin = index == m_current ? FocusMarkGap + 1 : 1;
    update(dirty.adjusted(-margin, -margin, margin, margin));
}

std::pair<int, int> ThumbnailArea::elementsCrossing(double top, double bottom) const
{
    // The cells go row by row from the top: each one stands beside the one
    // before or below it, so their tops never decrease, and all have the
    // height of cell 0. The cells crossing a band are found by their tops,
    // whatever the folder's size. (A picture lies inside its cell.)
    const double height = m_labels[0].rect.height();
    const auto firstBelow = [&](double y) {
        return static_cast<int>(std::partition_point(m_labels.begin(), m_labels.end(),
                                                     [&](const Label &label) { return label.rect.top() < y; }) -
                                m_labels.begin());
    };
    return {std::max(0, firstBelow(top - height) - 1), firstBelow(bottom + 1)};
}

int ThumbnailArea::elementAt(const QPointF &twips) const
{
    const auto [first, end] = elementsCrossing(twips.y(), twips.y());
    for (int i = end - 1; i >= first; --i) {
        if ((m_images[i].visible && m_images[i].rect.contains(twips)) ||
            (m_labels[i].visible && m_labels[i].rect.contains(twips)))
            return i;
    }
    return -1;
}

void ThumbnailArea::drawUndecodable(QPainter &painter, const QRect &cell) const
{
    // A torn page with a red cross: the file is listed but has no picture.
    const QRect mark(cell.center().x() - 9, cell.center().y() - 11, 18, 22);
    painter.setPen(QColor(96, 96, 96));
    painter.setBrush(Qt::white);
    painter.drawRect(mark);
    painter.setPen(QPen(QColor(200, 0, 0), 2));
    painter.drawLine(mark.topLeft() + QPoint(4, 6), mark.bottomRight() - QPoint(4, 6));
    painter.drawLine(QPoint(mark.right() - 4, mark.top() + 6), QPoint(mark.left() + 4, mark.bottom() - 6));
}

void ThumbnailArea::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    const QRectF exposed(twipsAt(event->rect().topLeft() - QPoint(1, 1)),
                         twipsAt(event->rect().bottomRight() + QPoint(2, 2)));
    const auto [first, end] = elementsCrossing(exposed.top(), exposed.bottom());
    for (int i = first; i < end; ++i) {
        const Label &label = m_labels[i];
        const Image &image = m_images[i];
        if (label.visible && label.rect.intersects(exposed))
            painter.fillRect(pixelRect(label.rect), label.background);
        if (!image.visible)
            continue;
        if (image.undecodable) {
            if (label.visible && label.rect.intersects(exposed))
                drawUndecodable(painter, pixelRect(label.rect));
        } else if (!image.picture.isNull() && image.rect.intersects(exposed)) {
            const QRect target = pixelRect(image.rect);
            painter.setRenderHint(QPainter::SmoothPixmapTransform, image.picture.size() != target.size());
            painter.drawImage(target, image.picture);
        }
    }
    // The keyboard's cell: a dotted frame in the gap around it, which the
    // selection's dark blue never takes.
    if (hasFocus() && exists(m_current) && m_labels[m_current].visible) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2, Qt::DotLine));
        painter.drawRect(pixelRect(m_labels[m_current].rect).adjusted(-FocusMarkGap, -FocusMarkGap, FocusMarkGap, FocusMarkGap));
    }
}

void ThumbnailArea::keyPressEvent(QKeyEvent *event)
{
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    const auto step = [&](Step s) {
        event->accept();
        emit stepRequested(s);
    };
    switch (plain ? event->key() : 0) {
    case Qt::Key_Left: step(Step::Left); return;
    case Qt::Key_Right: step(Step::Right); return;
    case Qt::Key_Up: step(Step::Up); return;
    case Qt::Key_Down: step(Step::Down); return;
    case Qt::Key_PageUp: step(Step::PageUp); return;
    case Qt::Key_PageDown: step(Step::PageDown); return;
    case Qt::Key_Home: step(Step::First); return;
    case Qt::Key_End: step(Step::Last); return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        emit openRequested();
        return;
    default: break;
    }
    if (event->key() == Qt::Key_F10 && (event->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier) {
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(), QPoint());
        contextMenuEvent(&menu);
        return;
    }
    QWidget::keyPressEvent(event);
}

void ThumbnailArea::contextMenuEvent(QContextMenuEvent *event)
{
    event->accept();
    if (event->reason() == QContextMenuEvent::Mouse) {
        const int index = elementAt(twipsAt(event->pos()));
        if (index >= 0)
            emit menuRequested(index, event->globalPos());
        return;
    }
    // From the keyboard: the keyboard's cell, the menu beside its middle.
    if (m_current < 0 || m_current >= count())
        return;
    const QPointF centre = cellAt(m_current).rect.center();
    emit menuRequested(m_current, mapToGlobal(QPoint(Twips::toPixelsX(centre.x()), Twips::toPixelsY(centre.y()))));
}

void ThumbnailArea::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    updateElement(m_current);
}

void ThumbnailArea::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    updateElement(m_current);
}

void ThumbnailArea::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = elementAt(twipsAt(event->position().toPoint()));
        m_pressedAt = event->position().toPoint();
    }
}

void ThumbnailArea::mouseReleaseEvent(QMouseEvent *event)
{
    // A click is a press and a release over the same cell (or both on the
    // bare area); the release after a double click is no click.
    if (event->button() != Qt::LeftButton || m_pressed == NoPress)
        return;
    const int pressed = m_pressed;
    m_pressed = NoPress;
    if (elementAt(twipsAt(event->position().toPoint())) != pressed)
        return;
    if (pressed >= 0)
        emit cellClicked(pressed);
    else
        emit bareAreaClicked();
}

void ThumbnailArea::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = NoPress;
    const int index = elementAt(twipsAt(event->position().toPoint()));
    if (index >= 0)
        emit cellDoubleClicked(index);
}

void ThumbnailArea::wheelEvent(QWheelEvent *event)
{
    event->accept();
    m_wheelAngle += event->angleDelta().y();
    const int notches = m_wheelAngle / 120;
    m_wheelAngle -= notches * 120;
    if (notches == 0)
        return;
    if (event->modifiers() & Qt::ControlModifier)
        emit sizeStepRequested(notches);
    else
        emit wheelTurned(notches);
}

void ThumbnailArea::mouseMoveEvent(QMouseEvent *event)
{
    if ((event->buttons() & Qt::LeftButton) && m_pressed >= 0 &&
        (event->position().toPoint() - m_pressedAt).manhattanLength() >= QApplication::startDragDistance()) {
        // A drag, not a click: the release that ends it selects nothing.
        emit dragRequested(std::exchange(m_pressed, NoPress));
        return;
    }
    const QPointF at = twipsAt(event->position().toPoint());
    const int index = elementAt(at);
    if (index < 0) {
        emit bareAreaMouseMoved();
        return;
    }
    const Image &image = m_images[index];
    const QRectF control = image.visible && image.rect.contains(at) ? image.rect : m_labels[index].rect;
    emit cellMouseMoved(index, at.x() - control.x(), at.y() - control.y());
}
