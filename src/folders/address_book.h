#pragma once

#include <QObject>
#include <QString>

class QListWidget;

namespace qv {

class Feedback;
class MailStore;

// The address book list: each item is "address::name:::id". ENTER says the address, DEL deletes
// every row with it, ESC begins a new mail to it.
class AddressBook : public QObject {
    Q_OBJECT
  public:
    AddressBook(QListWidget* List2, Feedback& out, MailStore& store, QObject* parent);

    void read_address_from_db();

    void gained();
    void lost();
    void key(int code);

    // Menu command: to the address book.
    void t_address_Click();

    static QString key_guide() { return QStringLiteral("[矢印:選択 DEL:削除 ESC:メール送信 ]"); }
    // The address part of an item's text: everything before the first "::".
    static QString address_of(const QString& item);

  signals:
    // ESC on an address: a new mail to it.
    void writeTo(const QString& address);

  private:
    void delete_address();
    // False (after telling the user) when no item is selected.
    bool has_selection();

    QListWidget* List2_;
    Feedback& out_;
    MailStore& store_;
    QString selected_address_;
};

}  // namespace qv
