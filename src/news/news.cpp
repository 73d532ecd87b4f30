#include "news/news.h"

#include "core/feedback.h"
#include "core/wait.h"
#include "store/mail_store.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTextDocumentFragment>
#include <QXmlStreamReader>

#include <memory>

namespace qv {

namespace {

// A feed is a few hundred kilobytes at most; anything far larger is not a feed.
constexpr qint64 kMaxFeedBytes = 4 * 1024 * 1024;

QString title_text(QXmlStreamReader& xml) {
    const bool html = xml.attributes().value(QLatin1String("type")) == QLatin1String("html");
    QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
    if (html) text = QTextDocumentFragment::fromHtml(text).toPlainText();
    return text.simplified();
}

bool ends_a_sentence(const QString& text) {
    static const QString enders = QStringLiteral("。．.！!？?");
    return !text.isEmpty() && enders.contains(text.back());
}

}  // namespace

std::optional<Headlines> parse_feed(const QByteArray& bytes, int max_items) {
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement()) return std::nullopt;
    const QStringView root = xml.name();
    const bool atom = root == QLatin1String("feed");
    if (!atom && root != QLatin1String("rss") && root != QLatin1String("RDF")) return std::nullopt;

    // The title of the feed sits in <channel> (RSS) or right in <feed> (Atom); the headlines are
    // the titles of <item> or <entry>. Other titles (of an image, a source) are not news.
    Headlines news;
    QStringList open{root.toString()};
    bool item_titled = false;
    const QLatin1String feed_parent = atom ? QLatin1String("feed") : QLatin1String("channel");
    const QLatin1String item_name = atom ? QLatin1String("entry") : QLatin1String("item");
    while (!xml.atEnd() && news.items.size() < max_items) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (open.size() > 1) open.removeLast();
            continue;
        }
        if (token != QXmlStreamReader::StartElement) continue;
        const QString name = xml.name().toString();
        if (name == QLatin1String("title")) {
            const QString& parent = open.last();
            if (parent == item_name && !item_titled) {
                item_titled = true;
                const QString text = title_text(xml);
                if (!text.isEmpty()) news.items << text;
            } else if (parent == feed_parent && news.title.isEmpty()) {
                news.title = title_text(xml);
            } else {
                xml.skipCurrentElement();
            }
            continue;  // the title's end element has been read with it
        }
        if (name == item_name) item_titled = false;
        open << name;
    }
    if (xml.hasError()) return std::nullopt;
    return news;
}

QString news_text(const Headlines& news) {
    if (news.items.isEmpty()) return QString();
    QString text;
    for (const QString& part : QStringList{news.title} + news.items) {
        if (part.isEmpty()) continue;
        text += part;
        if (!ends_a_sentence(part)) text += QStringLiteral("。");
    }
    return text;
}

News::News(MailStore& store, Feedback& out, Waiter& waiter, QObject* parent)
    : QObject(parent), store_(store), out_(out), waiter_(waiter) {}

QUrl News::feed_url(const QString& site) {
    const QUrl url = QUrl::fromUserInput(site.trimmed());
    if (!url.isValid() || url.host().isEmpty()) return QUrl();
    if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")) {
        return QUrl();
    }
    return url;
}

std::optional<QByteArray> News::fetch(const QUrl& url, int budget_ms, Waiter& waiter) {
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("QuorvelMailer/2.0"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    // The budget below is what the user was promised; the transfer's own timeout (a coarse
    // timer that may fire 5% early) is only a backstop.
    request.setTransferTimeout(budget_ms + 500);
    std::unique_ptr<QNetworkReply> reply(network.get(request));

    QObject::connect(reply.get(), &QNetworkReply::finished, reply.get(),
                     [&waiter] { waiter.wake(); });
    QObject::connect(reply.get(), &QNetworkReply::downloadProgress, reply.get(),
                     [r = reply.get()](qint64 received, qint64) {
                         if (received > kMaxFeedBytes) r->abort();
                     });
    QNetworkReply* r = reply.get();
    if (!waiter.wait_until([r] { return r->isFinished(); }, {budget_ms, false})) {
        reply->abort();
        return std::nullopt;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status < 200 || status >= 300) {
        return std::nullopt;
    }
    return reply->readAll();
}

void News::speak_news() {
    const std::optional<NewsRow> choice = store_.news();
    if (!choice || !choice->sel) return;
    const QUrl url = feed_url(choice->site);
    if (url.isEmpty()) return;
    const std::optional<QByteArray> feed = fetch(url, kBudgetMs, waiter_);
    if (!feed) return;
    const std::optional<Headlines> news = parse_feed(*feed, kHeadlines);
    if (news) out_.speak(news_text(*news));
}

}  // namespace qv
