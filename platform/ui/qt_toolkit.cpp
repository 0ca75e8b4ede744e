#include "ui/qt_toolkit.h"

#include "ui/backend.h"
#include "ui/qt_controls.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QSettings>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <utility>
#include <vector>

namespace qx::ui {
namespace {

QString qtext(const std::string &text) { return QString::fromStdString(text); }

// A panel's top-level window: its groups laid out on a grid, its controls in resource order, the
// tab order following the layout (row by row, left to right, each group's controls in order),
// its activation and close reported as panel events.
class PanelWindow final : public QWidget {
public:
    PanelWindow(const PanelRecord &record, int handle) : handle_(handle)
    {
        setObjectName(qtext(record.name));
        setWindowTitle(qtext(record.title));
        auto *grid = new QGridLayout(this);
        for (const GroupRecord &group : record.groups)
            grid->addWidget(buildGroup(group), group.row, group.column, group.rowSpan, group.columnSpan);
        orderTabs(record);
    }

    QtControl *control(int id) const
    {
        const auto found = controls_.find(id);
        return found == controls_.end() ? nullptr : found->second;
    }

protected:
    // A modal popup (message, question, file dialog) taking the activation for a while is not the
    // operator leaving the panel, and its dismissal is not the panel getting the focus: the window
    // manager hands the activation back, but the operator never went anywhere else. Once another
    // panel was active in between, the return is a real one.
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::WindowActivate) {
            const bool fromPopup = std::exchange(underPopup_, false) && poppedAt_ == activations_;
            ++activations_;
            if (!fromPopup)
                raisePanelEvent(handle_, EVENT_GOT_FOCUS, 0, 0);
        } else if (event->type() == QEvent::WindowDeactivate) {
            QWidget *modal = QApplication::activeModalWidget();
            underPopup_ = modal != nullptr && modal != this;
            poppedAt_ = activations_;
            if (!underPopup_)
                raisePanelEvent(handle_, EVENT_LOST_FOCUS, 0, 0);
        }
        return QWidget::event(event);
    }

    // The window stays: only the panel callback, by discarding the panel, takes it away.
    void closeEvent(QCloseEvent *event) override
    {
        event->ignore();
        raisePanelEvent(handle_, EVENT_CLOSE, 0, 0);
    }

private:
    void orderTabs(const PanelRecord &record)
    {
        std::vector<const GroupRecord *> groups;
        for (const GroupRecord &group : record.groups)
            groups.push_back(&group);
        std::stable_sort(groups.begin(), groups.end(), [](const GroupRecord *a, const GroupRecord *b) {
            return std::pair(a->row, a->column) < std::pair(b->row, b->column);
        });
        QWidget *previous = nullptr;
        for (const GroupRecord *group : groups) {
            for (const ControlRecord &entry : group->controls) {
                QtControl *c = control(entry.id);
                if (c == nullptr || (c->field()->focusPolicy() & Qt::TabFocus) == 0)
                    continue;
                if (previous != nullptr)
                    QWidget::setTabOrder(previous, c->field());
                previous = c->field();
            }
        }
    }

    // The control's field, or the field with its note to the right of it.
    static QWidget *withNote(QtControl *control)
    {
        if (control->note() == nullptr)
            return control->field();
        auto *pair = new QWidget(control->field()->parentWidget());
        auto *line = new QHBoxLayout(pair);
        line->setContentsMargins(0, 0, 0, 0);
        line->addWidget(control->field(), 1);
        line->addWidget(control->note());
        return pair;
    }

    QWidget *buildGroup(const GroupRecord &group)
    {
        QWidget *box = group.title.empty() ? new QWidget(this) : new QGroupBox(qtext(group.title), this);
        QFormLayout *form = nullptr;
        QHBoxLayout *row = nullptr;
        if (group.layout == GroupLayout::Form)
            form = new QFormLayout(box);
        else
            row = new QHBoxLayout(box);
        if (row != nullptr && group.title.empty())
            row->addStretch(); // an untitled row is a button bar, aligned right
        for (const ControlRecord &record : group.controls) {
            QtControl *control = createQtControl(record, handle_, box);
            if (control == nullptr)
                continue;
            controls_[record.id] = control;
            QWidget *field = withNote(control);
            if (form != nullptr && control->label() != nullptr)
                form->addRow(control->label(), field);
            else if (form != nullptr)
                form->addRow(field);
            else {
                if (control->label() != nullptr)
                    row->addWidget(control->label());
                row->addWidget(field);
            }
        }
        if (row != nullptr && !group.title.empty())
            row->addStretch();
        return box;
    }

