#include "news/news.h"
#include "support/files.h"
#include "support/golden.h"
#include "support/window_harness.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

using namespace qv;

namespace {

const QByteArray kRss = test::file_bytes(QV_TEST_DATA_DIR "/news/headlines.rss");
const QString kSpoken = "テスト。見出し一。見出し二。見出し 三。四。五。";

// A news site on 127.0.0.1 answering the feed's request with kRss, or never (status 0).
struct FeedServer : QTcpServer {
    explicit FeedServer(int status) {
        const QByteArray response = "HTTP/1.1 " + QByteArray::number(status) +
                                    " X\r\nContent-Length: " + QByteArray::number(kRss.size()) +
                                    "\r\n\r\n" + kRss;
        connect(this, &QTcpServer::newConnection, [this, response, status] {
            QTcpSocket* socket = nextPendingConnection();
            ++connections;
            connect(socket, &QTcpSocket::readyRead, [socket, response, status] {
                if (socket->readAll().contains("GET /feed.xml HTTP/1.1") && status)
                    socket->write(response), socket->disconnectFromHost();
            });
        });
        if (!listen(QHostAddress::LocalHost)) qFatal("cannot listen on 127.0.0.1");
    }
    QString url() const { return QString("http://127.0.0.1:%1/feed.xml").arg(serverPort()); }
    int connections = 0;
};

}  // namespace

// RSS itself is read at start-up below (not the image's title, not the sixth headline).
TEST(NewsFeed, ReadsTheTitleAndFiveHeadlinesOfRssAtomAndRdfAndNothingElse) {
    // Each row of feeds.txt: a page and what is read of it (a title alone is no news; "-": it is
    // not a feed).
    for (const QString& row : golden_lines("cases/feeds.txt")) {
        const auto feed = parse_feed(row.section('\t', 0, 0).toUtf8());
        EXPECT_EQ(feed ? news_text(*feed) : "-", row.section('\t', 1)) << row.toStdString();
    }
    EXPECT_EQ(News::feed_url("news.example.test/rss").toString(), "http://news.example.test/rss");
    EXPECT_TRUE(News::feed_url("file:///etc/passwd").isEmpty() && News::feed_url("").isEmpty());
}

TEST(StartUpNews, TheHeadlinesAreReadOnceAfterTheTimeWhenAskedForAndTheSiteAnswersInTime) {
    // News on, site status (0: silent, which costs the budget, no more), connections, read.
    const std::tuple<bool, int, int, bool> cases[] = {
        {true, 200, 1, true}, {false, 200, 0, false}, {true, 404, 1, false}, {true, 0, 1, false}};
    for (const auto& [on, status, connections, read] : cases) {
        FeedServer server(status);
        test::WindowHarness h;
        ASSERT_TRUE(h.seed().updateNewsSel(on) && h.seed().updateNewsSite(server.url()));
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(h.start());
        const qint64 took = clock.elapsed();
        EXPECT_EQ(std::pair(server.connections, h.spoken().filter("見出し").size()),
                  std::pair(connections, qsizetype(read)));
        EXPECT_TRUE(h.spoken().front() == "09時05分" && (!read || h.spoken().indexOf(kSpoken) > 0));
        EXPECT_TRUE(status || (took > News::kBudgetMs - 100 && took < News::kBudgetMs + 2500))
            << took;
    }
}
