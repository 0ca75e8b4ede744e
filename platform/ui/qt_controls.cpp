#include "ui/qt_controls.h"

#include "ui/toolkit.h"

#include <algorithm>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QToolTip>

#include <functional>

namespace qx::ui {

QtControl::QtControl(const ControlRecord &record, int panel, QWidget *parent)
    : QObject(parent), record_(record), panel_(panel)
{
}

void QtControl::finish(QWidget *field)
{
    field_ = field;
    field_->setObjectName(QString::fromStdString(record_.name));
    const bool ownLabel = record_.kind != ControlKind::Button && record_.kind != ControlKind::Toggle;
    if (ownLabel && !record_.label.empty()) {
        label_ = new QLabel(QString::fromStdString(record_.label), field_->parentWidget());
        label_->setObjectName(QString::fromStdString(record_.name + "_label"));
        if (field_->focusPolicy() != Qt::NoFocus)
            label_->setBuddy(field_);
        watch(label_);
    }
    watch(field_);
    setDimmed(record_.dimmed);
}

void QtControl::watch(QWidget *widget)
{
    widget->installEventFilter(this);
    for (QWidget *child : widget->findChildren<QWidget *>())
        child->installEventFilter(this);
}

void QtControl::setDimmed(bool dimmed)
{
    field_->setEnabled(!dimmed);
    if (label_ != nullptr)
        label_->setEnabled(!dimmed);
}

void QtControl::setLabel(const std::string &label)
{
    if (label_ != nullptr)
        label_->setText(QString::fromStdString(label));
    else if (auto *button = qobject_cast<QAbstractButton *>(field_))
        button->setText(QString::fromStdString(label));
}

void QtControl::commit() { raiseControlEvent(panel_, record_.id, EVENT_COMMIT, 0, 0); }

void QtControl::outOfRange() { raiseControlEvent(panel_, record_.id, EVENT_OUT_OF_RANGE, 0, 0); }

void QtControl::rightClick(QWidget *widget, const QPoint &position)
{
    const QPoint inPanel = widget->mapTo(widget->window(), position);
    raiseControlEvent(panel_, record_.id, EVENT_RIGHT_CLICK, inPanel.y(), inPanel.x());
}

bool QtControl::eventFilter(QObject *watched, QEvent *event)
{
    auto *widget = qobject_cast<QWidget *>(watched);
    if (widget == nullptr)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::RightButton)
            return false;
        rightClick(widget, mouse->position().toPoint());
        return true;
    }
    case QEvent::ContextMenu: {
        // The right click belongs to the application: no stock menu. A mouse right click was
        // reported at its press already; the menu key is reported here.
        const auto *menu = static_cast<QContextMenuEvent *>(event);
        if (menu->reason() != QContextMenuEvent::Mouse)
            rightClick(widget, menu->pos());
        return true;
    }
    case QEvent::Wheel:
        // A wheel turned over a control the operator is not working in must not reprogram the source.
        return !field_->hasFocus();
    default:
        return false;
    }
}

