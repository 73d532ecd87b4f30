#include "settings/account_editor.h"

#include "core/dialog_voice.h"
#include "core/feedback.h"
#include "core/twips.h"
#include "mail/server_address.h"
#include "settings/account_table.h"
#include "settings/accounts.h"
#include "store/mail_store.h"

#include <QCheckBox>
#include <QEvent>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>

namespace qv {

namespace {

const char* const kLabels[AccountEditor::kFields] = {
    "POP", "SMTP", "アカウント", "パスワード", "email", "ニックネーム", "メール表題"};

// How each field is named aloud and described: the short labels on screen say too little to the
// ear.
const char* const kNames[AccountEditor::kFields][2] = {
    {"POPサーバー",
     "メールを受け取るサーバー（POPまたはIMAP）の名前。例 "
     "pop.example.jp。F1キーで書き方を聞けます"},
    {"SMTPサーバー",
     "メールを送るSMTPサーバーの名前。例 smtp.example.jp。F1キーで書き方を聞けます"},
    {"アカウント", "POPサーバーにログインするときのユーザー名"},
    {"パスワード", "POPサーバーのパスワード。読み上げません"},
    {"メールアドレス", "自分のメールアドレス。送るメールの差出人になります"},
    {"ニックネーム", "このアカウントの呼び名"},
    {"メール表題", "このアカウントのメール表題"},
};

AccountFields fields_of(const Account& a) {
    return {a.pop, a.smtp, a.account, a.password, a.email, a.name, a.default_};
}

}  // namespace

AccountEditor::AccountEditor(AccountTable& state, MailStore& store, Feedback& out, QWidget* parent)
    : QDialog(parent), state_(state), store_(store), out_(out) {
    setObjectName(QStringLiteral("account_set"));
    setWindowTitle(QStringLiteral("アカウント編集"));
    build();
    voice_ = new DialogVoice(this, out_);
}

void AccountEditor::build() {
    setFixedSize(twips(4680), twips(5565));
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic")});
    font.setPointSize(9);

    Command1_ = new QPushButton(QStringLiteral("OK"), this);
    Command1_->setObjectName(QStringLiteral("Command1"));
    Command1_->setDefault(true);  // ENTER in a field is "OK"
    place(Command1_, 2160, 5160, 1095, 375);
    Command2_ = new QPushButton(QStringLiteral("キャンセル"), this);
    Command2_->setObjectName(QStringLiteral("Command2"));
    Command2_->setAutoDefault(false);
    place(Command2_, 3480, 5160, 1095, 375);

    QWidget* previous = Command2_;
    setTabOrder(Command1_, Command2_);
    for (int i = 0; i < kFields; ++i) {
        const double top = 360 + 480 * i;
        auto* label = new QLabel(QString::fromUtf8(kLabels[i]), this);
        label->setObjectName(QStringLiteral("Label1_%1").arg(i));
        label->setFont(font);
        place(label, 240, top, 1455, 255);
        auto* field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("Text1_%1").arg(i));
        field->setFont(font);
        place(field, 1800, top, 2775, 375);
        label->setBuddy(field);
        field->setAccessibleName(QString::fromUtf8(kNames[i][0]));
        field->setAccessibleDescription(QString::fromUtf8(kNames[i][1]));
        setTabOrder(previous, field);
        previous = field;
        Text1_[i] = field;
    }
    const std::pair<QCheckBox**, const char*> boxes[] = {{&keep_, "サーバーにメールを残す"},
                                                         {&plain_, "暗号化せずに接続する"}};
    double top = 3720;
    for (const auto& [box, caption] : boxes) {
        *box = new QCheckBox(QString::fromUtf8(caption), this);
        (*box)->setFont(font);
        (*box)->setAccessibleName((*box)->text());
        place(*box, 240, top, 4335, 300);
        setTabOrder(previous, *box);
        previous = *box;
        top += 360;
    }
    keep_->setObjectName(QStringLiteral("keepOnServer"));
    keep_->setAccessibleDescription(
        QStringLiteral("オンにすると、受信したメールをサーバーから削除しません"));
    plain_->setObjectName(QStringLiteral("plainLogin"));
    plain_->setAccessibleDescription(
        QStringLiteral("STARTTLSに対応していないサーバーにも、パスワードを暗号化せずに送って"
                       "接続します"));
    // A new account's box follows the receiving address until the user sets it.
    connect(keep_, &QCheckBox::clicked, this, [this] { keep_chosen_ = true; });
    connect(plain_, &QCheckBox::clicked, this, [this] { plain_chosen_ = true; });
    connect(Text1_[0], &QLineEdit::textChanged, this, [this](const QString& text) {
        if (edit_id_ == 0 && !keep_chosen_) keep_->setChecked(keeps_mail_by_address(text));
    });

