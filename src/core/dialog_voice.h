#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <functional>
#include <initializer_list>

class QAbstractItemView;
class QAction;
class QDialog;
class QLabel;
class QLineEdit;
class QModelIndex;
class QWidget;

namespace qv {

class Feedback;

// What a control says of itself when it takes the focus: its name, then its value or state
// ("POPサーバー 空欄", "パスワード 入力済み", "待っている間の合図音 オン", "速さ 110パーセント",
// "OK ボタン", "アカウント一覧 a@example.test"). The name is the control's accessible name, else
// the text of the label it is the buddy of, else a button's own caption, without its mnemonic.
QString control_name(const QWidget* control);
QString control_value(const QWidget* control);
// Name and value; a button adds its accessible description (what pressing it does).
QString describe_control(const QWidget* control);

// What to say after a text field changed from `before` to `after` by the user: what was typed
// or committed at once (an input method's whole word), else what was erased; "空白" for blanks;
// empty when nothing changed.
QString typed_change(const QString& before, const QString& after);

// Gives each control the accessible name and description that the voice (and a screen reader)
// says for it: what it is, and what it is for.
struct ControlText {
    QWidget* control;
    const char* name;         // UTF-8
    const char* description;  // UTF-8
};
void set_control_texts(std::initializer_list<ControlText> texts);

// A text field whose text is never said nor echoed, only whether it is filled. Fields in
// password mode are secret without this; the account editor shows its password in the clear.
void mark_secret(QWidget* field);
bool is_secret(const QWidget* field);

// The voice of one dialog, the same for every dialog of the program: on opening, the dialog's
// name and what it is for; on every focus change, the control's name and value, shown also in the
// dialog's own status line (when it has one) and in the main window's, with the grey focus look;
// a list item the arrows land on; the characters typed into a field; on closing, that it closed.
// The focus is said as a move (a newer one replaces it); the rest is never cut short.
class DialogVoice : public QObject {
    Q_OBJECT
  public:
    // purpose: said after the dialog's name each time it opens; empty for the name alone.
    DialogVoice(QDialog* dialog, Feedback& out, QString purpose = QString(),
                QLabel* status = nullptr);

    // The voice attached to a dialog, if any.
    static DialogVoice* of(const QWidget* dialog);

    void set_purpose(QString purpose);
    // For a purpose that depends on the moment of opening (how many accounts there are).
    void set_purpose(std::function<QString()> purpose) { purpose_ = std::move(purpose); }
    // Said when the dialog next closes, instead of "<name>を閉じました" (an outcome such as
    // "…を保存しました"); an empty text says nothing, for an opener that reports the outcome.
    void set_closing_words(const QString& words);
    // A message the user must not miss: the dialog's status line, the main window's, and said.
    void tell(const QString& message);
    // Says a control whose value has just changed (cutting the previous move).
    void say_value(QWidget* control);
    // The dialog answers changes of its values itself (the speech settings answer in the new
    // voice); without this, a changed check box, spin box or combo box with the focus is said.
    void answer_changes_myself() { own_changes_ = true; }

    // The dialog's spoken name: its accessible name, else its caption.
    QString name() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void opened();
    void closed();
    void watch(QWidget* control);
    void focus_in(QWidget* control, const QEvent* event);
    void announce(QWidget* control);
    void item_moved(QAbstractItemView* view, const QModelIndex& current);
    void changed(QWidget* control);
    void edited(QLineEdit* field, const QString& text);
    void show_both(const QString& text);

    QDialog* dialog_;
    Feedback& out_;
    std::function<QString()> purpose_;
    QPointer<QLabel> status_;
    QString closing_;
    bool has_closing_ = false;
    bool own_changes_ = false;
    // Set while a control is said on arrival, so that a list settling on its item then is not
    // said twice.
    bool announcing_ = false;
    QSet<QWidget*> watched_;
    QHash<QLineEdit*, QString> typed_;
};

// Gives every dialog of the program a voice, those Qt makes (message boxes) included: a dialog
// without one of its own gets one before it is first shown, its text being its purpose. The given
// actions (the voice's own keys: repeat, history) are added to every dialog so their keys work
// there as in the main window.
class DialogWatch : public QObject {
  public:
    DialogWatch(Feedback& out, QList<QAction*> keys, QObject* parent);
    ~DialogWatch() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    Feedback& out_;
    QList<QPointer<QAction>> keys_;
};

}  // namespace qv
