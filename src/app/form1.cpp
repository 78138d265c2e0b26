#include "app/form1.h"

#include "widgets/commandtoolbar.h"
#include "core/programstate.h"
#include "core/loadgate.h"
#include "core/settings.h"
#include "widgets/statuspanels.h"
#include "widgets/toolbarimages.h"
#include "catalogue/catalogue.h"
#include "catalogue/thumbnailarea.h"
#include "favourites/commands.h"
#include "favourites/favourites.h"
#include "platform/filelist.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"
#include "tree/foldernavigation.h"
#include "tree/foldertree.h"
#include "tree/keyedtree.h"
#include "tree/treeimages.h"
#include "viewer/form3.h"
#include "viewer/hoverpreview.h"
#include "widgets/picturebox.h"
#include "viewer/selection.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QScrollBar>
#include <QTimer>

namespace {
constexpr double ScrollBarWidth = 240.0;
} // namespace

Form1::Form1(PlatformContext &context, ProgramState &state, QWidget *parent)
    : QMainWindow(parent), m_context(context), m_state(state)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    File1 = new FileList(context.fileSystem, this);
    if (const auto start = context.fileSystem.toWindows(NativeFile::CurrentFolder()))
        File1->setPath(*start);
    Timer1 = new QTimer(this);
    Timer1->setInterval(892);
    // Due 892 ms after the first move: never earlier, as a coarse timer may be.
    Timer1->setTimerType(Qt::PreciseTimer);
    buildWidgets();
    buildMenus();
    WireControllers();

    // Disabling the window (the stop box, the dialogs, reading the tree)
    // takes the keyboard focus away; enabling it gives it back.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (now && isAncestorOf(now))
            m_lastFocus = now;
    });

    // Design-time placement: inner area 12015 x 8610 twips at (150, 435).
    const int menuHeight = menuBar()->sizeHint().height();
    setGeometry(Twips::toPixelsX(150), Twips::toPixelsY(435), Twips::toPixelsX(12015),
                Twips::toPixelsY(8610) + menuHeight);
}

void Form1::WireControllers()
{
    m_gate = new LoadGate(this);
    m_folderTree = new FolderTree(m_context, *TreeView1, window, this);
    m_catalogue = new Catalogue(CatalogueParts{this, File1, BackPic, VS1, Bar1, Tbar, pv, TreeView1, Image2, m_context,
                                               m_state, window, *m_gate,
                                               [this] {
                                                   if (m_commands)
                                                       m_commands->CloseSettingsDialog();
                                               }},
                                this);
    m_navigation = new FolderNavigation(NavigationParts{this, TreeView1, File1, VS1, *m_folderTree, m_context, m_state,
                                                        window, *m_gate, [this] { m_catalogue->Rebuild(); }},
                                        this);
    m_hover = new HoverPreview(HoverParts{this, Timer1, BackPic, m_context, m_state,
                                          [this] { return m_selection->viewer() && m_selection->viewer()->isVisible(); }},
                               this);
    m_selection = new Selection(SelectionParts{this, BackPic, [this] { return m_catalogue->shownFiles(); }, Image2, Label1, Tbar, pv, pictemp, pictempPath,
                                               m_context, m_state, window, *m_hover, [this] { CentrePreview(); }},
                                this);
    connect(reviw, &QAction::triggered, m_navigation, &FolderNavigation::Redisplay);
    connect(pv, &QAction::triggered, this, &Form1::OpenSelectedPicture);
    connect(BackPic, &ThumbnailArea::cellClicked, m_selection, &Selection::ThumbnailClicked);
    connect(BackPic, &ThumbnailArea::cellDoubleClicked, m_selection, &Selection::ThumbnailDoubleClicked);
    connect(BackPic, &ThumbnailArea::cellMouseMoved, m_hover, &HoverPreview::MovedOverThumbnail);
    m_favourites = new Favourites(FavouritesParts{this, Like, MenuLikePlus, TreeView1, File1, *m_navigation, m_context,
                                                  m_state, window, *m_gate},
                                  this);
    connect(Addlike, &QAction::triggered, m_favourites, &Favourites::AddFavourite);
    m_commands = new Commands(
        CommandsParts{this,
                      Setting,
                      delfav,
                      closeItem,
                      HELP1,
                      Version,
                      Tbar,
                      *m_favourites,
                      m_context,
                      m_state,
                      *m_gate,
                      [this] { m_navigation->Redisplay(); },
                      [this] { OpenSelectedPicture(); },
                      SettingsDialogParts{this, TreeView1, File1, m_context, m_state, *m_favourites},
                      AboutBoxParts{this, {Frm6, Tbar, BackPic, Bar1, VS1, this}, m_context, m_state}},
        this);
}

