#include "catalogue/viewchoices.h"

#include "catalogue/catalogue.h"
#include "catalogue/thumbnailarea.h"
#include "catalogue/thumbnaildrawing.h"
#include "core/settings.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

namespace {
const QString Section = QStringLiteral("VIEW");

struct OrderChoice
{
    FileList::Order order;
    const char *key;
    const char *caption;
};
const OrderChoice Orders[] = {
    {FileList::Order::Name, "NAME", "名前"},
    {FileList::Order::Natural, "NATURAL", "名前 (数字順)"},
    {FileList::Order::Modified, "MODIFIED", "更新日時"},
    {FileList::Order::Taken, "TAKEN", "撮影日時"},
    {FileList::Order::Size, "SIZE", "サイズ"},
    {FileList::Order::Type, "TYPE", "種類"},
};

struct SizeChoice
{
    int pixels; // 0: the program's own 600 twips
    const char *key;
    const char *caption;
};
const SizeChoice Sizes[ViewChoices::SizeCount] = {
    {0, "STANDARD", "標準"},
    {96, "96", "96 ピクセル"},
    {128, "128", "128 ピクセル"},
    {256, "256", "256 ピクセル"},
};
} // namespace

double ViewChoices::SideOf(int size)
{
    if (size <= 0 || size >= SizeCount)
        return ThumbnailDrawing::LargestSide;
    return Sizes[size].pixels * Twips::perPixelX();
}

ViewChoices::ViewChoices(QMenu *viewMenu, FileList &fileList, Catalogue &catalogue, PlatformContext &context,
                         QObject *parent)
    : QObject(parent), m_fileList(fileList), m_catalogue(catalogue), m_context(context)
{
    viewMenu->addSeparator()->setObjectName(QStringLiteral("viewChoicesSeparator"));
    sizeMenu = viewMenu->addMenu(QStringLiteral("サムネイルの大きさ(&S)"));
    sizeMenu->setObjectName(QStringLiteral("sizeMenu"));
    auto *sizes = new QActionGroup(this);
    for (int size = 0; size < SizeCount; ++size) {
        QAction *action = sizeMenu->addAction(QString::fromUtf8(Sizes[size].caption));
        action->setObjectName(QStringLiteral("size") + QLatin1String(Sizes[size].key));
        action->setCheckable(true);
        sizes->addAction(action);
        sizeActions.append(action);
        connect(action, &QAction::triggered, this, &ViewChoices::SizeChosen);
    }
    sizeActions.first()->setChecked(true);
    sizeMenu->addSeparator();
    largerAction = sizeMenu->addAction(QStringLiteral("大きく(&L)"));
    largerAction->setObjectName(QStringLiteral("sizeLarger"));
    largerAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    connect(largerAction, &QAction::triggered, this, [this] { StepSize(1); });
    smallerAction = sizeMenu->addAction(QStringLiteral("小さく(&M)"));
    smallerAction->setObjectName(QStringLiteral("sizeSmaller"));
    smallerAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    connect(smallerAction, &QAction::triggered, this, [this] { StepSize(-1); });
    connect(catalogue.parts().thumbnailArea, &ThumbnailArea::sizeStepRequested, this, &ViewChoices::StepSize);

    orderMenu = viewMenu->addMenu(QStringLiteral("並べ替え(&O)"));
    orderMenu->setObjectName(QStringLiteral("orderMenu"));
    auto *group = new QActionGroup(this);
    for (const OrderChoice &choice : Orders) {
        QAction *action = orderMenu->addAction(QString::fromUtf8(choice.caption));
        action->setObjectName(QStringLiteral("order") + QLatin1String(choice.key));
        action->setCheckable(true);
        action->setData(int(choice.order));
        group->addAction(action);
        orderActions.append(action);
        connect(action, &QAction::triggered, this, &ViewChoices::OrderChosen);
    }
    orderActions.first()->setChecked(true);
    orderMenu->addSeparator();
    reverseAction = orderMenu->addAction(QStringLiteral("逆順(&R)"));
    reverseAction->setObjectName(QStringLiteral("orderReverse"));
    reverseAction->setCheckable(true);
    connect(reverseAction, &QAction::triggered, this, &ViewChoices::OrderChosen);
}

QString ViewChoices::OrderKey(FileList::Order order)
{
    for (const OrderChoice &choice : Orders)
        if (choice.order == order)
            return QLatin1String(choice.key);
    return QStringLiteral("NAME");
}

int ViewChoices::ChosenSize() const
{
    for (int size = 0; size < SizeCount; ++size)
        if (sizeActions[size]->isChecked())
            return size;
    return 0;
}

void ViewChoices::StepSize(int steps)
{
    const int size = std::clamp(ChosenSize() + steps, 0, SizeCount - 1);
    if (size == ChosenSize())
        return;
    sizeActions[size]->setChecked(true);
    SizeChosen();
}

void ViewChoices::SizeChosen()
{
    const int size = ChosenSize();
    WriteSetting(m_context.profile, Section, QStringLiteral("SIZE"), QLatin1String(Sizes[size].key));
    m_catalogue.SizeChanged(SideOf(size));
}

void ViewChoices::ReadSettings()
{
    const QString size = ReadSetting(m_context.profile, Section, QStringLiteral("SIZE"), QStringLiteral("STANDARD"));
    for (int choice = 0; choice < SizeCount; ++choice) {
        if (size == QLatin1String(Sizes[choice].key)) {
            sizeActions[choice]->setChecked(true);
            m_catalogue.parts().thumbnailArea->setThumbnailSide(SideOf(choice));
        }
    }

    const QString key = ReadSetting(m_context.profile, Section, QStringLiteral("SORT"), QStringLiteral("NAME"));
    FileList::Order order = FileList::Order::Name;
    for (QAction *action : std::as_const(orderActions)) {
        if (OrderKey(FileList::Order(action->data().toInt())) == key) {
            action->setChecked(true);
            order = FileList::Order(action->data().toInt());
        }
    }
    const bool reversed = ReadSetting(m_context.profile, Section, QStringLiteral("REVERSE"), QStringLiteral("0")) == QLatin1String("1");
    reverseAction->setChecked(reversed);
    m_fileList.setOrder(order, reversed);
}

void ViewChoices::OrderChosen()
{
    FileList::Order order = FileList::Order::Name;
    for (QAction *action : std::as_const(orderActions))
        if (action->isChecked())
            order = FileList::Order(action->data().toInt());
    const bool reversed = reverseAction->isChecked();
    if (order == m_fileList.order() && reversed == m_fileList.reversed())
        return;
    WriteSetting(m_context.profile, Section, QStringLiteral("SORT"), OrderKey(order));
    WriteSetting(m_context.profile, Section, QStringLiteral("REVERSE"), reversed ? QStringLiteral("1") : QStringLiteral("0"));
    m_fileList.setOrder(order, reversed);
    m_catalogue.OrderChanged();
}
