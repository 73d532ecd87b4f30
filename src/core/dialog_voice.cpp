#include "core/dialog_voice.h"

#include "core/feedback.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabBar>
#include <QTextDocument>
#include <QTextEdit>

namespace qv {

namespace {

const char* const kSecret = "qv_secret";

// "速さ(&R)" is said "速さ"; "&&" stands for one "&".
QString without_mnemonic(QString text) {
    static const QRegularExpression suffix(QStringLiteral("\\(&[^&]\\)$"));
    text.remove(suffix);
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) out += text[++i];
            continue;
        }
        out += text[i];
    }
    return out.trimmed();
}

QString blank_or(const QString& text) { return text.isEmpty() ? QStringLiteral("空欄") : text; }

QString item_text(const QModelIndex& index) {
    const QString spoken = index.data(Qt::AccessibleTextRole).toString();
    return spoken.isEmpty() ? index.data(Qt::DisplayRole).toString() : spoken;
}

QString plain(const QString& text) {
    if (!Qt::mightBeRichText(text)) return text;
    QTextDocument doc;
    doc.setHtml(text);
    return doc.toPlainText();
}

// What a dialog the program did not give a voice of its own is for: a message box's message.
QString text_of(const QDialog* dialog) {
    const auto* box = qobject_cast<const QMessageBox*>(dialog);
    if (!box) return {};
    QString text = plain(box->text());
    if (!box->informativeText().isEmpty())
        text += QStringLiteral("。") + plain(box->informativeText());
    return text;
}

}  // namespace

void set_control_texts(std::initializer_list<ControlText> texts) {
    for (const ControlText& t : texts) {
        t.control->setAccessibleName(QString::fromUtf8(t.name));
        t.control->setAccessibleDescription(QString::fromUtf8(t.description));
    }
}

void mark_secret(QWidget* field) { field->setProperty(kSecret, true); }

bool is_secret(const QWidget* field) {
    if (field->property(kSecret).toBool()) return true;
    const auto* edit = qobject_cast<const QLineEdit*>(field);
    return edit && edit->echoMode() != QLineEdit::Normal;
}

QString control_name(const QWidget* control) {
    if (!control->accessibleName().isEmpty()) return control->accessibleName();
    for (const QLabel* label : control->window()->findChildren<QLabel*>()) {
        if (label->buddy() == control) return without_mnemonic(label->text());
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        return without_mnemonic(button->text());
    }
    return {};
}

QString control_value(const QWidget* control) {
    if (const auto* edit = qobject_cast<const QLineEdit*>(control)) {
        if (is_secret(edit)) {
            return edit->text().isEmpty() ? QStringLiteral("空欄") : QStringLiteral("入力済み");
        }
        return blank_or(edit->text());
    }
    if (const auto* edit = qobject_cast<const QPlainTextEdit*>(control)) {
        return blank_or(edit->toPlainText());
    }
    if (const auto* edit = qobject_cast<const QTextEdit*>(control)) {
        return blank_or(edit->toPlainText());
    }
    if (const auto* spin = qobject_cast<const QAbstractSpinBox*>(control)) {
        QString value = spin->text();
        return value.replace(QLatin1Char('%'), QStringLiteral("パーセント"));
    }
    if (const auto* combo = qobject_cast<const QComboBox*>(control)) {
        return blank_or(combo->currentText());
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        if (!button->isCheckable()) return QStringLiteral("ボタン");
        return button->isChecked() ? QStringLiteral("オン") : QStringLiteral("オフ");
    }
    if (const auto* view = qobject_cast<const QAbstractItemView*>(control)) {
        if (view->currentIndex().isValid()) return item_text(view->currentIndex());
        const bool empty = !view->model() || view->model()->rowCount(view->rootIndex()) == 0;
        return empty ? QStringLiteral("項目なし") : QStringLiteral("選択なし");
    }
    if (const auto* tabs = qobject_cast<const QTabBar*>(control)) {
        return without_mnemonic(tabs->tabText(tabs->currentIndex())) + QStringLiteral(" タブ");
    }
    return {};
}