namespace {

QString qtext(const std::string &text) { return QString::fromStdString(text); }

// A spin box that takes the number the operator types as typed. Qt's own drops the keystroke that
// would leave the range (350 typed against a maximum of 300 became 35); here the entry stays, and
// when it is finished outside the range it is refused in the field (`refused` is told) and the
// control keeps its value: never another number than the one typed.
template <class Base> class EntrySpinBox final : public Base {
public:
    using Base::Base;
    std::function<void(const QString &)> refused;

protected:
    QValidator::State validate(QString &input, int &position) const override
    {
        const QValidator::State state = Base::validate(input, position);
        if (state != QValidator::Invalid)
            return state;
        const QString number = bare(input);
        bool ok = false;
        this->locale().toDouble(number, &ok);
        const bool partial = number.isEmpty() || number == "-" || number == "+";
        return ok || partial ? QValidator::Intermediate : QValidator::Invalid;
    }

    void fixup(QString &input) const override
    {
        const QString entry = bare(input);
        if (!entry.isEmpty() && refused)
            QTimer::singleShot(0, this, [report = refused, entry] { report(entry); });
    }

private:
    QString bare(const QString &input) const
    {
        QString text = input.trimmed();
        if (!this->suffix().isEmpty() && text.endsWith(this->suffix().trimmed()))
            text.chop(this->suffix().trimmed().size());
        return text.trimmed();
    }
};

// Editable number: a spin box with the record's range, step, decimals and unit.
class NumberControl final : public QtControl {
public:
    NumberControl(const ControlRecord &record, int panel, QWidget *parent)
        : QtControl(record, panel, parent), value_(record.defaultNumber)
    {
        const QString suffix = record.unit.empty() ? QString() : " " + qtext(record.unit);
        if (record.type == ValueType::Double) {
            auto *box = new EntrySpinBox<QDoubleSpinBox>(parent);
            box->refused = [this](const QString &entry) { refuse(entry); };
            doubles_ = box;
            doubles_->setDecimals(record.precision);
            doubles_->setSingleStep(record.step);
            doubles_->setSuffix(suffix);
            spin_ = doubles_;
            // Without keyboard tracking the value changes once, when the entry is finished
            // (Enter, leaving the field) or a step is taken: that is the operator's commit.
            connect(doubles_, &QDoubleSpinBox::valueChanged, this, [this](double v) {
                value_ = v;
                accept();
                commit();
            });
        } else {
            auto *box = new EntrySpinBox<QSpinBox>(parent);
            box->refused = [this](const QString &entry) { refuse(entry); };
            ints_ = box;
            ints_->setSingleStep(static_cast<int>(record.step));
            ints_->setSuffix(suffix);
            spin_ = ints_;
            connect(ints_, &QSpinBox::valueChanged, this, [this](int v) {
                value_ = v;
                accept();
                commit();
            });
        }
        spin_->setKeyboardTracking(false);
        spin_->setAccelerated(true);
        spin_->setAlignment(Qt::AlignRight);
        spin_->setFocusPolicy(Qt::StrongFocus);
        if (!record.unit.empty()) { // a quantity: its limits stand beside it
            limits_ = new QLabel(parent);
            limits_->setObjectName(qtext(record.name + "_limits"));
            limits_->setForegroundRole(QPalette::PlaceholderText);
            setNote(limits_);
        }
        NumberControl::setRange(record.min, record.max);
        NumberControl::setNumber(value_);
        finish(spin_);
    }

    double number() const override { return value_; }
    void setNumber(double value) override
    {
        value_ = value;
        const QSignalBlocker quiet(spin_);
        if (doubles_ != nullptr)
            doubles_->setValue(value);
        else
            ints_->setValue(static_cast<int>(value));
    }
    std::string text() const override { return {}; }
    void setText(const std::string &) override {}
    void setRange(double minimum, double maximum) override
    {
        const QSignalBlocker quiet(spin_);
        if (doubles_ != nullptr)
            doubles_->setRange(minimum, maximum);
        else
            ints_->setRange(static_cast<int>(minimum), static_cast<int>(maximum));
        if (limits_ != nullptr)
            limits_->setText(rangeText() + " " + qtext(record().unit));
    }

private:
    QString rangeText() const
    {
        return doubles_ != nullptr ? QString("%1 to %2").arg(doubles_->minimum()).arg(doubles_->maximum())
                                   : QString("%1 to %2").arg(ints_->minimum()).arg(ints_->maximum());
    }

    // The typed entry left the range: the field says so (red, with the range in a tooltip), the
    // control keeps its value, and the callback hears EVENT_OUT_OF_RANGE instead of a commit.
    void refuse(const QString &entry)
    {
        const QString why = QString("%1 is outside %2: not sent").arg(entry, rangeText());
        spin_->setStyleSheet("QAbstractSpinBox { background: #ffd7d7; }");
        spin_->setToolTip(why);
        QToolTip::showText(spin_->mapToGlobal(QPoint(0, spin_->height())), why, spin_);
        outOfRange();
    }
    void accept()
    {
        spin_->setStyleSheet(QString());
        spin_->setToolTip(QString());
    }

