#include "viewer/form3.h"

#include "platform/eventloops.h"
#include "widgets/commandtoolbar.h"
#include "core/programstate.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"
#include "viewer/full.h"
#include "widgets/picturebox.h"
#include "viewer/primgsetfrom3.h"
#include "viewer/viewerimages.h"

#include <QCloseEvent>
#include <QFrame>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QWheelEvent>

#include <algorithm>

Form3::Form3(QWidget *mainWindow, PlatformContext &context, ProgramState &state, QWidget *parent)
    : QMainWindow(parent), m_main(mainWindow), m_context(context), m_state(state),
      m_parts{this, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &Pic, state, *context.windows, {}, {}, {}}
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    buildWidgets();
    buildMenus();
    m_parts.Tlb = Tlb;
    m_parts.StBar = StBar;
    m_parts.img = img;
    m_parts.BigV = BigV;
    m_parts.SmlV = SmlV;
    m_parts.DefV = DefV;
    m_parts.unloaded = [this] { return m_unloaded; };
    m_parts.showFullScreen = [this] { ShowFullScreen(); };
    m_parts.setOuterSize = [this](double width, double height) { setOuterSize(width, height); };
    // The window takes the sizes the viewer computes, not the menu's width.
    setMinimumSize(1, 1);
    // Design-time inner area 6435 x 4755.
    resize(Twips::toPixelsX(6435), Twips::toPixelsY(4755) + menuBar()->sizeHint().height());
    Load();
}

Form3::~Form3()
{
    delete m_full.data();
}

void Form3::buildWidgets()
{
    auto *client = new QWidget(this);
    setCentralWidget(client);

    backPicv = new PictureBox(client);
    QPalette black = backPicv->palette();
    black.setColor(QPalette::Window, Qt::black);
    backPicv->setPalette(black);
    backPicv->setAutoFillBackground(true);
    img = new PictureBox(backPicv);

    Fram = new QFrame(client);
    Fram->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Fram->setAutoFillBackground(true);

    Tlb = new CommandToolbar(client);
    Tlb->setAutoFillBackground(true);
    Tlb->addButtonPosition(ViewerImages::image(1), QStringLiteral("拡大"));
    Tlb->addButtonPosition(ViewerImages::image(2), QStringLiteral("縮小"));
    Tlb->addButtonPosition(ViewerImages::image(3), QStringLiteral("フルスクリーン表示"));
    Tlb->addSeparatorPosition();
    Tlb->addButtonPosition(ViewerImages::image(4), QStringLiteral("等倍表示"));
    Twips::place(Tlb, 0, 0, Twips::fromPixelsX(Tlb->sizeHint().width()),
                 Twips::fromPixelsY(Tlb->sizeHint().height()));
    Twips::place(Fram, -10, 0, 6435 + 100, 400);

    StBar = new QStatusBar(client);
    StBar->setSizeGripEnabled(false);
    StBar->setAutoFillBackground(true);
    Twips::place(StBar, 0, 4755 - 315, 6435, 315);

    connect(Tlb, &CommandToolbar::buttonClicked, this,
            [this](int position) { RunCommand(static_cast<std::int16_t>(position)); });
    for (PictureBox *box : {backPicv, img}) {
        connect(box, &PictureBox::pressed, this, [this, box](Qt::MouseButton button, double x, double y) {
            if (box == img) {
                AnchorX = static_cast<float>(x);
                AnchorY = static_cast<float>(y);
            }
            PressGesture(button);
        });
        connect(box, &PictureBox::released, this, &Form3::Released);
        connect(box, &PictureBox::doubleClicked, this, &Form3::BackToThumbnails);
    }
    connect(img, &PictureBox::moved, this, &Form3::Drag);
}

void Form3::buildMenus()
{
    file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("file"));
    closeItem = file->addAction(QStringLiteral("サイルネームに戻る"));
    closeItem->setObjectName(QStringLiteral("close"));
    file->addSeparator()->setObjectName(QStringLiteral("sen"));
    closeAll = file->addAction(QStringLiteral("閉じる"));
    closeAll->setObjectName(QStringLiteral("closeAll"));

    view = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    view->setObjectName(QStringLiteral("view"));
    const auto addCommand = [this](const QString &caption, const char *name, std::int16_t command) {
        QAction *action = view->addAction(caption);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
        return action;
    };
    BigV = addCommand(QStringLiteral("拡大"), "BigV", 1);
    SmlV = addCommand(QStringLiteral("縮小"), "SmlV", 2);
    DefV = addCommand(QStringLiteral("等倍表示"), "DefV", 5);
    DefV->setEnabled(false);
    view->addSeparator()->setObjectName(QStringLiteral("sen2"));
    FullV = addCommand(QStringLiteral("フルスクリーン"), "FullV", 3);

    connect(closeItem, &QAction::triggered, this, &Form3::Unload);
    connect(closeAll, &QAction::triggered, this, [this] {
        // The program ends at once, without the main window's shut-down.
        hide();
        context().endProgram(0);
    });
}

void Form3::Load()
{
    m_state.ZoomLevel = 5;
    m_state.PressCount = 0;
    PlatformContext::yield();
    Tlb->setButtonEnabled(5, false);
    Tlb->setFocus();
    Twips::place(backPicv, -10, -10, Width() + 100, Twips::height(backPicv));
}

double Form3::Left() const { return Twips::windowLeft(this); }
double Form3::Top() const { return Twips::windowTop(this); }
double Form3::Width() const { return Twips::windowWidth(this); }
double Form3::Height() const { return Twips::windowHeight(this); }
void Form3::setWidth(double width) { setOuterSize(width, Height()); }
void Form3::setHeight(double height) { setOuterSize(Width(), height); }

