#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace qv {

class Feedback;
class MailStore;
class Waiter;

// What a news feed says: its own title and its first headlines.
struct Headlines {
    QString title;
    QStringList items;
};

// Reads an RSS 2.0, RSS 1.0 (RDF) or Atom feed. Nothing when the bytes are not a well-formed feed.
std::optional<Headlines> parse_feed(const QByteArray& xml, int max_items = 5);

// The one text that is read aloud: the feed's title, then each headline, each ending in "。".
// Empty when the feed has no headline.
QString news_text(const Headlines& news);

// The start-up news: when the user asked for it, the feed at the news site is fetched and its
// title and first five headlines are read aloud. The start-up waits for it at most a few seconds;
// a feed that is offline, slow or broken is simply not read.
class News : public QObject {
    Q_OBJECT
  public:
    News(MailStore& store, Feedback& out, Waiter& waiter, QObject* parent);

    static constexpr int kBudgetMs = 3000;
    static constexpr int kHeadlines = 5;

    void speak_news();

    // The feed's bytes, or nothing when it could not be had within budget_ms. Painting, timers and
    // speech go on meanwhile; the user's keys wait and are handled afterwards, in order.
    static std::optional<QByteArray> fetch(const QUrl& url, int budget_ms, Waiter& waiter);
    // The address of the news site as stored; only http and https are fetched.
    static QUrl feed_url(const QString& site);

  private:
    MailStore& store_;
    Feedback& out_;
    Waiter& waiter_;
};

}  // namespace qv