    QAbstractSpinBox *spin_ = nullptr;
    QDoubleSpinBox *doubles_ = nullptr;
    QSpinBox *ints_ = nullptr;
    QLabel *limits_ = nullptr;
    double value_;
};

// Sunken, tinted and out of the tab order: read at a glance as a display, not an entry.
void styleIndicator(QLabel *label)
{
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setBackgroundRole(QPalette::AlternateBase);
    label->setAutoFillBackground(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setFocusPolicy(Qt::NoFocus);
    label->setMargin(2);
}

// A text that now needs more room than its window gives it (more wrapped lines) grows the window;
// a window is never shrunk under the operator.
void growWindowToFit(QWidget *field)
{
    QWidget *window = field->window();
    if (window == nullptr || window == field || window->layout() == nullptr)
        return;
    window->layout()->activate();
    QSize needed = window->sizeHint();
    if (window->layout()->hasHeightForWidth())
        needed.setHeight(std::max(needed.height(), window->layout()->totalHeightForWidth(window->width())));
    if (needed.width() > window->width() || needed.height() > window->height())
        window->resize(window->size().expandedTo(needed));
}

class IndicatorControl final : public QtControl {
public:
    IndicatorControl(const ControlRecord &record, int panel, QWidget *parent)
        : QtControl(record, panel, parent), display_(new QLabel(parent)), value_(record.defaultNumber)
    {
        styleIndicator(display_);
        display_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        if (record.large) {
            font.setPointSizeF(font.pointSizeF() * 1.8);
            font.setBold(true);
        }
        display_->setFont(font);
        display_->setMinimumHeight(display_->fontMetrics().height() + 2 * (display_->margin() + display_->frameWidth()) + 2);
        display_->setMinimumWidth(display_->fontMetrics().horizontalAdvance(QStringLiteral("-0000.000 Hz")));
        showValue();
        finish(display_);
    }

    double number() const override { return value_; }
    void setNumber(double value) override
    {
        value_ = value;
        showValue();
    }
    std::string text() const override { return {}; }
    void setText(const std::string &) override {}
    void setRange(double, double) override {}

private:
    void showValue()
    {
        QString shown = QString::number(value_, 'f', record().precision);
        if (!record().unit.empty())
            shown += " " + qtext(record().unit);
        display_->setText(shown);
    }

    QLabel *display_;
    double value_;
};

// Editable text; with items, an editable list of offered texts.
class TextControl final : public QtControl {
public:
    TextControl(const ControlRecord &record, int panel, QWidget *parent)
        : QtControl(record, panel, parent), committed_(record.defaultText)
    {
        if (!record.items.empty()) {
            combo_ = new QComboBox(parent);
            combo_->setEditable(true);
            combo_->setInsertPolicy(QComboBox::NoInsert);
            for (const std::string &item : record.items)
                combo_->addItem(qtext(item));
            edit_ = combo_->lineEdit();
            connect(combo_, &QComboBox::activated, this, [this] { commitIfChanged(); });
        } else {
            edit_ = new QLineEdit(parent);
        }
        connect(edit_, &QLineEdit::editingFinished, this, [this] { commitIfChanged(); });
        TextControl::setText(record.defaultText);
        finish(combo_ != nullptr ? static_cast<QWidget *>(combo_) : edit_);
    }

    double number() const override { return 0.0; }
    void setNumber(double) override {}
    std::string text() const override { return edit_->text().toStdString(); }
    void setText(const std::string &value) override
    {
        committed_ = value;
        const QSignalBlocker quietCombo(combo_);
        const QSignalBlocker quietEdit(edit_);
        edit_->setText(qtext(value));
    }
    void setRange(double, double) override {}

private:
    // Enter and leaving the field both finish an entry; only a changed text is a commit.
    void commitIfChanged()
    {
        const std::string now = text();
        if (now == committed_)
            return;
        committed_ = now;
        commit();
    }

    QComboBox *combo_ = nullptr;
    QLineEdit *edit_ = nullptr;
    std::string committed_;
};

// A choice among named items; the value is the chosen item's index. The range narrows the items
// offered: the list holds the items from the minimum to the maximum.
class RingControl final : public QtControl {
public:
    RingControl(const ControlRecord &record, int panel, QWidget *parent)
        : QtControl(record, panel, parent), combo_(new QComboBox(parent)), value_(record.defaultNumber)
    {
        combo_->setFocusPolicy(Qt::StrongFocus);
        connect(combo_, &QComboBox::activated, this, [this](int index) {
            const double chosen = minimum_ + index;
            if (chosen == value_)
                return;
            value_ = chosen;
            commit();
        });
        RingControl::setRange(record.min, record.max);
        finish(combo_);
    }

    double number() const override { return value_; }
    void setNumber(double value) override
    {
        value_ = value;
        const QSignalBlocker quiet(combo_);
        combo_->setCurrentIndex(static_cast<int>(value - minimum_));
    }
    std::string text() const override { return {}; }
    void setText(const std::string &) override {}
    void setRange(double minimum, double maximum) override
    {
        const QSignalBlocker quiet(combo_);
        combo_->clear();
        minimum_ = minimum;
        for (auto index = static_cast<std::size_t>(minimum); index <= static_cast<std::size_t>(maximum); ++index)
            combo_->addItem(qtext(record().items[index]));
        setNumber(value_);
    }

private:
    QComboBox *combo_;
    double value_;
    double minimum_ = 0.0;
};

// Lines of text, scrolled, read-only.
class TextBoxControl final : public QtControl {
public:
    TextBoxControl(const ControlRecord &record, int panel, QWidget *parent)
        : QtControl(record, panel, parent), box_(new QPlainTextEdit(parent))
    {
        box_->setReadOnly(true);
        box_->setLineWrapMode(QPlainTextEdit::NoWrap);
        box_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        box_->setMinimumHeight(box_->fontMetrics().lineSpacing() * kShownLines);
        box_->setFocusPolicy(Qt::NoFocus);
        finish(box_);
    }

    double number() const override { return 0.0; }
    void setNumber(double) override {}
    std::string text() const override { return text_; }
    void setText(const std::string &value) override
    {
        text_ = value;
        const int scrolled = box_->verticalScrollBar()->value();
        box_->setPlainText(qtext(value));
        box_->verticalScrollBar()->setValue(scrolled);
    }
    void setRange(double, double) override {}

private:
    static constexpr int kShownLines = 10;
    QPlainTextEdit *box_;
    std::string text_;
};

class TextIndicatorControl final : public QtControl {
public:
    TextIndicatorControl(const ControlRecord &record, int panel, QWidget *parent)
        : QtControl(record, panel, parent), display_(new QLabel(parent))
    {
        styleIndicator(display_);
        // A long text wraps onto more lines instead of being cut off.
        display_->setWordWrap(true);
        display_->setMinimumWidth(display_->fontMetrics().averageCharWidth() * 24);
        TextIndicatorControl::setText(record.defaultText);
        finish(display_);
    }

    double number() const override { return 0.0; }
    void setNumber(double) override {}
    std::string text() const override { return text_; }
    void setText(const std::string &value) override
    {
        text_ = value;
        display_->setText(qtext(value));
        if (display_->heightForWidth(display_->width()) > display_->height()) // the text needs more lines
            growWindowToFit(display_);
    }
    void setRange(double, double) override {}

private:
    QLabel *display_;
    std::string text_;
};

// Two-state switch: a check box that names the state it is in.
class SwitchControl final : public QtControl {
public:
    SwitchControl(const ControlRecord &record, int panel, QWidget *parent)
        : QtControl(record, panel, parent), box_(new QCheckBox(parent))
    {
        // As wide as its text: a stretched check box would ignore clicks on its empty part.
        box_->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
        connect(box_, &QCheckBox::clicked, this, [this] {
            showState();
            commit();
        });
        SwitchControl::setNumber(record.defaultNumber);
        finish(box_);
    }

    double number() const override { return box_->isChecked() ? 1.0 : 0.0; }
    void setNumber(double value) override
    {
        const QSignalBlocker quiet(box_);
        box_->setChecked(value != 0.0);
        showState();
    }
    std::string text() const override { return {}; }
    void setText(const std::string &) override {}
    void setRange(double, double) override {}

private:
    void showState() { box_->setText(qtext(box_->isChecked() ? record().onText : record().offText)); }

    QCheckBox *box_;
};

// A light that names its state: on, white on red (a live output stands out); off, plain.
class LampControl final : public QtControl {
public:
    LampControl(const ControlRecord &record, int panel, QWidget *parent)
        : QtControl(record, panel, parent), display_(new QLabel(parent))
    {
        styleIndicator(display_);
        display_->setAlignment(Qt::AlignCenter);
        QFont bold = display_->font();
        bold.setBold(true);
        display_->setFont(bold);
        const QFontMetrics metrics(bold);
        display_->setMinimumWidth(
            std::max(metrics.horizontalAdvance(qtext(record.onText)), metrics.horizontalAdvance(qtext(record.offText))) +
            metrics.averageCharWidth() * 4);
        LampControl::setNumber(record.defaultNumber);
        finish(display_);
    }

    double number() const override { return on_ ? 1.0 : 0.0; }
    void setNumber(double value) override
    {
        on_ = value != 0.0;
        display_->setText(qtext(on_ ? record().onText : record().offText));
        display_->setStyleSheet(on_ ? QStringLiteral("QLabel { background: #c62828; color: white; }")
                                    : QStringLiteral("QLabel { background: #e0e0e0; color: #424242; }"));
    }
    std::string text() const override { return {}; }
    void setText(const std::string &) override {}
    void setRange(double, double) override {}

private:
    QLabel *display_;
    bool on_ = false;
};

// Push button that stays in (toggle, value 0/1) or springs back (command button, no value).
class ButtonControl final : public QtControl {
public:
    ButtonControl(const ControlRecord &record, int panel, QWidget *parent)
        : QtControl(record, panel, parent), button_(new QPushButton(qtext(record.label), parent))
    {
        button_->setAutoDefault(false);
        button_->setCheckable(record.kind == ControlKind::Toggle);
        connect(button_, &QPushButton::clicked, this, [this] { commit(); });
        ButtonControl::setNumber(record.defaultNumber);
        finish(button_);
    }

    double number() const override { return button_->isChecked() ? 1.0 : 0.0; }
    void setNumber(double value) override
    {
        const QSignalBlocker quiet(button_);
        button_->setChecked(value != 0.0);
    }
    std::string text() const override { return {}; }
    void setText(const std::string &) override {}
    void setRange(double, double) override {}

private:
    QPushButton *button_;
};

using Factory = QtControl *(*)(const ControlRecord &, int, QWidget *);

QtControl *makeStripChart(const ControlRecord &record, int panel, QWidget *parent)
{
    return createStripChart(record, panel, parent);
}

template <class Control> QtControl *make(const ControlRecord &record, int panel, QWidget *parent)
{
    return new Control(record, panel, parent);
}

struct KindFactory {
    ControlKind kind;
    Factory make;
};

constexpr KindFactory kFactories[] = {
    {ControlKind::Numeric, make<NumberControl>},
    {ControlKind::Indicator, make<IndicatorControl>},
    {ControlKind::Text, make<TextControl>},
    {ControlKind::Ring, make<RingControl>},
    {ControlKind::TextBox, make<TextBoxControl>},
    {ControlKind::StripChart, makeStripChart},
    {ControlKind::TextIndicator, make<TextIndicatorControl>},
    {ControlKind::Switch, make<SwitchControl>},
    {ControlKind::Lamp, make<LampControl>},
    {ControlKind::Toggle, make<ButtonControl>},
    {ControlKind::Button, make<ButtonControl>},
};

} // namespace

QtControl *createQtControl(const ControlRecord &record, int panel, QWidget *parent)
{
    for (const KindFactory &factory : kFactories)
        if (factory.kind == record.kind)
            return factory.make(record, panel, parent);
    return nullptr;
}

} // namespace qx::ui