Form1::~Form1()
{
    // The windows the controllers own go before the widgets they refer to.
    delete m_commands;
    delete m_selection;
    delete m_hover;
}

void Form1::buildWidgets()
{
    client = new QWidget(this);
    setCentralWidget(client);

    BackPic = new ThumbnailArea(client);
    Twips::place(BackPic, 3690, 405, 8280, 11820);
    BackPic->Lbl1(0).background = ThumbnailArea::CellGrey;

    Frm6 = new QFrame(client);
    Frm6->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Frm6->setAutoFillBackground(true);
    Twips::place(Frm6, 0, 0, 15195, 405);

    buildToolbar();

    TreeView1 = new KeyedTree(client);
    TreeView1->setImageList(TreeImages::make());
    Twips::place(TreeView1, 60, 390, 3540, 5250);

    Lblp = new QLabel(client);
    Lblp->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Twips::place(Lblp, 135, 5625, 3375, 2625);

    Line3 = new QFrame(client);
    Line3->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    Twips::place(Line3, 0, 400, 15195, 15);

    Image2 = new PictureBox(client);
    Image2->hide();

    Label1 = new QLabel(QStringLiteral("ちょっと待ってね♪"), client);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->hide();
    Twips::place(Label1, 135, 5625 + 2625 / 2 - 150, 3375, 300);

    VS1 = new QScrollBar(Qt::Vertical, client);
    VS1->setRange(0, 0);
    VS1->hide();

    Bar1 = new StatusPanels(client);
    Bar1->setAutoFillBackground(true);
    Twips::place(Bar1, 0, 8295, 12015, 315);

    // The pointer over these (the status bar's panels and the scroll bar
    // included) cancels the hover box.
    QList<QWidget *> watched{TreeView1, TreeView1->viewport(), Tbar, Bar1, Lblp, VS1};
    watched += Bar1->findChildren<QWidget *>();
    for (QWidget *widget : watched) {
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
    }
    connect(BackPic, &ThumbnailArea::bareAreaMouseMoved, this, &Form1::CancelHover);
    connect(BackPic, &ThumbnailArea::bareAreaClicked, this, [this] { TreeView1->setFocus(); });
    // The wheel over the thumbnails moves the scroll bar a step per notch,
    // as a click on its arrows does.
    connect(BackPic, &ThumbnailArea::wheelTurned, this, [this](int notches) {
        CancelHover();
        if (VS1->isVisible())
            VS1->setValue(VS1->value() - notches);
    });
}

void Form1::buildToolbar()
{
    Tbar = new CommandToolbar(client);
    Tbar->addSeparatorPosition();
    Tbar->addButtonPosition(ToolbarImages::image(3), QStringLiteral("再読み込み"));
    Tbar->addSeparatorPosition();
    Tbar->addButtonPosition(ToolbarImages::image(1), QStringLiteral("選択された画像を開く"));
    Tbar->addButtonPosition(ToolbarImages::image(2), QStringLiteral("環境設定"));
    Tbar->addButtonPosition(ToolbarImages::image(7), QString());
    Tbar->addSeparatorPosition();
    Tbar->addMenuButtonPosition(ToolbarImages::image(5), QStringLiteral("ヘルプ"),
                                {QStringLiteral("KuRoEViewヘルプ"), QStringLiteral("バージョン情報")});
    Twips::place(Tbar, 0, 15, 15150, 390);
}