    // The two server fields explain their forms on F1 and check what was typed on leaving.
    Text1_[0]->installEventFilter(this);
    Text1_[1]->installEventFilter(this);

    Label2_ = new QLabel(this);
    Label2_->setObjectName(QStringLiteral("Label2"));
    Label2_->setFont(font);
    place(Label2_, 240, 4440, 4215, 375);
    mark_secret(Text1_[3]);  // shown, as the editor always has, but never read out

    Command1_->setAccessibleName(QStringLiteral("OK"));
    Command1_->setAccessibleDescription(QStringLiteral("入力した設定を保存します"));
    Command2_->setAccessibleName(QStringLiteral("キャンセル"));
    Command2_->setAccessibleDescription(QStringLiteral("保存せずに閉じます"));
    Label2_->setAccessibleName(QStringLiteral("メッセージ"));
    Label2_->setAccessibleDescription(QStringLiteral("入力が足りないときなどの知らせ"));

    connect(Command1_, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2_, &QPushButton::clicked, this, [this] { Command2_Click(); });
}

QString AccountEditor::message() const { return Label2_->text(); }

QString AccountEditor::receive_server_help() {
    return QStringLiteral(
        "受信サーバーは、サーバーの名前だけか、pop3s:// か imaps:// で始めて書くと暗号化して"
        "つなぎます。pop3:// か imap:// で始めると、つないでから暗号化に切り替えます。ポート番号"
        "は、名前のあとにコロンと数字で書きます。例 imaps://imap.example.jp");
}

QString AccountEditor::send_server_help() {
    return QStringLiteral(
        "送信サーバーは、サーバーの名前だけか、smtps:// で始めて書くと暗号化してつなぎます。"
        "smtp:// で始めると、つないでから暗号化に切り替えます。ポート番号は、名前のあとにコロンと"
        "数字で書きます。例 smtp.example.jp:587");
}

QString AccountEditor::receive_server_hint(const QString& typed) {
    if (typed.trimmed().isEmpty()) return {};
    QString pop_error;
    QString imap_error;
    if (mail::parse_server_address(typed, mail::MailProtocol::Pop3, &pop_error) ||
        mail::parse_server_address(typed, mail::MailProtocol::Imap, &imap_error)) {
        return {};
    }
    return pop_error + QStringLiteral("。F1キーで書き方を聞けます");
}

QString AccountEditor::send_server_hint(const QString& typed) {
    if (typed.trimmed().isEmpty()) return {};
    QString error;
    if (mail::parse_server_address(typed, mail::MailProtocol::Smtp, &error)) return {};
    return error + QStringLiteral("。F1キーで書き方を聞けます");
}

bool AccountEditor::eventFilter(QObject* watched, QEvent* event) {
    const bool receive = watched == Text1_[0];
    if (!receive && watched != Text1_[1]) return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        voice_->tell(receive ? receive_server_help() : send_server_help());
        return true;
    }
    if (event->type() == QEvent::FocusOut && isVisible()) {
        // Only a hint: nothing is stored before OK, and OK stores what the user typed.
        const QString text = static_cast<QLineEdit*>(watched)->text();
        const QString hint = receive ? receive_server_hint(text) : send_server_hint(text);
        if (!hint.isEmpty()) say(hint);
    }
    return QDialog::eventFilter(watched, event);
}

void AccountEditor::prepare() {
    Label2_->clear();
    const bool edit = state_.account_edit_mode == QLatin1String("edit") &&
                      state_.account_edit_index >= 1 &&
                      state_.account_edit_index <= state_.account_count;
    const Account blank;
    const Account& a = edit ? state_.accounts[state_.account_edit_index] : blank;
    edit_id_ = edit ? a.id : 0;
    keep_chosen_ = false;
    plain_chosen_ = false;
    const QString values[kFields] = {a.pop,   a.smtp, a.account, a.password,
                                     a.email, a.name, a.default_};
    for (int i = 0; i < kFields; ++i) Text1_[i]->setText(values[i]);
    keep_->setChecked(keeps_mail_on_server(store_, a));
    plain_->setChecked(edit && store_.plainLogin(a.id).value_or(false));
    if (edit) {
        voice_->set_purpose(QStringLiteral("%1 の設定を変更します。TABキーで項目を移り、ENTERキー"
                                           "で保存します。ESCキーで取り消します")
                                .arg(a.email));
        Command1_->setFocus();
    } else {
        voice_->set_purpose(QStringLiteral(
            "新しいメールアカウントを登録します。7つの入力欄と2つのチェックボックスを"
            "TABキーで移って入力し、ENTERキーで保存します。ESCキーで取り消します"));
        Text1_[0]->setFocus();
    }
}