    int handle_;
    bool underPopup_ = false; // deactivated by a modal popup, not yet active again
    unsigned poppedAt_ = 0;   // the count of panel activations when that happened
    static inline unsigned activations_ = 0;
    std::map<int, QtControl *> controls_; // owned by the window's widgets
};

class QtPanel final : public PanelView {
public:
    QtPanel(const PanelRecord &record, int handle) : window_(new PanelWindow(record, handle)) {}
    ~QtPanel() override
    {
        // Later, not now: the panel may be discarded from inside one of its own widgets' events.
        if (window_) {
            keepGeometry();
            window_->hide();
            window_->deleteLater();
        }
    }
    QtPanel(const QtPanel &) = delete;
    QtPanel &operator=(const QtPanel &) = delete;

    ControlView *control(int id) override { return window_ ? window_->control(id) : nullptr; }
    void display() override
    {
        if (!window_)
            return;
        if (!shown_) { // where the operator last left the panel's window
            shown_ = true;
            window_->restoreGeometry(QSettings().value(geometryKey()).toByteArray());
        }
        window_->show();
        window_->raise();
        window_->activateWindow();
    }
    PanelWindow *window() const { return window_.data(); }

private:
    QString geometryKey() const { return "windows/" + window_->objectName(); }
    void keepGeometry()
    {
        if (shown_)
            QSettings().setValue(geometryKey(), window_->saveGeometry());
    }

    QPointer<PanelWindow> window_;
    bool shown_ = false;
};

// A modal message box at least as wide as its title needs: window managers cut a title that
// does not fit ("QX Se... roller") on the narrow boxes of short messages.
class PopupBox final : public QMessageBox {
public:
    PopupBox(Icon icon, const std::string &title, const std::string &message, StandardButtons buttons)
        : QMessageBox(icon, qtext(title), qtext(message), buttons, QApplication::activeWindow())
    {
        setTextFormat(Qt::PlainText);
        setWindowModality(Qt::ApplicationModal);
        // The box sizes itself to its layout: a spacer across its bottom as wide as the title's
        // text, with room for the frame's icon and buttons.
        if (auto *grid = qobject_cast<QGridLayout *>(layout())) {
            const int width = QFontMetrics(font()).horizontalAdvance(windowTitle()) + kFrameAllowance;
            grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0,
                          1, grid->columnCount());
        }
    }

private:
    static constexpr int kFrameAllowance = 160;
};

int acknowledged(QMessageBox::Icon icon, const std::string &title, const std::string &message)
{
    PopupBox box(icon, title, message, QMessageBox::Ok);
    box.exec();
    return 0;
}