QString describe_control(const QWidget* control) {
    QStringList parts;
    for (const QString& part : {control_name(control), control_value(control)}) {
        if (!part.isEmpty()) parts << part;
    }
    // Never nothing: a control that cannot name itself still tells the user they moved.
    if (parts.isEmpty()) return QStringLiteral("名前のない項目");
    QString text = parts.join(QLatin1Char(' '));
    const auto* button = qobject_cast<const QAbstractButton*>(control);
    if (button && !button->isCheckable() && !control->accessibleDescription().isEmpty()) {
        text += QStringLiteral("。") + control->accessibleDescription();
    }
    return text;
}

DialogVoice::DialogVoice(QDialog* dialog, Feedback& out, QString purpose, QLabel* status)
    : QObject(dialog), dialog_(dialog), out_(out), status_(status) {
    // One voice per dialog: the one the watch gave before the dialog made its own goes.
    for (auto* other : dialog->findChildren<DialogVoice*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (other != this) delete other;
    }
    set_purpose(std::move(purpose));
    dialog->installEventFilter(this);
    connect(dialog, &QDialog::finished, this, &DialogVoice::closed);
}

DialogVoice* DialogVoice::of(const QWidget* dialog) {
    return dialog->findChild<DialogVoice*>(QString(), Qt::FindDirectChildrenOnly);
}

void DialogVoice::set_purpose(QString purpose) {
    purpose_ = [purpose = std::move(purpose)] { return purpose; };
}

void DialogVoice::set_closing_words(const QString& words) {
    closing_ = words;
    has_closing_ = true;
}

QString DialogVoice::name() const {
    if (!dialog_->accessibleName().isEmpty()) return dialog_->accessibleName();
    return without_mnemonic(dialog_->windowTitle());
}

void DialogVoice::show_both(const QString& text) {
    if (status_) status_->setText(text);
    out_.show_status(text);
}

void DialogVoice::tell(const QString& message) {
    show_both(message);
    out_.speak(message);
}

bool DialogVoice::eventFilter(QObject* watched, QEvent* event) {
    if (watched == dialog_) {
        // A spontaneous show is the window system giving back a minimised dialog.
        if (event->type() == QEvent::Show && !event->spontaneous()) opened();
        return false;
    }
    if (event->type() == QEvent::FocusIn) {
        focus_in(static_cast<QWidget*>(watched), event);
    } else if (event->type() == QEvent::FocusOut) {
        focus_loss(out_, static_cast<QWidget*>(watched));
    }
    return false;
}

void DialogVoice::opened() {
    // The controls are all there by now; popups (a combo box's list) are windows of their own.
    for (QWidget* control : dialog_->findChildren<QWidget*>()) {
        if (control->focusPolicy() != Qt::NoFocus && !control->focusProxy() &&
            control->window() == dialog_) {
            watch(control);
        }
    }
    const QString purpose = purpose_ ? purpose_() : QString();
    tell(purpose.isEmpty() ? name() : name() + QStringLiteral("。") + purpose);
}

void DialogVoice::closed() {
    const QString words = has_closing_ ? closing_ : name() + QStringLiteral("を閉じました");
    has_closing_ = false;
    if (words.isEmpty()) return;
    out_.show_status(words);
    out_.speak(words);
}

void DialogVoice::watch(QWidget* control) {
    if (watched_.contains(control)) return;
    watched_.insert(control);
    control->installEventFilter(this);
    connect(control, &QObject::destroyed, this, [this, control] { watched_.remove(control); });
    if (auto* view = qobject_cast<QAbstractItemView*>(control); view && view->selectionModel()) {
        connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this, view](const QModelIndex& current) { item_moved(view, current); });
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        connect(edit, &QLineEdit::textEdited, this,
                [this, edit](const QString& text) { edited(edit, text); });
    }
    auto said = [this, control] { changed(control); };
    if (auto* button = qobject_cast<QAbstractButton*>(control); button && button->isCheckable()) {
        connect(button, &QAbstractButton::toggled, this, said);
    } else if (auto* spin = qobject_cast<QSpinBox*>(control)) {
        connect(spin, &QSpinBox::valueChanged, this, said);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        connect(combo, &QComboBox::currentIndexChanged, this, said);
    }
}