void AccountEditor::say(const QString& message) {
    Label2_->setText(message);
    voice_->tell(message);
}

int AccountEditor::edited_position() const {
    if (edit_id_ <= 0) return 0;
    for (int i = 1; i <= state_.account_count; ++i) {
        if (state_.accounts[i].id == edit_id_) return i;
    }
    return 0;
}

void AccountEditor::fill_entry(Account& a) const {
    a.pop = Text1_[0]->text();
    a.smtp = Text1_[1]->text();
    a.account = Text1_[2]->text();
    a.password = Text1_[3]->text();
    a.email = Text1_[4]->text();
    a.name = Text1_[5]->text();
    a.default_ = Text1_[6]->text();
}

bool AccountEditor::make_default_if_none(int position) {
    Account& a = state_.accounts[position];
    if (!store_.clearCurrentAccount() || !store_.setCurrentAccount(a.id)) {
        std::fprintf(stderr, "quorvel: cannot make account %d the default: %s\n", a.id,
                     qUtf8Printable(store_.lastError()));
        return false;
    }
    a.cur = true;
    state_.cur_account_index = position;
    return true;
}

void AccountEditor::save_choices(int id, bool servers_changed) {
    bool ok = store_.setKeepOnServer(id, keep_->isChecked());
    if (plain_chosen_) {
        ok = store_.setPlainLogin(id, plain_->isChecked()) && ok;
    } else if (servers_changed) {
        ok = store_.setPlainLogin(id, std::nullopt) && ok;  // asked again for the new server
    }
    if (!ok) {
        std::fprintf(stderr, "quorvel: cannot keep the choices of account %d: %s\n", id,
                     qUtf8Printable(store_.lastError()));
    }
}

void AccountEditor::Command1_Click() {
    for (QLineEdit* field : Text1_) {
        if (field->text().isEmpty()) {
            say(QStringLiteral("すべてを入力してください"));
            // Where the user can put it right, said after the reason.
            field->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    Account entry;
    fill_entry(entry);
    const AccountFields fields = fields_of(entry);

    if (state_.account_edit_mode != QLatin1String("edit")) {
        if (state_.account_count >= AccountTable::kMaxAccounts) {
            say(QStringLiteral("アカウントは%1件までです。これ以上は追加できません")
                    .arg(AccountTable::kMaxAccounts));
            return;
        }
        const int id = store_.insertAccount(fields);
        if (id <= 0) {
            say(QStringLiteral("アカウントを保存できませんでした。もう一度OKを押してください"));
            return;
        }
        entry.id = id;  // kept, so the new account can be edited, deleted or made default now
        save_choices(id, false);
        const int position = ++state_.account_count;
        state_.accounts[position] = entry;
        QString saved = QStringLiteral("アカウント %1 を保存しました").arg(entry.email);
        if (state_.cur_account_index == 0) {
            saved = make_default_if_none(position)
                        ? QStringLiteral("アカウント %1 を保存し、既定のアカウントにしました")
                              .arg(entry.email)
                        : saved + QStringLiteral("。既定のアカウントにはできませんでした");
        }
        voice_->set_closing_words(saved);
        accept();
        emit added(position);
        return;
    }

    const int position = edited_position();
    if (position == 0) {
        say(QStringLiteral("このアカウントは削除されています"));
        return;
    }
    if (!store_.updateAccount(fields, edit_id_)) {
        say(QStringLiteral("アカウントを保存できませんでした。もう一度OKを押してください"));
        return;
    }
    const Account& before = state_.accounts[position];
    save_choices(edit_id_, before.pop != entry.pop || before.smtp != entry.smtp);
    voice_->set_closing_words(QStringLiteral("アカウント %1 を保存しました").arg(entry.email));
    accept();
    state_.account_edit_index = position;
    fill_entry(state_.accounts[position]);
    emit edited(position);
}

void AccountEditor::Command2_Click() { reject(); }

}  // namespace qv
