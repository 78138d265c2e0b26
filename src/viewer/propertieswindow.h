#pragma once

#include "pictures/metadata.h"

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

// The プロパティ window of the picture the viewer shows: the file, the
// picture, and what the camera recorded, as text that can be selected and
// copied. It is read on a background thread; until then it says so.
class PropertiesWindow : public QWidget
{
    Q_OBJECT

public:
    PropertiesWindow(const QByteArray &nativePath, const Metadata::Shown &shown, QWidget *owner);

    // The text shown (tests read it).
    QString text() const;
    bool isRead() const { return m_read; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QPlainTextEdit *m_text = nullptr;
    QPushButton *m_close = nullptr;
    bool m_read = false;
};
