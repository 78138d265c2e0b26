#include "catalogue/viewchoices.h"

#include "catalogue/catalogue.h"
#include "core/settings.h"
#include "platform/platformcontext.h"

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
} // namespace

ViewChoices::ViewChoices(QMenu *viewMenu, FileList &fileList, Catalogue &catalogue, PlatformContext &context,
                         QObject *parent)
    : QObject(parent), m_fileList(fileList), m_catalogue(catalogue), m_context(context)
{
    viewMenu->addSeparator()->setObjectName(QStringLiteral("viewChoicesSeparator"));
    orderMenu = viewMenu->addMenu(QStringLiteral("並べ替え"));
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
    reverseAction = orderMenu->addAction(QStringLiteral("逆順"));
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

void ViewChoices::ReadSettings()
{
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
