#pragma once

#include "dialog_walk.h"
#include "settings/account_editor.h"
#include "settings/account_list.h"
#include "settings/options_dialog.h"
#include "window_harness.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace qv::test {

inline AccountFields fields(const QString& tag) {
    return {"pop." + tag,          "smtp." + tag, "user-" + tag, "pw-" + tag,
            tag + "@example.test", "nick-" + tag, "title-" + tag};
}

// A dialog's control by its name; the test stops when there is none.
template <typename T = QWidget>
T* child(const QObject* dialog, const char* name) {
    T* w = dialog->findChild<T*>(QLatin1String(name));
    if (!w) qFatal("no %s", name);
    return w;
}

inline void click(QWidget* dialog, const char* button) {
    child<QPushButton>(dialog, button)->click();
    QApplication::processEvents();
}

// The real window with accounts a, b, c, ... (fields("a"), ...) of which the `current`-th (from
// 1; 0: none) is marked current; `seed` prepares the rest of the database. Used wherever a test
// goes through the settings dialogs.
struct SettingsWindow {
    WindowHarness h;
    QList<int> ids;

    explicit SettingsWindow(int count = 3, int current = 0,
                            const std::function<bool(MailStore&)>& seed = {}) {
        for (int i = 0; i < count; ++i) ids << h.seed().insertAccount(fields(QChar(u'a' + i)));
        if ((current > 0 && !h.seed().setCurrentAccount(ids[current - 1])) ||
            (seed && !seed(h.seed())) || !h.start()) {
            qFatal("the window did not start");
        }
    }
    AccountList* list() {
        h.trigger(QStringLiteral("t_account"));
        return h.parts().account_dialogs->list();
    }
    AccountEditor* editor() {
        return h.window().findChild<AccountEditor*>(QStringLiteral("account_set"));
    }
    OptionsDialog* options() {
        h.trigger(QStringLiteral("t_option"));
        return h.window().findChild<OptionsDialog*>(QStringLiteral("Options"));
    }
    std::optional<AccountRow> row(int id) {
        for (const AccountRow& r : h.store().accounts())
            if (r.id == id) return r;
        return std::nullopt;
    }
    static QStringList rows(AccountList* l, int role = Qt::DisplayRole) {
        QStringList out;
        for (int i = 0; i < l->list()->count(); ++i)
            out << l->list()->item(i)->data(role).toString();
        return out;
    }
    static void fill(AccountEditor* e, const AccountFields& f) {
        const QString values[] = {f.pop,   f.smtp, f.account, f.password,
                                  f.email, f.name, f.default_};
        for (int i = 0; i < AccountEditor::kFields; ++i) e->field(i)->setText(values[i]);
    }
};

}  // namespace qv::test
