#include "folders/address_book.h"

#include "core/control_events.h"
#include "core/feedback.h"
#include "folders/list_choice.h"
#include "store/mail_store.h"

#include <QListWidget>

namespace qv {

namespace {

constexpr int kSpokenRole = Qt::UserRole;

QString empty_book() {
    return QStringLiteral(
        "アドレス帳にはアドレスがありません。メール一覧のINSキーで送信者を登録できます");
}

}  // namespace

AddressBook::AddressBook(QListWidget* List2, Feedback& out, MailStore& store, QObject* parent)
    : QObject(parent), List2_(List2), out_(out), store_(store) {}

QString AddressBook::address_of(const QString& item) {
    const qsizetype cut = item.indexOf(QLatin1String("::"));
    return cut < 0 ? item : item.left(cut);
}

void AddressBook::read_address_from_db() {
    List2_->clear();
    for (const AddressRow& row : store_.addresses()) {
        auto* item = new QListWidgetItem(row.address + QStringLiteral("::") + row.name +
                                         QStringLiteral(":::") + QString::number(row.id));
        // What a move says: the name first, then the address.
        const QString name = row.name.trimmed();
        item->setData(kSpokenRole,
                      name.isEmpty() ? row.address : name + QStringLiteral("、") + row.address);
        List2_->addItem(item);
    }
}

void AddressBook::gained() {
    focus_gain(out_, List2_, key_guide(), 6);
    out_.tell(QStringLiteral("アドレス帳"));
}

void AddressBook::lost() { focus_loss(out_, List2_); }

void AddressBook::key(int code) {
    arrow_starts_at_first_item(List2_, code);
    speak_after_move(
        List2_, out_, code,
        [](const QListWidgetItem* item) { return item->data(kSpokenRole).toString(); },
        empty_book());
    const QString item = selected_item_text(List2_);
    selected_address_ = item.isNull() ? QString() : address_of(item);
    switch (code) {
        case kKeyEnter:
            if (has_selection()) out_.speak(selected_address_);
            break;
        case kKeyDel:
            if (has_selection()) delete_address();
            break;
        case kKeyEsc:
            if (has_selection()) emit writeTo(selected_address_);
            break;
        default:
            break;
    }
}

bool AddressBook::has_selection() {
    if (!selected_address_.isNull()) return true;
    out_.tell(
        List2_->count() == 0
            ? empty_book()
            : QStringLiteral("アドレスが選択されていません。矢印キーでアドレスを選んでください"));
    return false;
}

void AddressBook::delete_address() {
    if (!store_.deleteAddress(selected_address_)) {
        out_.tell(QStringLiteral("アドレスを削除できませんでした"));
        return;
    }
    read_address_from_db();
    out_.speak(QStringLiteral("アドレス削除しました"));
}

void AddressBook::t_address_Click() {
    out_.focus().help_context = 5;
    out_.speak(QStringLiteral("アドレス帳編集"));
    List2_->setFocus(Qt::OtherFocusReason);
}

}  // namespace qv