void Form3::setOuterSize(double width, double height)
{
    // Before it was first shown the viewer opens on the main window's screen.
    const QWidget *reference = isVisible() ? static_cast<const QWidget *>(this) : m_main;
    const QRectF area = Twips::workArea(reference);
    if (!area.isEmpty()) {
        width = std::min(width, area.width());
        height = std::min(height, area.height());
    }
    Twips::setWindowSize(this, width, height);
    if (isVisible())
        Twips::keepInsideWorkArea(this, this);
}
double Form3::ScaleWidth() const { return Twips::fromPixelsX(centralWidget()->width()); }
double Form3::ScaleHeight() const { return Twips::fromPixelsY(centralWidget()->height()); }

void Form3::DockBars()
{
    // The toolbar runs along the top and the status bar along the bottom
    // of the inner area, whatever the window's size.
    Twips::setWidth(Tlb, ScaleWidth());
    Twips::place(StBar, 0, ScaleHeight() - Twips::height(StBar), ScaleWidth(), Twips::height(StBar));
    backPicv->lower();
    Fram->raise();
    Tlb->raise();
    StBar->raise();
}

void Form3::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    DockBars();
    Twips::place(backPicv, -10, -10, Width() + 100, Height() + 100);
    Twips::setLeft(Fram, -10);
    Twips::setWidth(Fram, Width() + 100);
    PrimgSetFrom3::PlacePicture(m_parts);
}

void Form3::showEvent(QShowEvent *event)
{
    if (!m_centred) {
        // Centred on the screen of the main window when first shown.
        m_centred = true;
        if (const QScreen *screen = m_main->screen()) {
            const QRect area = screen->geometry();
            Twips::setWindowPosition(this, Twips::fromPixelsX(area.x()) + (Twips::fromPixelsX(area.width()) - Width()) / 2,
                                     Twips::fromPixelsY(area.y()) + (Twips::fromPixelsY(area.height()) - Height()) / 2);
            Twips::keepInsideWorkArea(this, m_main);
        }
    }
    QMainWindow::showEvent(event);
}

void Form3::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && isVisible())
        context().windows->setTopMost(this, true);
}

void Form3::closeEvent(QCloseEvent *event)
{
    event->ignore();
    Unload();
}

void Form3::Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_main->show();
    m_main->activateWindow();
    hide();
    if (m_full)
        m_full->Unload();
    emit unloaded();
    EventLoops::releaseWhenOutermost(this);
}

void Form3::ShowFullScreen()
{
    if (m_full && !m_full->isUnloaded())
        m_full->Unload();
    m_full = new Full(FullScreenParts{this, img, m_state, *m_context.windows, [this] { ReturnFromFullScreen(); },
                                        [this] {
                                            m_main->show();
                                            Unload();
                                        }});
    m_full->ShowOnScreen();
    hide();
}

void Form3::ReturnFromFullScreen()
{
    show();
    if (m_full)
        m_full->Unload();
    PrimgSetFrom3::PlacePicture(m_parts);
}

void Form3::PressGesture(Qt::MouseButton button)
{
    if (button == Qt::MiddleButton) {
        ShowFullScreen();
    } else if (button == Qt::LeftButton) {
        m_state.PressCount = 1;
    } else if (button == Qt::RightButton) {
        ++m_state.PressCount;
    }
    if (m_state.PressCount == 2)
        ShowFullScreen();
}

void Form3::Released() { m_state.PressCount = 0; }

void Form3::Drag(Qt::MouseButtons buttons, double x, double y)
{
    if (m_state.Draggable != 1 || buttons != Qt::LeftButton)
        return;
    if (x == AnchorX && y == AnchorY)
        return;
    const double newLeft = Twips::left(img) + (x - AnchorX);
    if (newLeft + Twips::width(img) >= Width() - 130 && newLeft <= 0)
        Twips::setLeft(img, newLeft);
    const double toolbar = Twips::height(Tlb);
    const double newTop = Twips::top(img) + (y - AnchorY);
    if (newTop + Twips::height(img) >= Height() - toolbar - Twips::height(StBar) - 250 && newTop <= toolbar + 50)
        Twips::setTop(img, newTop);
}

void Form3::wheelEvent(QWheelEvent *event)
{
    // The wheel scrolls a picture larger than the window, within the limits
    // a drag has; Shift turns it sideways.
    event->accept();
    if (m_state.Draggable != 1)
        return;
    const QPointF step = PictureBox::WheelStep(*event);
    ScrollPicture(step.x(), step.y());
}

void Form3::ScrollPicture(double dx, double dy)
{
    const double toolbar = Twips::height(Tlb);
    const double lowestLeft = Width() - 130 - Twips::width(img);
    if (lowestLeft <= 0 && dx != 0)
        Twips::setLeft(img, std::clamp(Twips::left(img) + dx, lowestLeft, 0.0));
    const double lowestTop = Height() - toolbar - Twips::height(StBar) - 250 - Twips::height(img);
    if (lowestTop <= toolbar + 50 && dy != 0)
        Twips::setTop(img, std::clamp(Twips::top(img) + dy, lowestTop, toolbar + 50));
}

void Form3::RunCommand(std::int16_t n)
{
    // A second click while a command yields works on a level the first one
    // is still changing: it is left out.
    const EventLoops::OneAtATime once(m_commandRunning);
    if (!once.entered() || m_unloaded)
        return;
    PrimgSetFrom3::ViewCommand(m_parts, n);
}

void Form3::BackToThumbnails()
{
    const EventLoops::OneAtATime once(m_leaving);
    if (!once.entered())
        return;
    PlatformContext::yield();
    if (m_unloaded)
        return;
    m_main->show();
    Unload();
}
