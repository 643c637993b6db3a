#include "treeicons.h"

#include "core/modtreemodel.h"
#include "pictures.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QTextDocument>
#include <QToolTip>

QIcon treeIcon(const QString &imageKey)
{
    return pictureIcon(imageKey == QLatin1String("folder") ? QStringLiteral("tree/folder")
                                                           : QStringLiteral("tree/link"),
                       QSize(16, 16));
}

TreeIconDelegate::TreeIconDelegate(QObject *parent)
    : QStyledItemDelegate(parent),
      m_folder(treeIcon(QStringLiteral("folder"))),
      m_link(treeIcon(QStringLiteral("link")))
{}

void TreeIconDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    // As the base class does for a picture the model gives: in the mode of the
    // row's state, never larger than the view's icon size.
    option->icon = index.parent().isValid() ? m_link : m_folder;
    option->features |= QStyleOptionViewItem::HasDecoration;
    QIcon::Mode mode = QIcon::Normal;
    if (!(option->state & QStyle::State_Enabled))
        mode = QIcon::Disabled;
    else if (option->state & QStyle::State_Selected)
        mode = QIcon::Selected;
    const QIcon::State state = (option->state & QStyle::State_Open) ? QIcon::On : QIcon::Off;
    const QSize actual = option->icon.actualSize(option->decorationSize, mode, state);
    option->decorationSize = option->decorationSize.boundedTo(actual);
    if (!m_installedPages.isEmpty() && m_installedPages.contains(index.data(ModTreeModel::UrlRole).toString())) {
        option->font.setBold(true);
        option->text.prepend(tr("✓ ", "mark of an installed mod"));
    }
}

QString TreeIconDelegate::toolTip(const QModelIndex &index)
{
    QString tip = index.data(Qt::DisplayRole).toString();
    if (index.parent().isValid())
        tip += QLatin1Char('\n') + index.data(ModTreeModel::UrlRole).toString();
    return Qt::convertFromPlainText(tip, Qt::WhiteSpaceNoWrap);
}

bool TreeIconDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                 const QModelIndex &index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QToolTip::showText(event->globalPos(), toolTip(index), view, option.rect);
    return true;
}
