#include "viewer/viewerwindow.h"

#include "platform/eventloops.h"
#include "viewer/animationplayer.h"
#include "widgets/commandtoolbar.h"
#include "core/programstate.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"
#include "viewer/fullscreenview.h"
#include "widgets/picturebox.h"
#include "viewer/viewerzoom.h"
#include "viewer/viewerimages.h"

#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QWheelEvent>

#include <algorithm>

ViewerWindow::ViewerWindow(QWidget *mainWindow, PlatformContext &context, ProgramState &state, QWidget *parent)
    : UnloadingWindow<QMainWindow>(parent), m_main(mainWindow), m_context(context), m_state(state),
      m_parts{this, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &Pic, state, *context.windows, {}, {}, {}}
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_animation = new AnimationPlayer(this);
    buildWidgets();
    buildMenus();
    m_parts.toolbar = toolbar;
    m_parts.statusLine = statusLine;
    m_parts.pictureBox = pictureBox;
    m_parts.zoomInAction = zoomInAction;
    m_parts.zoomOutAction = zoomOutAction;
    m_parts.naturalSizeAction = naturalSizeAction;
    m_parts.unloaded = [this] { return isUnloaded(); };
    m_parts.showFullScreen = [this] { ShowFullScreen(); };
    m_parts.setOuterSize = [this](double width, double height) { setOuterSize(width, height); };
    // The window takes the sizes the viewer computes, not the menu's width.
    setMinimumSize(1, 1);
    // Design-time inner area 6435 x 4755.
    resize(Twips::toPixelsX(6435), Twips::toPixelsY(4755) + menuBar()->sizeHint().height());
    Load();
}

ViewerWindow::~ViewerWindow()
{
    delete m_full.data();
}

void ViewerWindow::buildWidgets()
{
    auto *client = new QWidget(this);
    setCentralWidget(client);

    pictureBackground = new PictureBox(client);
    QPalette black = pictureBackground->palette();
    black.setColor(QPalette::Window, Qt::black);
    pictureBackground->setPalette(black);
    pictureBackground->setAutoFillBackground(true);
    pictureBox = new PictureBox(pictureBackground);

    toolbarFrame = new QFrame(client);
    toolbarFrame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    toolbarFrame->setAutoFillBackground(true);

    toolbar = new CommandToolbar(client);
    toolbar->setAutoFillBackground(true);
    toolbar->addButtonPosition(ViewerImages::image(1), QStringLiteral("拡大"));
    toolbar->addButtonPosition(ViewerImages::image(2), QStringLiteral("縮小"));
    toolbar->addButtonPosition(ViewerImages::image(3), QStringLiteral("フルスクリーン表示"));
    toolbar->addSeparatorPosition();
    toolbar->addButtonPosition(ViewerImages::image(4), QStringLiteral("等倍表示"));
    Twips::place(toolbar, 0, 0, Twips::fromPixelsX(toolbar->sizeHint().width()),
                 Twips::fromPixelsY(toolbar->sizeHint().height()));
    Twips::place(toolbarFrame, -10, 0, 6435 + 100, 400);

    statusLine = new QStatusBar(client);
    statusLine->setSizeGripEnabled(false);
    statusLine->setAutoFillBackground(true);
    Twips::place(statusLine, 0, 4755 - 315, 6435, 315);

    for (PictureBox *box : {pictureBackground, pictureBox}) {
        connect(box, &PictureBox::pressed, this, [this, box](Qt::MouseButton button, double x, double y) {
            if (box == pictureBox) {
                AnchorX = static_cast<float>(x);
                AnchorY = static_cast<float>(y);
            }
            PressGesture(button);
        });
        connect(box, &PictureBox::released, this, &ViewerWindow::Released);
        connect(box, &PictureBox::doubleClicked, this, &ViewerWindow::BackToThumbnails);
    }
    connect(pictureBox, &PictureBox::moved, this, &ViewerWindow::Drag);
}

