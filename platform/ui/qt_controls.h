// Qt controls built from control records. Each control creates and updates its own widgets and
// reports the operator's actions on them; nothing outside it knows which widget a kind uses.
#pragma once

#include "ui/backend.h"

#include <QObject>

class QLabel;
class QWidget;

namespace qx::ui {

class QtControl : public QObject, public ControlView {
public:
    // Null when the control shows its label itself (buttons, toggles) or has none.
    QLabel *label() const { return label_; }
    QWidget *field() const { return field_; }
    // Null, or what the control shows beside its field (a number's limits).
    QLabel *note() const { return note_; }
    void setDimmed(bool dimmed) override;
    void setLabel(const std::string &label) override;

protected:
    QtControl(const ControlRecord &record, int panel, QWidget *parent);
    friend QtControl *createStripChart(const ControlRecord &, int, QWidget *);
    // Call once the widgets exist: adds the label (with the field as its buddy) and watches
    // every widget of the control for right clicks and stray wheel turns.
    void finish(QWidget *field);
    void setNote(QLabel *note) { note_ = note; }
    void commit();
    void outOfRange();
    bool eventFilter(QObject *watched, QEvent *event) override;
    const ControlRecord &record() const { return record_; }

private:
    void watch(QWidget *widget);
    void rightClick(QWidget *widget, const QPoint &position);

    const ControlRecord &record_;
    int panel_;
    QLabel *label_ = nullptr;
    QWidget *field_ = nullptr;
    QLabel *note_ = nullptr;
};

// The control for the record's kind, owned by `parent` (as a QObject child).
QtControl *createQtControl(const ControlRecord &record, int panel, QWidget *parent);
// The strip chart (Qt Charts), apart for the module it needs.
QtControl *createStripChart(const ControlRecord &record, int panel, QWidget *parent);

} // namespace qx::ui
