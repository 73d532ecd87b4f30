#include "folders/address_book.h"

#include "core/app_state.h"
#include "core/context.h"
#include "core/control_events.h"
#include "core/feedback.h"
#include "core/widgets.h"
#include "folders/list_choice.h"
#include "store/mail_store.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

namespace qv {

AddressBook::AddressBook(Context& ctx, QObject* parent) : QObject(parent), ctx_(ctx) {}

QString AddressBook::address_of(const QString& item) {
    const qsizetype cut = item.indexOf(QLatin1String("::"));
    return cut < 0 ? item : item.left(cut);
}

void AddressBook::read_address_from_db() {
    QListWidget* list = ctx_.w.List2;
    list->clear();
    for (const AddressRow& row : ctx_.store.addresses()) {
        list->addItem(row.address + QStringLiteral("::") + row.name + QStringLiteral(":::") +
                      QString::number(row.id));
    }
}

void AddressBook::gained() {
    focus_gain(ctx_.out, ctx_.state, ctx_.w.List2, key_guide(), 6);
    ctx_.out.show_status(QStringLiteral("アドレス帳"));
    ctx_.out.speak(QStringLiteral("アドレス帳"));
}

void AddressBook::lost() { focus_loss(ctx_.state, ctx_.w.List2); }

void AddressBook::key(int code) {
    arrow_starts_at_first_item(ctx_.w.List2, code);
    const QString item = selected_item_text(ctx_.w.List2);
    ctx_.state.selected_address = item.isNull() ? QString() : address_of(item);
    switch (code) {
        case kKeyEnter:
            if (has_selection()) ctx_.out.speak(ctx_.state.selected_address);
            break;
        case kKeyDel:
            if (has_selection()) delete_address();
            break;
        case kKeyEsc:
            if (has_selection()) write_to();
            break;
        default:
            break;
    }
}

bool AddressBook::has_selection() {
    if (!ctx_.state.selected_address.isNull()) return true;
    const QString message =
        ctx_.w.List2->count() == 0
            ? QStringLiteral(
                  "アドレス帳にはアドレスがありません。メール一覧のINSキーで送信者を登録で"
                  "きます")
            : QStringLiteral("アドレスが選択されていません。矢印キーでアドレスを選んでください");
    ctx_.out.show_status(message);
    ctx_.out.speak(message);
    return false;
}

void AddressBook::delete_address() {
    if (!ctx_.store.deleteAddress(ctx_.state.selected_address)) {
        ctx_.out.show_status(QStringLiteral("アドレスを削除できませんでした"));
        ctx_.out.speak(QStringLiteral("アドレスを削除できませんでした"));
        return;
    }
    read_address_from_db();
    ctx_.out.speak(QStringLiteral("アドレス削除しました"));
}

void AddressBook::write_to() {
    const QString& address = ctx_.state.selected_address;
    ctx_.out.show_status(address + QStringLiteral("へのメール送信"));
    ctx_.w.mailto->setText(address);
    ctx_.w.subject->clear();
    ctx_.w.body->setPlainText(QStringLiteral("\r\n") + ctx_.state.signature_text);
    ctx_.out.speak(QStringLiteral("件名を入力してください"));
    ctx_.w.subject->setFocus(Qt::OtherFocusReason);
}

void AddressBook::t_address_Click() {
    ctx_.state.help_context = 5;
    ctx_.out.speak(QStringLiteral("アドレス帳編集"));
    ctx_.w.List2->setFocus(Qt::OtherFocusReason);
}

}  // namespace qv
