#include "finddialog.h"

#include "core/modtreemodel.h"
#include "core/namematcher.h"
#include "designunits.h"

#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

FindDialog::FindDialog(const ModTreeModel &model, QWidget *parent) : QDialog(parent), m_model(model)
{
    setObjectName(QStringLiteral("findDialog"));
    setWindowTitle(tr("Find"));
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    auto *label = new QLabel(tr("Text to find:"), this);
    m_searchField = new QLineEdit(this);
    m_searchField->setObjectName(QStringLiteral("searchField"));
    label->setBuddy(m_searchField);
    m_findNextButton = new QPushButton(tr("&Find next"), this);
    m_findNextButton->setObjectName(QStringLiteral("findNextButton"));
    m_findNextButton->setDefault(true);
    auto *returnButton = new QPushButton(tr("&Return"), this);
    returnButton->setObjectName(QStringLiteral("returnButton"));

    // The design's client area is 3840 x 1215 twips; wider fonts widen it.
    auto px = [this](double twips) { return fromTwips(twips, this); };
    m_searchField->setMinimumWidth(px(3585));
    for (QPushButton *button : {m_findNextButton, returnButton})
        button->setMinimumSize(px(1080), px(345));

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(px(75));
    buttons->addStretch(1);
    buttons->addWidget(returnButton);
    buttons->addWidget(m_findNextButton);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(px(105), px(90), px(135), px(120));
    layout->setSpacing(px(45));
    layout->addWidget(label);
    layout->addWidget(m_searchField);
    layout->addSpacing(px(60));
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(m_searchField, m_findNextButton);
    setTabOrder(m_findNextButton, returnButton);
    m_searchField->setFocus();

    connect(m_findNextButton, &QPushButton::clicked, this, &FindDialog::findNext);
    connect(returnButton, &QPushButton::clicked, this, &QDialog::reject);
    // New text: the search starts again at the first node.
    connect(m_searchField, &QLineEdit::textChanged, this, [this] { m_position = 1; });
}

void FindDialog::findNext()
{
    const QString text = m_searchField->text();
    const ModTree &tree = m_model.tree();
    const quint64 generation = m_model.generation();
    if (m_missFrom >= 0 && m_position >= m_missFrom && generation == m_missGeneration && text == m_missText) {
        Q_EMIT nothingFound(text);
        return;
    }

    const NameMatcher matcher(text);
    // Folders come first and are never matched, so the links' numbers are where to start.
    for (int node = std::max(m_position - 1, tree.folderCount()), count = tree.count(); node < count; ++node) {
        if (matcher.matches(tree.textBytes(node))) {
            m_position = node + 2;
            Q_EMIT nodeFound(node);
            return;
        }
    }
    m_missText = text;
    m_missFrom = m_position;
    m_missGeneration = generation;
    Q_EMIT nothingFound(text);
}