void Form1::buildMenus()
{
    menuF = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    menuF->setObjectName(QStringLiteral("menuF"));
    pv = menuF->addAction(QStringLiteral("選択された画像を開く"));
    pv->setObjectName(QStringLiteral("pv"));
    pv->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    menuF->addSeparator()->setObjectName(QStringLiteral("sen3"));
    Setting = menuF->addAction(QStringLiteral("環境設定(&O)"));
    Setting->setObjectName(QStringLiteral("Setting"));
    menuF->addSeparator()->setObjectName(QStringLiteral("sen"));
    closeItem = menuF->addAction(QStringLiteral("閉じる(&C)"));
    closeItem->setObjectName(QStringLiteral("close"));

    MZuziz = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    MZuziz->setObjectName(QStringLiteral("MZuziz"));
    reviw = MZuziz->addAction(QStringLiteral("再表示"));
    reviw->setObjectName(QStringLiteral("reviw"));
    reviw->setShortcut(QKeySequence(Qt::Key_F5));

    Like = menuBar()->addMenu(QStringLiteral("お気に入り(&A)"));
    Like->setObjectName(QStringLiteral("Like"));
    Addlike = Like->addAction(QStringLiteral("お気に入りに追加(&A)"));
    Addlike->setObjectName(QStringLiteral("Addlike"));
    delfav = Like->addAction(QStringLiteral("お気に入りの整理(&C)"));
    delfav->setObjectName(QStringLiteral("delfav"));
    Like->addSeparator()->setObjectName(QStringLiteral("sen4"));
    // The separator stands under the two commands also with no favourites.
    Like->setSeparatorsCollapsible(false);

    HelpIndex = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    HelpIndex->setObjectName(QStringLiteral("HelpIndex"));
    HELP1 = HelpIndex->addAction(QStringLiteral("VoDaRadezuヘルプ(&C)"));
    HELP1->setObjectName(QStringLiteral("HELP1"));
    HelpIndex->addSeparator()->setObjectName(QStringLiteral("sen2"));
    Version = HelpIndex->addAction(QStringLiteral("バージョン情報(&A)"));
    Version->setObjectName(QStringLiteral("Version"));
}

double Form1::ScaleWidth() const { return Twips::fromPixelsX(client->width()); }
double Form1::ScaleHeight() const { return Twips::fromPixelsY(client->height()); }
double Form1::WindowWidth() const { return Twips::fromPixelsX(frameGeometry().width()); }
double Form1::WindowHeight() const { return Twips::fromPixelsY(frameGeometry().height()); }
double Form1::WindowLeft() const { return Twips::fromPixelsX(frameGeometry().x()); }
double Form1::WindowTop() const { return Twips::fromPixelsY(frameGeometry().y()); }

void Form1::Load()
{
    m_folderTree->BuildTreeRoots();
    LayOutMainWindow();
    TreeView1->setCurrentItem(TreeView1->node(QStringLiteral("C:\\")));
    window.CurrentPath = QStringLiteral("C:\\");

    const ProfileStore &profile = m_context.profile;
    m_state.FavCount = 0;
    m_state.HdDrive = ReadSetting(profile, QStringLiteral("SET"), QStringLiteral("HD_DRV"), QStringLiteral("C:"));
    m_state.TypePattern = ReadSetting(profile, QStringLiteral("PATT"), QStringLiteral("TYPE"), PictureTypes::DefaultPattern());
    ReadFavouriteSettings(profile, m_state);
    File1->setPattern(m_state.TypePattern);
    m_favourites->FillMenu();

    Tbar->setButtonEnabled(4, false);
    window.WindowTitle = QStringLiteral("KuRoE Zuziz");
    setWindowTitle(window.WindowTitle);
    BackPic->Image1(0).visible = false;
    m_state.StopRequest = false;
    m_catalogue->ResetCatalogue();
    BackPic->Lbl1(0).visible = false;
    show();
    // The window is painted before the start folder is read, however large.
    PlatformContext::yield();
    // The first load measures the area as the window shows it; measured at
    // its design height it would count more thumbnails per screen than fit,
    // and the rows below the window could never be scrolled to.
    Twips::setHeight(BackPic, Twips::top(Bar1));
    m_catalogue->LoadThumbnails();
    m_catalogue->ShowLoadResult();

    m_context.windows->setTopMost(this, true);
    m_context.windows->setTopMost(this, false);
    // The area reaches down to the status bar, and keeps the rows the load
    // added below it: cut back, they could never be scrolled to or clicked.
    if (Twips::height(BackPic) < Twips::top(Bar1))
        Twips::setHeight(BackPic, Twips::top(Bar1));
    PlatformContext::yield();
    TreeView1->setFocus();
}