void ViewerWindow::buildMenus()
{
    fileMenu = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    fileMenu->setObjectName(QStringLiteral("file"));
    closeAction = fileMenu->addAction(QStringLiteral("サイルネームに戻る"));
    closeAction->setObjectName(QStringLiteral("close"));
    propertiesAction = fileMenu->addAction(QStringLiteral("プロパティ(&R)"));
    propertiesAction->setObjectName(QStringLiteral("propertiesAction"));
    connect(propertiesAction, &QAction::triggered, this, &ViewerWindow::ShowProperties);
    fileMenu->addSeparator()->setObjectName(QStringLiteral("sen"));
    closeAllAction = fileMenu->addAction(QStringLiteral("閉じる"));
    closeAllAction->setObjectName(QStringLiteral("closeAllAction"));

    viewMenu = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    viewMenu->setObjectName(QStringLiteral("view"));
    // Each command one action, run by its menu item, its toolbar button and its keys.
    const auto addCommand = [this](const QString &caption, const char *name, ViewerZoom::Command command) {
        QAction *action = viewMenu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
        toolbar->bindCommand(int(command), action);
        return action;
    };
    zoomInAction = addCommand(QStringLiteral("拡大"), "zoomInAction", ViewerZoom::Command::ZoomIn);
    zoomOutAction = addCommand(QStringLiteral("縮小"), "zoomOutAction", ViewerZoom::Command::ZoomOut);
    naturalSizeAction = addCommand(QStringLiteral("等倍表示"), "naturalSizeAction", ViewerZoom::Command::NaturalSize);
    naturalSizeAction->setEnabled(false);
    viewMenu->addSeparator()->setObjectName(QStringLiteral("sen2"));
    fullScreenAction = addCommand(QStringLiteral("フルスクリーン"), "fullScreenAction", ViewerZoom::Command::FullScreen);

    // Keys beside the menus: the zoom commands by +, - and 0, Escape back to
    // the thumbnails, and the pictures of the folder one after another.
    const auto keys = [](std::initializer_list<QKeyCombination> codes) {
        QList<QKeySequence> sequences;
        for (const QKeyCombination code : codes)
            sequences.append(QKeySequence(code));
        return sequences;
    };
    // The menus keep no keys of their own, as they always had none.
    const auto addKeys = [&](const char *name, QAction *command, std::initializer_list<QKeyCombination> codes) {
        auto *action = new QAction(this);
        action->setObjectName(QLatin1String(name));
        action->setShortcuts(keys(codes));
        addAction(action);
        connect(action, &QAction::triggered, command, [command] {
            if (command->isEnabled())
                command->trigger();
        });
    };
    addKeys("zoomInKeys", zoomInAction, {Qt::Key_Plus, Qt::KeypadModifier | Qt::Key_Plus, Qt::Key_Equal});
    addKeys("zoomOutKeys", zoomOutAction, {Qt::Key_Minus, Qt::KeypadModifier | Qt::Key_Minus});
    addKeys("naturalSizeKeys", naturalSizeAction, {Qt::Key_0, Qt::KeypadModifier | Qt::Key_0});
    // Escape leaves full screen first: until the window manager has given the
    // full-screen window the focus, the keys still come to this hidden one.
    // A held key goes back one window, not through them all.
    auto *backKeys = new QAction(this);
    backKeys->setObjectName(QStringLiteral("backKeys"));
    backKeys->setShortcuts(keys({Qt::Key_Escape}));
    backKeys->setAutoRepeat(false);
    addAction(backKeys);
    connect(backKeys, &QAction::triggered, this, &ViewerWindow::GoBack);
    // Alt+Enter shows the picture's properties.
    auto *propertiesKeys = new QAction(this);
    propertiesKeys->setObjectName(QStringLiteral("propertiesKeys"));
    propertiesKeys->setShortcuts(keys({Qt::ALT | Qt::Key_Return, Qt::ALT | Qt::Key_Enter}));
    propertiesKeys->setAutoRepeat(false);
    addAction(propertiesKeys);
    connect(propertiesKeys, &QAction::triggered, this, &ViewerWindow::ShowProperties);
    // P pauses an animation and plays it on.
    pauseAction = new QAction(this);
    pauseAction->setObjectName(QStringLiteral("pauseAction"));
    pauseAction->setShortcuts(keys({Qt::Key_P}));
    pauseAction->setAutoRepeat(false);
    addAction(pauseAction);
    connect(pauseAction, &QAction::triggered, this, [this] { m_animation->togglePause(); });
    const auto addStep = [&](const char *name, ViewerStep step, std::initializer_list<QKeyCombination> codes) {
        auto *action = new QAction(this);
        action->setObjectName(QLatin1String(name));
        // The same keys of the keypad (its arrows, Home and End, with Num Lock off).
        QList<QKeySequence> sequences = keys(codes);
        for (const QKeyCombination code : codes)
            if (code.key() != Qt::Key_Space && code.key() != Qt::Key_Backspace)
                sequences.append(QKeySequence(Qt::KeypadModifier | code.key()));
        action->setShortcuts(sequences);
        addAction(action);
        connect(action, &QAction::triggered, this, [this, step] {
            if (!isUnloaded())
                emit stepRequested(step);
        });
        return action;
    };
    nextAction = addStep("nextAction", ViewerStep::Next, {Qt::Key_Right, Qt::Key_Down, Qt::Key_PageDown, Qt::Key_Space});
    previousAction = addStep("previousAction", ViewerStep::Previous, {Qt::Key_Left, Qt::Key_Up, Qt::Key_PageUp, Qt::Key_Backspace});
    firstAction = addStep("firstAction", ViewerStep::First, {Qt::Key_Home});
    lastAction = addStep("lastAction", ViewerStep::Last, {Qt::Key_End});

    connect(closeAction, &QAction::triggered, this, &ViewerWindow::Unload);
    connect(closeAllAction, &QAction::triggered, this, [this] {
        // The program ends at once, without the main window's shut-down.
        hide();
        context().endProgram(0);
    });
}

