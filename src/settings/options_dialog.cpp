#include "settings/options_dialog.h"

#include "core/dialog_voice.h"
#include "core/feedback.h"
#include "core/twips.h"
#include "settings/options.h"
#include "store/mail_store.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTabBar>
#include <QUrl>

namespace qv {

namespace {

// Where the pages lie, as built: left, top (twips). Selecting a tab changes only the lefts.
constexpr double kPageTop[3] = {480, 360, 480};
constexpr double kPageLeft[3] = {0, 120, 120};
constexpr double kShownLeft = 210;
constexpr double kHiddenLeft = -20000;

QString site_caption(MailStore& store) {
    const auto news = store.news();
    const QString host = news ? QUrl::fromUserInput(news->site).host() : QString();
    return host.isEmpty() ? QStringLiteral("最新ニュース") : host;
}

}  // namespace

OptionsDialog::OptionsDialog(Options& options, Feedback& out, QWidget* parent)
    : QDialog(parent), options_(options), out_(out) {
    setObjectName(QStringLiteral("Options"));
    setWindowTitle(QStringLiteral("ｵﾌﾟｼｮﾝ"));
    setAccessibleName(QStringLiteral("オプション"));
    setAccessibleDescription(QStringLiteral("署名、起動時のニュース、録音時間の設定"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    build();

    // Built: in the middle of the screen, with the stored values.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    const OptionValues values = options_.read_options();
    if (values.news_sel) newsCheck1_->setChecked(true);
    signature1_->setPlainText(values.signature_text);
    rec_sec_->setText(QString::number(values.record_seconds));
    tbsOptions_Click();
    voice_ = new DialogVoice(
        this, out_,
        QStringLiteral("署名、起動時のニュース、録音時間を設定します。Ctrl+TABキーでページを切り替"
                       "え、TABキーで項目を移ります。OKボタンで保存、ESCキーで取り消します"));
}

void OptionsDialog::build() {
    setFixedSize(twips(6150), twips(4920));

    auto* strip = new QFrame(this);
    strip->setObjectName(QStringLiteral("tbsOptions_client"));
    strip->setFrameShape(QFrame::StyledPanel);
    place(strip, 120, 120, 5895, 4245);

    for (int i = 0; i < 3; ++i) {
        auto* page = new QWidget(this);
        page->setObjectName(QStringLiteral("picOptions_%1").arg(i));
        place(page, kPageLeft[i], kPageTop[i], 5685, 3780);
        picOptions_[i] = page;
    }

    auto* fraSample1 = new QGroupBox(QStringLiteral("署名"), picOptions_[0]);
    fraSample1->setObjectName(QStringLiteral("fraSample1"));
    place(fraSample1, 840, 600, 4095, 2505);
    signature1_ = new QPlainTextEdit(fraSample1);
    signature1_->setObjectName(QStringLiteral("signature1"));
    signature1_->setTabChangesFocus(true);
    place(signature1_, 240, 360, 3495, 1815);

    auto* fraSample2 = new QGroupBox(site_caption(options_.store()), picOptions_[1]);
    fraSample2->setObjectName(QStringLiteral("fraSample2"));
    place(fraSample2, 645, 840, 4815, 1785);
    newsCheck1_ = new QCheckBox(QStringLiteral("起動時に最新を読む"), fraSample2);
    newsCheck1_->setObjectName(QStringLiteral("newsCheck1"));
    place(newsCheck1_, 960, 720, 2295, 375);

    auto* fraSample3 = new QGroupBox(QStringLiteral("録音時間（秒）"), picOptions_[2]);
    fraSample3->setObjectName(QStringLiteral("fraSample3"));
    place(fraSample3, 600, 960, 4695, 1425);
    rec_sec_ = new QLineEdit(QStringLiteral("30"), fraSample3);
    rec_sec_->setObjectName(QStringLiteral("rec_sec"));
    place(rec_sec_, 1920, 600, 735, 375);

    // Above the pages, so that the tabs stay clickable where a page reaches up under them.
    tbsOptions_ = new QTabBar(this);
    tbsOptions_->setObjectName(QStringLiteral("tbsOptions"));
    tbsOptions_->setFocusPolicy(Qt::StrongFocus);
    const char* keys[3] = {"Group1", "Group2", "group3"};
    const QString captions[3] = {QStringLiteral("署名"), QStringLiteral("最新ニュース"),
                                 QStringLiteral("音声録音")};
    for (int i = 0; i < 3; ++i) {
        tbsOptions_->addTab(captions[i]);
        tbsOptions_->setTabData(i, QLatin1String(keys[i]));
    }
    tbsOptions_->setGeometry(twips(120), twips(120), twips(5895), tbsOptions_->sizeHint().height());

    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("lblMessage"));
    message_->setWordWrap(true);
    place(message_, 120, 4440, 3480, 375);

    cmdOK_ = new QPushButton(QStringLiteral("OK"), this);
    cmdOK_->setObjectName(QStringLiteral("cmdOK"));
    place(cmdOK_, 3720, 4455, 1095, 375);
    cmdCancel_ = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
    place(cmdCancel_, 4920, 4440, 1095, 375);

    setTabOrder(tbsOptions_, cmdOK_);
    setTabOrder(cmdOK_, cmdCancel_);
    setTabOrder(cmdCancel_, signature1_);
    setTabOrder(signature1_, rec_sec_);
    setTabOrder(rec_sec_, newsCheck1_);
    tbsOptions_->setFocus();

    set_control_texts({
        {tbsOptions_, "ページ", "署名、最新ニュース、音声録音のページ。Ctrl+TABキーで切り替えます"},
        {signature1_, "署名", "新しいメールの本文の終わりに入れる署名"},
        {newsCheck1_, "起動時に最新を読む", "起動したときに最新のニュースを読み上げます"},
        {rec_sec_, "録音時間（秒）", "音声録音の長さ。1から3600までの秒数"},
        {cmdOK_, "OK", "設定を保存して閉じます"},
        {cmdCancel_, "キャンセル", "何も変えずに閉じます"},
        {message_, "メッセージ", "保存できなかったわけ"},
    });

    connect(tbsOptions_, &QTabBar::currentChanged, this, [this] { tbsOptions_Click(); });
    // Exactly Ctrl: Ctrl+Shift+Tab arrives as another key and is left alone.
    auto* next_tab = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this);
    next_tab->setContext(Qt::WindowShortcut);
    connect(next_tab, &QShortcut::activated, this, [this] { select_next_tab(); });
    connect(cmdOK_, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel_, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

void OptionsDialog::tbsOptions_Click() {
    const int selected = tbsOptions_->currentIndex();
    // Before the page switch, whose focus change is said after it.
    if (voice_) voice_->tell(tbsOptions_->tabText(selected) + QStringLiteral(" タブ"));
    for (int i = 0; i < int(picOptions_.size()); ++i) {
        QWidget* page = picOptions_[i];
        const bool shown = i == selected;
        page->move(twips(shown ? kShownLeft : kHiddenLeft), page->y());
        page->setEnabled(shown);
    }
    // The focus was on the page put away, and is nowhere now: the new page's field takes it.
    if (isActiveWindow() && !QApplication::focusWidget()) {
        QWidget* first[] = {signature1_, newsCheck1_, rec_sec_};
        first[selected]->setFocus(Qt::TabFocusReason);
    }
}

void OptionsDialog::select_next_tab() {
    const int i = tbsOptions_->currentIndex() + 1;  // counted from 1
    tbsOptions_->setCurrentIndex(i == tbsOptions_->count() ? 0 : i);
}

std::optional<int> OptionsDialog::seconds_from(const QString& typed) {
    const QString text = typed.normalized(QString::NormalizationForm_KC).trimmed();
    bool ok = false;
    const int seconds = text.toInt(&ok, 10);
    if (!ok || seconds < kMinSeconds || seconds > kMaxSeconds) return std::nullopt;
    return seconds;
}

void OptionsDialog::say(const QString& message) {
    message_->setText(message);
    voice_->tell(message);
}

void OptionsDialog::cmdOK_Click() {
    const std::optional<int> seconds = seconds_from(rec_sec_->text());
    if (!seconds) {
        // Why first, then where the user is taken to put it right.
        say(QStringLiteral("録音時間は%1から%2までの秒数を数字で入力してください")
                .arg(kMinSeconds)
                .arg(kMaxSeconds));
        tbsOptions_->setCurrentIndex(2);
        rec_sec_->setFocus();
        rec_sec_->selectAll();
        return;
    }
    OptionValues values;
    values.news_sel = newsCheck1_->isChecked();
    values.signature_text = signature1_->toPlainText();
    values.record_seconds = *seconds;
    if (!options_.write_options(values)) {
        say(QStringLiteral("オプションを保存できませんでした。もう一度OKを押してください"));
        return;
    }
    options_.use(values);
    voice_->set_closing_words(QStringLiteral("オプションを保存しました"));
    accept();
}

void OptionsDialog::cmdCancel_Click() { reject(); }

void OptionsDialog::reject() {
    voice_->set_closing_words(QStringLiteral("オプションを変更せずに閉じました"));
    QDialog::reject();
}

OptionsCommand::OptionsCommand(Options& options, Feedback& out, QWidget* window)
    : QObject(window), options_(options), out_(out), window_(window) {}

OptionsDialog* OptionsCommand::t_option_Click() {
    if (!open_) open_ = new OptionsDialog(options_, out_, window_);
    open_->show();
    open_->raise();
    open_->activateWindow();
    return open_;
}

}  // namespace qv
