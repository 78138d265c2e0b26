// A window that takes what is dropped on it, as a mail program or a file
// manager does, and writes the text/uri-list it was given to a file:
// kuroeview-droptarget OUTPUT [X Y]. The window is titled "drop target",
// placed at X, Y, and ends after the first drop.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QWidget>

#include <cstdlib>

namespace {

class DropTarget : public QWidget
{
public:
    explicit DropTarget(QString output) : m_output(std::move(output))
    {
        setWindowTitle(QStringLiteral("drop target"));
        setAcceptDrops(true);
        setAutoFillBackground(true);
        QPalette shade = palette();
        shade.setColor(QPalette::Window, QColor(0, 160, 0));
        setPalette(shade);
    }

protected:
    void dragEnterEvent(QDragEnterEvent *event) override
    {
        if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
            event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent *event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent *event) override
    {
        QFile file(m_output);
        if (file.open(QIODevice::WriteOnly))
            file.write(event->mimeData()->data(QStringLiteral("text/uri-list")));
        file.close();
        event->acceptProposedAction();
        QApplication::quit();
    }

private:
    QString m_output;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc != 2 && argc != 4)
        return 2;
    DropTarget target(QString::fromLocal8Bit(argv[1]));
    target.setGeometry(argc == 4 ? std::atoi(argv[2]) : 0, argc == 4 ? std::atoi(argv[3]) : 0, 300, 250);
    target.show();
    return application.exec();
}
