#ifndef SEARCHBAR_H
#define SEARCHBAR_H

#include "eventquery.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class TrafficFilter;

// The traffic's search: text, hex bytes or a serial number, an outcome, a source
// and a time range, put to the filter as they change, and how many rows of all
// the filter shows ("120 of 100000 shown"). A field it cannot read turns red and
// leaves its part of the filter as it was.
class SearchBar : public QWidget
{
    Q_OBJECT

public:
    explicit SearchBar(TrafficFilter *filter, QWidget *parent = nullptr);

    QLineEdit *searchField() const { return m_search; }
    QComboBox *modeBox() const { return m_mode; }
    QComboBox *outcomeBox() const { return m_outcome; }
    QLineEdit *sourceField() const { return m_source; }
    QLineEdit *fromField() const { return m_from; }
    QLineEdit *toField() const { return m_to; }
    QString countText() const;

public slots:
    // Ctrl+F: the search field, its text selected to be typed over.
    void focusSearch();
    // Escape in the bar: every row shown again (the fields emptied, any outcome).
    void clearAll();

private:
    void apply();
    void recount();

    TrafficFilter *m_filter;
    QComboBox *m_mode;
    QLineEdit *m_search;
    QComboBox *m_outcome;
    QLineEdit *m_source;
    QLineEdit *m_from;
    QLineEdit *m_to;
    QLabel *m_count;
    EventQuery m_query;
};

#endif // SEARCHBAR_H
