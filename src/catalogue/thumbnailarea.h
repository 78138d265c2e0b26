#pragma once

#include "catalogue/thumbnaildrawing.h"

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QWidget>

#include <functional>

#include <algorithm>
#include <utility>
#include <vector>

// The thumbnail area. It holds the thumbnail cells, element i being the cell
// cellAt(i) with the picture pictureAt(i) on it, as light records that it
// paints itself, so that a folder of many thousand pictures stays quick.
// Positions and sizes are twips relative to the area. Element 0 always
// exists; later elements are created and destroyed by the catalogue.
class ThumbnailArea : public QWidget
{
    Q_OBJECT

public:
    // Cell backgrounds: light grey, dark blue for the selected thumbnail.
    static inline const QColor CellGrey{192, 192, 192};
    static inline const QColor CellSelected{0, 0, 128};

    struct Label
    {
        QRectF rect{90, 90, 795, 750};
        QColor background = CellGrey;
        bool visible = false;
    };
    struct Image
    {
        QRectF rect{90, 90, 0, 0};
        QImage picture;
        bool visible = false;
        bool stretch = false;
        bool undecodable = false;
        // Let go to bound the memory; read back when the view comes near.
        bool paged = false;
    };

    explicit ThumbnailArea(QWidget *parent = nullptr);

    int count() const { return static_cast<int>(m_labels.size()); }
    bool exists(int index) const { return index >= 0 && index < count(); }

    // A new element as a hidden copy of element 0; only index == count() works.
    bool createElement(int index);
    // Destroys the last elements down to (but never) element 0.
    void destroyFrom(int index);

    Label &cellAt(int index) { return m_labels[index]; }
    Image &pictureAt(int index) { return m_images[index]; }
    const Label &cellAt(int index) const { return m_labels[index]; }
    const Image &pictureAt(int index) const { return m_images[index]; }

    // Puts a thumbnail on element index, sized for a picture of natural
    // twips and centred on its cell; undecodable when not decoded.
    void placePicture(int index, const QImage &picture, QSizeF naturalTwips, bool decoded);
    // The elements become those from lists: element k takes the picture of
    // element from[k], or a blank one waiting to be read (paged) where
    // from[k] is -1. The cells are laid out again in rows of columns from
    // element 0's place; from must not be empty.
    void rearrange(const std::vector<int> &from, int columns);
    // Space between the cells, in twips.
    static constexpr double CellGap = 90.0;

    // Repaints the part of the area an element covers.
    void updateElement(int index);
    // The pictures change places: the one of element permutation[k] goes to
    // element k, centred on its cell (the cells keep their places).
    void reorderPictures(const std::vector<int> &permutation);

    // The longer side of the cells' thumbnails, in twips (600, the first
    // size, unless a larger one is chosen). A cell is that side and a margin
    // of grey around it. Changed only while no cell but element 0 exists.
    double thumbnailSide() const { return m_side; }
    void setThumbnailSide(double twips);
    static constexpr double CellMarginWidth = 195.0;
    static constexpr double CellMarginHeight = 150.0;

    // Element under a point in twips; -1 for the bare area.
    int elementAt(const QPointF &twips) const;

    // The cell the keyboard is on (-1 for none): marked while the area has
    // the focus, apart from the selection's colour.
    int current() const { return m_current; }
    void setCurrent(int index);

    // The cells a screen reader is told of, and each one's name (its file's
    // name and size); none until they are set.
    void setAccessibleItems(std::function<int()> count, std::function<QString(int)> name);
    int accessibleItemCount() const { return m_itemCount ? std::min(m_itemCount(), count()) : 0; }
    QString accessibleItemName(int index) const { return m_itemName ? m_itemName(index) : QString(); }
    // Cell index in the widget's pixels, and the element under a pixel.
    QRect cellRectInPixels(int index) const { return exists(index) ? pixelRect(m_labels[index].rect) : QRect(); }
    int cellAtPixel(const QPoint &pixel) const { return elementAt(twipsAt(pixel)); }

    // What the keys of the area ask for.
    enum class Step { Left, Right, Up, Down, PageUp, PageDown, First, Last };
    // The elements [first, end) whose cells may cross the band from top to
    // bottom (twips); found in logarithmic time.
    std::pair<int, int> elementsCrossing(double top, double bottom) const;

signals:
    void cellClicked(int index);
    void cellDoubleClicked(int index);
    // Pointer position relative to the control under it (cell or picture), in twips.
    void cellMouseMoved(int index, double x, double y);
    void bareAreaMouseMoved();
    void bareAreaClicked();
    // The wheel turned by notches (positive away from the user); with Ctrl
    // held, it asks for larger (positive) or smaller cells instead.
    void wheelTurned(int notches);
    void sizeStepRequested(int steps);
    // A key asked to move the selection, or to open the selected picture (Enter).
    void stepRequested(ThumbnailArea::Step step);
    void openRequested();
    // The menu of a cell was asked for (the right button, the Menu key,
    // Shift+F10), to show at a global position.
    void menuRequested(int index, const QPoint &global);
    // The left button pressed on a cell moved away with it held: the cell's file is dragged.
    void dragRequested(int index);
    // The keyboard's cell changed; the cells from first on were destroyed.
    void currentChanged(int index);
    void cellsRemoved(int first);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    QRect pixelRect(const QRectF &twips) const;
    QPointF twipsAt(const QPoint &pixel) const;
    void drawUndecodable(class QPainter &painter, const QRect &cell) const;

    std::vector<Label> m_labels;
    std::vector<Image> m_images;
    // The element under the last left press (-1 the bare area), until its release.
    static constexpr int NoPress = -2;
    int m_pressed = NoPress;
    QPoint m_pressedAt;
    // Part of a notch a fine-grained wheel turned so far.
    int m_wheelAngle = 0;
    int m_current = -1;
    std::function<int()> m_itemCount;
    std::function<QString(int)> m_itemName;
    double m_side = ThumbnailDrawing::LargestSide;
};
