#pragma once

#include "platform/unloadingwindow.h"

#include <QString>
#include <QWidget>

class QTimer;

// The hover box: a small pale-yellow window with two lines of text about
// the thumbnail under the pointer. It never takes the keyboard focus, and
// goes away as soon as the pointer touches it.
class HoverBox : public UnloadingWindow<QWidget>
{
    Q_OBJECT

public:
    // One of the two text lines, as wide as its text; twips relative to face.
    struct Line
    {
        QString text;
        double left = 0.0;
        double top = 0.0;
        double width = 0.0;
        double height = 180.0;
    };

    explicit HoverBox(QWidget *focusOwner);

    void setLineText(int index, const QString &text);
    const Line &line(int index) const { return m_lines[index]; }

    // Width and height of the face in twips; the window takes them over.
    double faceWidth() const;
    double faceHeight() const;
    void setFaceWidth(double width);

    QWidget *face = nullptr;
    QTimer *tickTimer = nullptr;

    static QColor background() { return QColor(254, 255, 215); }

signals:
    void unloaded();
    void timerTicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void Unloading() override;

private:
    friend class HoverBoxFace;
    Line m_lines[2];
    QWidget *m_focusOwner;
};