void DialogVoice::focus_in(QWidget* control, const QEvent* event) {
    // A dialog being shown tells its focus widget before the window is active, and a window
    // hidden before it became active may still be told it is: the focus is not there yet, or
    // no longer. The control is said when the focus really arrives.
    if (!dialog_->isVisible() || !control->hasFocus()) return;
    focus_gain(out_, control, QString(), out_.focus().help_context);
    // Back from a combo box's list or the menu: the user is where they were, nothing new.
    const Qt::FocusReason reason = static_cast<const QFocusEvent*>(event)->reason();
    if (reason == Qt::PopupFocusReason || reason == Qt::MenuBarFocusReason) return;
    announce(control);
}

void DialogVoice::announce(QWidget* control) {
    announcing_ = true;
    if (auto* view = qobject_cast<QAbstractItemView*>(control)) {
        // The view makes its first item current as the focus arrives; done here first, it is
        // said with the list's name instead of a moment later on its own.
        QAbstractItemModel* model = view->model();
        if (!view->currentIndex().isValid() && view->selectionModel() && model &&
            model->rowCount(view->rootIndex()) > 0) {
            view->selectionModel()->setCurrentIndex(model->index(0, 0, view->rootIndex()),
                                                    QItemSelectionModel::NoUpdate);
        }
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control)) typed_[edit] = edit->text();
    const QString text = describe_control(control);
    show_both(text);
    out_.voice().speak_move(text);
    announcing_ = false;
}

void DialogVoice::item_moved(QAbstractItemView* view, const QModelIndex& current) {
    if (announcing_ || !view->hasFocus() || !current.isValid()) return;
    const QString text = item_text(current);
    show_both(text);
    // As in every list of the program: only while the user wants moves said.
    out_.speak_move(text);
}

void DialogVoice::changed(QWidget* control) {
    if (own_changes_ || !control->hasFocus()) return;
    say_value(control);
}

void DialogVoice::say_value(QWidget* control) {
    const QString text = describe_control(control);
    show_both(text);
    out_.voice().speak_move(text);
}

void DialogVoice::edited(QLineEdit* field, const QString& text) {
    const QString before = typed_.value(field);
    typed_[field] = text;
    if (is_secret(field)) return;
    const QString said = typed_change(before, text);
    if (!said.isEmpty()) out_.voice().speak_move(said);
}

QString typed_change(const QString& before, const QString& after) {
    qsizetype head = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head]) ++head;
    qsizetype tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) {
        ++tail;
    }
    QString said = after.mid(head, after.size() - head - tail);
    if (said.isEmpty()) said = before.mid(head, before.size() - head - tail);
    if (said.isEmpty()) return said;
    if (said.trimmed().isEmpty()) {
        return said.contains(QLatin1Char('\n')) ? QStringLiteral("改行") : QStringLiteral("空白");
    }
    return said;
}

DialogWatch::DialogWatch(Feedback& out, QList<QAction*> keys, QObject* parent)
    : QObject(parent), out_(out) {
    for (QAction* key : keys) keys_ << key;
    if (auto* app = QCoreApplication::instance()) app->installEventFilter(this);
}

DialogWatch::~DialogWatch() {
    if (auto* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

bool DialogWatch::eventFilter(QObject* watched, QEvent* event) {
    // Polish comes once, before a widget is first shown: in time for the voice to hear the show.
    if (event->type() != QEvent::Polish) return false;
    auto* dialog = qobject_cast<QDialog*>(watched);
    if (!dialog || !dialog->isWindow()) return false;
    for (const QPointer<QAction>& key : keys_) {
        if (key && !dialog->actions().contains(key.data())) dialog->addAction(key);
    }
    if (!DialogVoice::of(dialog)) new DialogVoice(dialog, out_, text_of(dialog));
    return false;
}

}  // namespace qv