void ViewerWindow::Load()
{
    m_state.ZoomLevel = 5;
    m_state.PressCount = 0;
    PlatformContext::yield();
    naturalSizeAction->setEnabled(false);
    toolbar->setFocus();
    Twips::place(pictureBackground, -10, -10, Width() + 100, Twips::height(pictureBackground));
}

double ViewerWindow::Left() const { return Twips::windowLeft(this); }
double ViewerWindow::Top() const { return Twips::windowTop(this); }
double ViewerWindow::Width() const { return Twips::windowWidth(this); }
double ViewerWindow::Height() const { return Twips::windowHeight(this); }
void ViewerWindow::setWidth(double width) { setOuterSize(width, Height()); }
void ViewerWindow::setHeight(double height) { setOuterSize(Width(), height); }

void ViewerWindow::setOuterSize(double width, double height)
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
double ViewerWindow::ScaleWidth() const { return Twips::fromPixelsX(centralWidget()->width()); }
double ViewerWindow::ScaleHeight() const { return Twips::fromPixelsY(centralWidget()->height()); }

void ViewerWindow::DockBars()
{
    // The toolbar runs along the top and the status bar along the bottom
    // of the inner area, whatever the window's size.
    Twips::setWidth(toolbar, ScaleWidth());
    Twips::place(statusLine, 0, ScaleHeight() - Twips::height(statusLine), ScaleWidth(), Twips::height(statusLine));
    pictureBackground->lower();
    toolbarFrame->raise();
    toolbar->raise();
    statusLine->raise();
}

void ViewerWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    DockBars();
    Twips::place(pictureBackground, -10, -10, Width() + 100, Height() + 100);
    Twips::setLeft(toolbarFrame, -10);
    Twips::setWidth(toolbarFrame, Width() + 100);
    ViewerZoom::PlacePicture(m_parts);
}

void ViewerWindow::showEvent(QShowEvent *event)
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

void ViewerWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && isVisible())
        context().windows->setTopMost(this, true);
}

void ViewerWindow::PlayFrames()
{
    m_animation->play(Pic.mayAnimate ? Pic.source : QByteArray(), [this](const QImage &frame) {
        if (isUnloaded())
            return;
        Pic.image = frame;
        pictureBox->setPicture(Pic);
        if (m_full && !m_full->isUnloaded())
            m_full->pictureBox->setPicture(Pic);
    });
}

void ViewerWindow::ShowProperties()
{
    if (isUnloaded() || Pic.source.isEmpty())
        return;
    if (m_properties)
        m_properties->close();
    Metadata::Shown shown;
    const qsizetype cut = m_shownPath.lastIndexOf(QLatin1Char('\\'));
    shown.name = m_shownPath.mid(cut + 1);
    shown.folder = cut > 0 ? m_shownPath.left(cut) : QString();
    shown.pixels = QSize(Twips::toPixelsX(Pic.widthTwips), Twips::toPixelsY(Pic.heightTwips));
    shown.sensor = Pic.sensorPixels;
    m_properties = new PropertiesWindow(Pic.source, shown, this);
    m_properties->show();
    m_properties->activateWindow();
}

void ViewerWindow::Unloading()
{
    m_animation->stop();
    if (m_properties)
        m_properties->close();
    m_main->show();
    m_main->activateWindow();
    hide();
    if (m_full)
        m_full->Unload();
    emit unloaded();
}

