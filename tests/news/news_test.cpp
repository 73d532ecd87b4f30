#include "news/news.h"
#include "support/window_harness.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <memory>

using namespace qv;
using qv::test::WindowHarness;

namespace {

// A news site on 127.0.0.1 that answers every request with one response, or never answers.
class FeedServer {
  public:
    explicit FeedServer(QByteArray response) : response_(std::move(response)) {
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                ++connections;
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    request += socket->readAll();
                    if (!request.contains("\r\n\r\n") || response_.isEmpty()) return;
                    socket->write(response_);
                    socket->disconnectFromHost();
                });
            }
        });
        if (!server_.listen(QHostAddress::LocalHost)) qFatal("cannot listen on 127.0.0.1");
    }
    static std::unique_ptr<FeedServer> serving(const QByteArray& body, int status = 200) {
        return std::make_unique<FeedServer>(
            "HTTP/1.1 " + QByteArray::number(status) +
            " X\r\nContent-Type: application/rss+xml; charset=utf-8\r\nContent-Length: " +
            QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    }
    QString url() const {
        return QStringLiteral("http://127.0.0.1:%1/feed.xml").arg(server_.serverPort());
    }

    int connections = 0;
    QByteArray request;

  private:
    QTcpServer server_;
    QByteArray response_;
};

const QByteArray kRss =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<rss version=\"2.0\"><channel><title>テストニュース</title>"
    "<image><title>ロゴ</title></image>"
    "<item><title>見出し一</title></item><item><title>見出し二。</title></item>"
    "<item><title>  見出し\n 三 </title></item><item><title>見出し四</title></item>"
    "<item><title>見出し五</title></item><item><title>見出し六</title></item>"
    "</channel></rss>";
const QString kSpoken =
    QStringLiteral("テストニュース。見出し一。見出し二。見出し 三。見出し四。見出し五。");

void seed_news(WindowHarness& h, bool sel, const QString& site) {
    ASSERT_TRUE(h.seed().updateNewsSel(sel));
    ASSERT_TRUE(h.seed().updateNewsSite(site));
    // An account, so that the start-up goes straight on without the first-use set-up.
    ASSERT_GT(h.seed().insertAccount({QStringLiteral("pop.example.test"),
                                      QStringLiteral("smtp.example.test"), QStringLiteral("u"),
                                      QStringLiteral("p"), QStringLiteral("u@example.test"),
                                      QStringLiteral("n"), QStringLiteral("t")}),
              0);
}

}  // namespace

TEST(NewsFeed, ReadsRssAtomAndRdf) {
    auto rss = parse_feed(kRss);
    ASSERT_TRUE(rss);
    EXPECT_EQ(rss->title, QStringLiteral("テストニュース"));  // not the image's title
    EXPECT_EQ(rss->items.size(), 5);
    EXPECT_EQ(news_text(*rss), kSpoken);

    auto atom = parse_feed(
        "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>Atom便り</title>"
        "<author><name>x</name></author>"
        "<entry><title type=\"html\">&lt;b&gt;太字&lt;/b&gt;の話</title></entry>"
        "<entry><title>次の話</title></entry></feed>");
    ASSERT_TRUE(atom);
    EXPECT_EQ(news_text(*atom), QStringLiteral("Atom便り。太字の話。次の話。"));

    auto rdf = parse_feed(
        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
        "xmlns=\"http://purl.org/rss/1.0/\"><channel><title>RDF</title></channel>"
        "<item><title>一つ目</title></item></rdf:RDF>");
    ASSERT_TRUE(rdf);
    EXPECT_EQ(news_text(*rdf), QStringLiteral("RDF。一つ目。"));
}

TEST(NewsFeed, NothingToSayFromPagesThatAreNotFeeds) {
    EXPECT_FALSE(parse_feed("<html><head><title>t</title></head></html>"));
    EXPECT_FALSE(parse_feed("<rss><channel><title>壊れ</title><item><title>x</item>"));
    EXPECT_FALSE(parse_feed(""));
    auto empty = parse_feed("<rss><channel><title>見出しなし</title></channel></rss>");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(news_text(*empty).isEmpty());  // a title alone is no news
}

TEST(NewsFeed, OnlyWebAddressesAreFetched) {
    EXPECT_EQ(News::feed_url(QStringLiteral("news.example.test/rss")).toString(),
              QStringLiteral("http://news.example.test/rss"));
    EXPECT_TRUE(News::feed_url(QStringLiteral("file:///etc/passwd")).isEmpty());
    EXPECT_TRUE(News::feed_url(QString()).isEmpty());
}

TEST(StartUpNews, TheHeadlinesAreReadAfterTheTime) {
    auto server = FeedServer::serving(kRss);
    WindowHarness h;
    seed_news(h, true, server->url());
    ASSERT_TRUE(h.start());
    EXPECT_EQ(server->connections, 1);
    EXPECT_TRUE(server->request.startsWith("GET /feed.xml HTTP/1.1\r\n"));
    const QStringList said = h.spoken();
    ASSERT_TRUE(said.contains(kSpoken)) << said.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(said.front(), QStringLiteral("09時05分"));
    EXPECT_EQ(said.count(kSpoken), 1);
}

TEST(StartUpNews, NoConnectionWhenTheNewsIsOff) {
    auto server = FeedServer::serving(kRss);
    WindowHarness h;
    seed_news(h, false, server->url());
    ASSERT_TRUE(h.start());
    QCoreApplication::processEvents();
    EXPECT_EQ(server->connections, 0);
    EXPECT_FALSE(h.spoken().contains(kSpoken));
}

TEST(StartUpNews, AFailingSiteIsNotReadAndNotWaitedFor) {
    auto missing = FeedServer::serving("not here", 404);
    WindowHarness h;
    seed_news(h, true, missing->url());
    ASSERT_TRUE(h.start());
    EXPECT_EQ(missing->connections, 1);
    EXPECT_FALSE(h.spoken().join(QString()).contains(QStringLiteral("not here")));

    // A server that takes the request and never answers costs the start-up its budget, no more.
    FeedServer silent{QByteArray()};
    WindowHarness h2;
    seed_news(h2, true, silent.url());
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(h2.start());
    const qint64 took = clock.elapsed();
    EXPECT_EQ(silent.connections, 1);
    EXPECT_GE(took, News::kBudgetMs - 100);
    EXPECT_LT(took, News::kBudgetMs + 2500);
    EXPECT_EQ(h2.spoken().filter(QStringLiteral("見出し")).size(), 0);
}

TEST(StartUpNews, FetchGivesUpAtItsBudget) {
    Waiter waiter;
    FeedServer silent{QByteArray()};
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(News::fetch(QUrl(silent.url()), 300, waiter));
    EXPECT_LT(clock.elapsed(), 2000);
    auto served = FeedServer::serving(kRss);
    const auto bytes = News::fetch(QUrl(served->url()), 2000, waiter);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, kRss);
}
