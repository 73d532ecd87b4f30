#pragma once

// HTML bodies built to make an HTML reader slow or crash, about 10 MB each, shared by the tests
// and bench_html. Each names a text the reader must still find in it (empty when none).
#include <QByteArray>
#include <QString>

namespace qv::test {

struct HostileHtml {
    const char* name;
    QString html;
    QString survives;
};

inline constexpr const char* kHostileHtmlNames[] = {"unclosed title",
                                                    "unclosed div",
                                                    "unclosed b i",
                                                    "unclosed table",
                                                    "million deep div",
                                                    "million deep span",
                                                    "NUL bytes",
                                                    "1 MB attribute",
                                                    "one tag, a million attributes",
                                                    "deep, then unmatched end tags",
                                                    "unknown entities",
                                                    "late entities",
                                                    "broken attributes"};
inline constexpr int kHostileHtmlKinds =
    static_cast<int>(sizeof kHostileHtmlNames / sizeof kHostileHtmlNames[0]);

inline HostileHtml hostile_html(int kind) {
    constexpr qsizetype size = 10 * 1024 * 1024;
    const auto repeated = [](const QByteArray& piece) {
        const QString p = QString::fromLatin1(piece);
        return p.repeated(size / p.size());
    };
    switch (kind) {
        case 0:
            return {kHostileHtmlNames[kind], repeated("<title>x"), {}};
        case 1:
            return {kHostileHtmlNames[kind], repeated("<div>x"), QStringLiteral("x")};
        case 2:
            return {kHostileHtmlNames[kind], repeated("<b><i>x"), QStringLiteral("x")};
        case 3:
            return {kHostileHtmlNames[kind], repeated("<table><tr><td>x"),
                    QStringLiteral("x\n\nx")};
        case 4:
            return {kHostileHtmlNames[kind], QStringLiteral("<div>").repeated(1000000) + "bottom",
                    QStringLiteral("bottom")};
        case 5:
            return {kHostileHtmlNames[kind], QStringLiteral("<span>").repeated(1000000) + "bottom",
                    QStringLiteral("bottom")};
        case 6:
            return {kHostileHtmlNames[kind], repeated(QByteArray("<p>a\0b&amp;\0", 13)),
                    QStringLiteral("ab&")};
        case 7:
            return {kHostileHtmlNames[kind],
                    "<p title=\"" + QString(1024 * 1024, QLatin1Char('a')) + "\">after</p>",
                    QStringLiteral("after")};
        case 8: {
            QString tag = QStringLiteral("<p");
            for (int i = 0; tag.size() < size; ++i) tag += QStringLiteral(" a%1").arg(i);
            return {kHostileHtmlNames[kind], tag + ">after", QStringLiteral("after")};
        }
        case 9:
            return {kHostileHtmlNames[kind],
                    QStringLiteral("<div>").repeated(300000) +
                        QStringLiteral("</span>x").repeated(1000000),
                    QStringLiteral("x")};
        case 10:
            return {kHostileHtmlNames[kind], repeated("&zz;"), QStringLiteral("&zz;")};
        case 11:
            return {kHostileHtmlNames[kind], repeated("&diams;"), QStringLiteral("\u2666")};
        default:
            return {kHostileHtmlNames[kind], repeated("<a =\"'>"), {}};
    }
}

}  // namespace qv::test