void ViewerWindow::GoBack()
{
    if (isUnloaded())
        return;
    if (m_full && !m_full->isUnloaded())
        ReturnFromFullScreen();
    else if (closeAction->isEnabled())
        closeAction->trigger();
}

void ViewerWindow::keyPressEvent(QKeyEvent *event)
{
    ViewerStep step;
    if (ViewerStepOfKey(event->key(), step) && !isUnloaded())
        emit stepRequested(step);
    else
        QMainWindow::keyPressEvent(event);
}

void ViewerWindow::ResetZoom()
{
    m_state.ZoomLevel = 5;
    m_state.PressCount = 0;
    zoomInAction->setEnabled(true);
    zoomOutAction->setEnabled(true);
    naturalSizeAction->setEnabled(false);
}

void ViewerWindow::PictureChanged()
{
    if (m_full && !m_full->isUnloaded())
        m_full->TakeViewerPicture();
}

void ViewerWindow::ShowFullScreen()
{
    if (m_full && !m_full->isUnloaded())
        m_full->Unload();
    m_full = new FullScreenView(FullScreenParts{this, pictureBox, m_state, *m_context.windows, [this] { ReturnFromFullScreen(); },
                                        [this] {
                                            m_main->show();
                                            Unload();
                                        },
                                        [this](ViewerStep step) {
                                            if (!isUnloaded())
                                                emit stepRequested(step);
                                        },
                                        [this] { m_animation->togglePause(); }});
    m_full->ShowOnScreen();
    hide();
}

void ViewerWindow::ReturnFromFullScreen()
{
    show();
    if (m_full)
        m_full->Unload();
    ViewerZoom::PlacePicture(m_parts);
}

void ViewerWindow::PressGesture(Qt::MouseButton button)
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

void ViewerWindow::Released() { m_state.PressCount = 0; }

void ViewerWindow::Drag(Qt::MouseButtons buttons, double x, double y)
{
    if (m_state.Draggable != 1 || buttons != Qt::LeftButton)
        return;
    if (x == AnchorX && y == AnchorY)
        return;
    const double newLeft = Twips::left(pictureBox) + (x - AnchorX);
    if (newLeft + Twips::width(pictureBox) >= Width() - 130 && newLeft <= 0)
        Twips::setLeft(pictureBox, newLeft);
    const double toolbarHeight = Twips::height(toolbar);
    const double newTop = Twips::top(pictureBox) + (y - AnchorY);
    if (newTop + Twips::height(pictureBox) >= Height() - toolbarHeight - Twips::height(statusLine) - 250 && newTop <= toolbarHeight + 50)
        Twips::setTop(pictureBox, newTop);
}

void ViewerWindow::wheelEvent(QWheelEvent *event)
{
    // The wheel scrolls a picture larger than the window, within the limits
    // a drag has; Shift turns it sideways.
    event->accept();
    if (m_state.Draggable != 1)
        return;
    const QPointF step = PictureBox::WheelStep(*event);
    ScrollPicture(step.x(), step.y());
}

void ViewerWindow::ScrollPicture(double dx, double dy)
{
    const double toolbarHeight = Twips::height(toolbar);
    const double lowestLeft = Width() - 130 - Twips::width(pictureBox);
    if (lowestLeft <= 0 && dx != 0)
        Twips::setLeft(pictureBox, std::clamp(Twips::left(pictureBox) + dx, lowestLeft, 0.0));
    const double lowestTop = Height() - toolbarHeight - Twips::height(statusLine) - 250 - Twips::height(pictureBox);
    if (lowestTop <= toolbarHeight + 50 && dy != 0)
        Twips::setTop(pictureBox, std::clamp(Twips::top(pictureBox) + dy, lowestTop, toolbarHeight + 50));
}

void ViewerWindow::RunCommand(ViewerZoom::Command command)
{
    // A second click while a command yields works on a level the first one
    // is still changing: it is left out.
    const EventLoops::OneAtATime once(m_commandRunning);
    if (!once.entered() || isUnloaded())
        return;
    ViewerZoom::ViewCommand(m_parts, command);
}

void ViewerWindow::BackToThumbnails()
{
    const EventLoops::OneAtATime once(m_leaving);
    if (!once.entered())
        return;
    PlatformContext::yield();
    if (isUnloaded())
        return;
    m_main->show();
    Unload();
}
