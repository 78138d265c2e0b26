#include "viewer/propertieswindow.h"

#include "platform/accessibledialogs.h"
#include "platform/backgroundwork.h"
#include "platform/windowowner.h"

#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtConcurrent>

PropertiesWindow::PropertiesWindow(const QByteArray &nativePath, const Metadata::Shown &shown, QWidget *owner)
    : QWidget(nullptr, Qt::Window | Qt::Dialog)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("プロパティ"));
    AccessibleDialogs::MarkAsDialog(this);
    WindowOwner::SetOwner(this, owner);
    m_text = new QPlainTextEdit(this);
    m_text->setReadOnly(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->setAccessibleName(QStringLiteral("プロパティ"));
    m_text->setPlainText(QStringLiteral("読み込み中…"));
    m_close = new QPushButton(QStringLiteral("閉じる"), this);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addLayout(buttons);
    resize(460, 580);
    // Read off the window thread: a file on a slow share never holds the window.
    auto *watcher = new QFutureWatcher<QString>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        if (watcher->future().resultCount()) {
            m_text->setPlainText(watcher->future().result());
            m_read = true;
        }
    });
    watcher->setFuture(QtConcurrent::run(&BackgroundWork::pool(), [nativePath, shown] {
        return Metadata::AsText(Metadata::Read(nativePath, shown));
    }));
    m_close->setFocus();
}

QString PropertiesWindow::text() const { return m_text->toPlainText(); }

void PropertiesWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        close();
    else
        QWidget::keyPressEvent(event);
}