void Form1::LayOutMainWindow()
{
    // The status bar is docked to the bottom edge, so its top follows the
    // window's inner height.
    Twips::setTop(Bar1, ScaleHeight() - Twips::height(Bar1));
    Twips::setWidth(Bar1, ScaleWidth());
    File1->width = ScaleWidth() - File1->left;
    Twips::setTop(Lblp, Twips::top(Bar1) - Twips::height(Lblp) - 100);
    Twips::setTop(Label1, Twips::top(Lblp) + (Twips::height(Lblp) - Twips::height(Label1)) / 2);
    Twips::setHeight(TreeView1, Twips::top(Lblp) - 600);
    File1->height = Twips::height(TreeView1) + 100;
    // The preview stays centred in its box wherever the box goes.
    if (!Image2->isHidden())
        CentrePreview();
}

void Form1::CentrePreview()
{
    Twips::setTop(Image2, Twips::top(Lblp) + Twips::height(Lblp) / 2 - Twips::height(Image2) / 2);
    Twips::setLeft(Image2, Twips::left(Lblp) + Twips::width(Lblp) / 2 - Twips::width(Image2) / 2);
}

void Form1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (!BackPic)
        return;
    Twips::setWidth(BackPic, ScaleWidth() - Twips::left(BackPic));
    LayOutMainWindow();
    // The scroll bar stands at the right edge, from the toolbar to the status bar.
    Twips::place(VS1, ScaleWidth() - ScrollBarWidth, 405, ScrollBarWidth, Twips::top(Bar1) - 405);
    BackPic->lower();
    VS1->raise();
    Bar1->raise();
}

void Form1::OKINIIRICLK(int index) { m_favourites->OKINIIRICLK(index); }

void Form1::OpenSelectedPicture()
{
    if (window.SelectedIndex >= 0)
        m_selection->OpenViewer(window.SelectedIndex);
}

void Form1::SelectFile(const QByteArray &nativeName)
{
    const QByteArray ending = '/' + nativeName;
    const std::shared_ptr<const FileList::Listing> files = m_catalogue->shownFiles();
    for (int i = 0; i < files->count() && i < m_state.ThumbCount; ++i) {
        if (files->nativePath(i).endsWith(ending)) {
            m_selection->ThumbnailClicked(i);
            return;
        }
    }
}

void Form1::CancelHover()
{
    if (m_hover)
        m_hover->CancelHover();
}

void Form1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        CancelHover();
    if (event->type() == QEvent::EnabledChange && isEnabled() && m_lastFocus && m_lastFocus->isEnabled() &&
        !m_lastFocus->hasFocus())
        m_lastFocus->setFocus();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseMove || type == QEvent::HoverMove || type == QEvent::Wheel ||
        (watched == VS1 && type == QEvent::MouseButtonPress))
        CancelHover();
    return QMainWindow::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent *event)
{
    Unload();
    event->accept();
}

void Form1::Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // A load under way stops after the file in hand, and the other windows
    // go with this one; the program ends once the handlers that are still
    // on the stack have returned.
    if (m_gate->loading())
        m_state.StopRequest = true;
    for (QWidget *other : QApplication::topLevelWidgets())
        if (other != this && other->isVisible())
            other->hide();
    if (!m_state.TempPath.isEmpty()) {
        m_context.fileSystem.deleteFiles(m_state.TempPath + QStringLiteral("\\KRUtemp\\*.tmp"));
        m_context.fileSystem.removeFolder(m_state.TempPath + QStringLiteral("\\KRUtemp"));
    }
    m_context.endProgram(0);
}
