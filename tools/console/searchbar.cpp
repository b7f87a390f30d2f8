#include "searchbar.h"

#include "trafficfilter.h"
#include "trafficmodel.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

const QString kBadInput = QStringLiteral("color: #c01c28");

void markBad(QLineEdit *field, bool bad)
{
    field->setStyleSheet(bad ? kBadInput : QString());
}

} // namespace

SearchBar::SearchBar(TrafficFilter *filter, QWidget *parent)
    : QWidget(parent)
    , m_filter(filter)
    , m_mode(new QComboBox(this))
    , m_search(new QLineEdit(this))
    , m_outcome(new QComboBox(this))
    , m_source(new QLineEdit(this))
    , m_from(new QLineEdit(this))
    , m_to(new QLineEdit(this))
    , m_count(new QLabel(this))
{
    m_mode->addItem(tr("Text"), int(EventQuery::Search::Text));
    m_mode->addItem(tr("Hex bytes"), int(EventQuery::Search::Bytes));
    m_mode->addItem(tr("Serial number"), int(EventQuery::Search::SerialNumber));
    m_search->setObjectName(QStringLiteral("search"));
    m_search->setPlaceholderText(tr("search (Ctrl+F)"));

    m_outcome->addItem(tr("any outcome"), -1);
    for (int o = 0; !TrafficModel::outcomeName(TrafficModel::Outcome(o)).isEmpty(); ++o)
        m_outcome->addItem(TrafficModel::outcomeName(TrafficModel::Outcome(o)), o);
    // The bar shares a row with the table's width: the boxes give way to it rather
    // than widen the window past a small screen.
    for (QComboBox *box : {m_mode, m_outcome}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(10);
    }

    m_source->setPlaceholderText(tr("source"));
    m_source->setToolTip(tr("A reply's address, or the port or address of the bytes on the wire"));
    const QString timeTip =
        tr("Seconds since the start (12.5) or a time of day (14:03, 14:03:27.512); both ends included");
    m_from->setPlaceholderText(tr("from"));
    m_from->setToolTip(timeTip);
    m_to->setPlaceholderText(tr("to"));
    m_to->setToolTip(timeTip);
    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    m_source->setMaximumWidth(digit * 16);
    m_from->setMaximumWidth(digit * 13);
    m_to->setMaximumWidth(digit * 13);
    m_count->setObjectName(QStringLiteral("shownCount"));
    // Escape rather than a clear button in each field: one key empties them all, and
    // the buttons' fading outlives a window closed meanwhile.
    auto *clear = new QAction(tr("Show every row"), this);
    clear->setShortcut(QKeySequence(Qt::Key_Escape));
    clear->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(clear, &QAction::triggered, this, &SearchBar::clearAll);
    addAction(clear);
    setToolTip(tr("Escape shows every row again"));

    // Two rows: in one the table's side of a 1280-pixel screen has no room for all.
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *searchRow = new QHBoxLayout;
    searchRow->addWidget(m_mode);
    searchRow->addWidget(m_search, 1);
    searchRow->addWidget(m_count);
    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(m_outcome, 1);
    filterRow->addWidget(m_source, 1);
    filterRow->addWidget(m_from, 1);
    filterRow->addWidget(m_to, 1);
    layout->addLayout(searchRow);
    layout->addLayout(filterRow);

    for (QLineEdit *field : {m_search, m_source, m_from, m_to})
        connect(field, &QLineEdit::textChanged, this, &SearchBar::apply);
    connect(m_mode, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &SearchBar::apply);
    connect(m_outcome, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &SearchBar::apply);
    // Every change of the rows shown or held: a batch, the oldest let go, a file
    // opened, any filter changed.
    for (QAbstractItemModel *model : {static_cast<QAbstractItemModel *>(m_filter), m_filter->sourceModel()}) {
        connect(model, &QAbstractItemModel::rowsInserted, this, &SearchBar::recount);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &SearchBar::recount);
        connect(model, &QAbstractItemModel::modelReset, this, &SearchBar::recount);
        connect(model, &QAbstractItemModel::layoutChanged, this, &SearchBar::recount);
    }
    recount();
}

void SearchBar::clearAll()
{
    // One rebuild of the rows, not one a field.
    for (QLineEdit *field : {m_search, m_source, m_from, m_to}) {
        const QSignalBlocker quiet(field);
        field->clear();
    }
    const QSignalBlocker quiet(m_outcome);
    m_outcome->setCurrentIndex(0);
    apply();
}

void SearchBar::focusSearch()
{
    m_search->setFocus(Qt::ShortcutFocusReason);
    m_search->selectAll();
}

void SearchBar::apply()
{
    // A part that cannot be read stays as it was; the others take effect.
    markBad(m_search, !m_query.setSearch(EventQuery::Search(m_mode->currentData().toInt()), m_search->text()));
    EventQuery probe;
    markBad(m_from, !probe.setTimeRange(m_from->text(), QString()));
    markBad(m_to, !probe.setTimeRange(QString(), m_to->text()));
    m_query.setTimeRange(m_from->text(), m_to->text());
    m_query.setOutcome(m_outcome->currentData().toInt());
    m_query.setSource(m_source->text());
    m_filter->setQuery(m_query);
}

QString SearchBar::countText() const
{
    return m_count->text();
}

void SearchBar::recount()
{
    const int all = m_filter->sourceModel() ? m_filter->sourceModel()->rowCount() : 0;
    m_count->setText(tr("%1 of %2 shown").arg(m_filter->rowCount()).arg(all));
}