class QtToolkit final : public Backend {
public:
    explicit QtToolkit(std::unique_ptr<QApplication> application) : application_(std::move(application)) {}
    ~QtToolkit() override
    {
        if (application_) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            application_.reset();
        }
    }
    QtToolkit(const QtToolkit &) = delete;
    QtToolkit &operator=(const QtToolkit &) = delete;

    std::unique_ptr<PanelView> createPanel(const PanelRecord &record, int handle) override
    {
        return std::make_unique<QtPanel>(record, handle);
    }

    int messagePopup(const std::string &title, const std::string &message) override
    {
        return acknowledged(QMessageBox::Information, title, message);
    }

    int warningPopup(const std::string &title, const std::string &message) override
    {
        return acknowledged(QMessageBox::Warning, title, message);
    }

    int fileSelectPopup(const FileRequest &request, std::string &path) override
    {
        QWidget *parent = QApplication::activeWindow();
        const QString title = qtext(request.title), folder = qtext(request.directory), filter = qtext(request.pattern);
        const QString chosen = request.save ? QFileDialog::getSaveFileName(parent, title, folder, filter)
                                            : QFileDialog::getOpenFileName(parent, title, folder, filter);
        if (chosen.isEmpty())
            return 0;
        path = chosen.toStdString();
        return 1;
    }

    // In the user's configuration folder (~/.config/QX Series/<program>.conf).
    std::string setting(const std::string &key, const std::string &fallback) override
    {
        return QSettings().value(qtext(key), qtext(fallback)).toString().toStdString();
    }
    void saveSetting(const std::string &key, const std::string &value) override
    {
        QSettings().setValue(qtext(key), qtext(value));
    }

    int confirmPopup(const std::string &title, const std::string &message) override
    {
        PopupBox box(QMessageBox::Question, title, message, QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? 1 : 0;
    }

    int choicePopup(const std::string &title, const std::string &message,
                    const std::vector<std::string> &choices) override
    {
        PopupBox box(QMessageBox::Question, title, message, QMessageBox::NoButton);
        std::vector<QAbstractButton *> buttons;
        for (std::size_t i = 0; i < choices.size(); ++i) {
            const bool last = i + 1 == choices.size();
            buttons.push_back(box.addButton(qtext(choices[i]), last ? QMessageBox::RejectRole : QMessageBox::AcceptRole));
        }
        box.setEscapeButton(buttons.back());
        box.setDefaultButton(qobject_cast<QPushButton *>(buttons.back()));
        box.exec();
        const auto chosen = std::find(buttons.begin(), buttons.end(), box.clickedButton());
        return chosen == buttons.end() ? static_cast<int>(buttons.size()) - 1 : static_cast<int>(chosen - buttons.begin());
    }

    int runEventLoop() override { return QApplication::exec(); }
    void quitEventLoop(int code) override { QCoreApplication::exit(code); }
    void post(std::function<void()> call) override
    {
        QMetaObject::invokeMethod(qApp, std::move(call), Qt::QueuedConnection);
    }
    void processEvents() override { QCoreApplication::processEvents(); }
    void setWaitCursor(bool busy) override
    {
        if (busy == busy_)
            return;
        busy_ = busy;
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    }

private:
    std::unique_ptr<QApplication> application_; // null when the program brought its own
    bool busy_ = false;
};

bool hasEnvironment(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

bool displayGiven(int argc, char **argv)
{
    if (hasEnvironment("QT_QPA_PLATFORM") || hasEnvironment("DISPLAY") || hasEnvironment("WAYLAND_DISPLAY"))
        return true;
    for (int i = 1; i < argc && argv != nullptr; ++i)
        if (argv[i] != nullptr && std::strcmp(argv[i], "-platform") == 0)
            return true;
    return false;
}

QtPanel *qtPanel(int panel) { return dynamic_cast<QtPanel *>(panelView(panel)); }

} // namespace

int useQt(int &argc, char **argv) noexcept
{
    try {
        if (dynamic_cast<QtToolkit *>(currentBackend()) != nullptr)
            return 0;
        std::unique_ptr<QApplication> application;
        if (QCoreApplication::instance() == nullptr) {
            // Qt would abort the process without a display; the caller gets a status instead.
            if (!displayGiven(argc, argv))
                return UIE_NO_DISPLAY;
            application = std::make_unique<QApplication>(argc, argv);
        } else if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr) {
            return UIE_NOT_SUPPORTED;
        }
        // Only QuitUserInterface ends the loop; hiding the last panel does not.
        QApplication::setQuitOnLastWindowClosed(false);
        QCoreApplication::setOrganizationName("QX Series");
        return installBackend(std::make_unique<QtToolkit>(std::move(application)));
    } catch (const std::bad_alloc &) {
        return UIE_OUT_OF_MEMORY;
    } catch (...) {
        return UIE_INTERNAL;
    }
}

QWidget *panelWindow(int panel) noexcept
{
    const QtPanel *p = qtPanel(panel);
    return p == nullptr ? nullptr : p->window();
}

QWidget *controlWidget(int panel, int control) noexcept
{
    const QtPanel *p = qtPanel(panel);
    const QtControl *c = (p == nullptr || p->window() == nullptr) ? nullptr : p->window()->control(control);
    return c == nullptr ? nullptr : c->field();
}

} // namespace qx::ui
