#pragma once

// HTML bodies built to make an HTML reader slow or crash, about 10 MB each, shared by the tests
// and bench_html. Each names a text the reader must still find in it (empty when none).
#include <QByteArray>
#include <QString>

#include <iterator>
#include <string_view>

namespace qv::test {

using namespace std::string_view_literals;

struct HostileHtml {
    const char* name;
    QString html;
    QString survives;
};

// head repeated head_times, then piece repeated times (0: up to 10 MB), then tail.
struct HostileHtmlKind {
    const char* name;
    std::string_view head;
    int head_times;
    std::string_view piece;
    int times;
    const char *tail, *survives;
};

inline constexpr HostileHtmlKind kHostileHtml[] = {
    {"unclosed title", {}, 0, "<title>x", 0, "", ""},
    {"unclosed div", {}, 0, "<div>x", 0, "", "x"},
    {"unclosed b i", {}, 0, "<b><i>x", 0, "", "x"},
    {"unclosed table", {}, 0, "<table><tr><td>x", 0, "", "x\n\nx"},
    {"million deep div", {}, 0, "<div>", 1000000, "bottom", "bottom"},
    {"million deep span", {}, 0, "<span>", 1000000, "bottom", "bottom"},
    {"NUL bytes", {}, 0, "<p>a\0b&amp;\0"sv, 0, "", "ab&"},
    {"1 MB attribute", "<p title=\"", 1, "a", 1024 * 1024, "\">after</p>", "after"},
    {"one tag, a million attributes", "<p", 1, {}, 0, ">after", "after"},  // names made below
    {"deep, then unmatched end tags", "<div>", 300000, "</span>x", 1000000, "", "x"},
    {"unknown entities", {}, 0, "&zz;", 0, "", "&zz;"},
    {"late entities", {}, 0, "&diams;", 0, "", "♦"},
    {"broken attributes", {}, 0, "<a =\"'>", 0, "", ""},
};
inline constexpr int kHostileHtmlKinds = static_cast<int>(std::size(kHostileHtml));

inline HostileHtml hostile_html(int kind) {
    const HostileHtmlKind& k = kHostileHtml[kind];
    const auto repeated = [](std::string_view piece, int times) {
        const QString p = QString::fromLatin1(piece.data(), static_cast<qsizetype>(piece.size()));
        return p.isEmpty() ? p : p.repeated(times ? times : 10 * 1024 * 1024 / p.size());
    };
    QString html = repeated(k.head, k.head_times) + repeated(k.piece, k.times);
    for (int i = 0; k.piece.empty() && html.size() < 10 * 1024 * 1024; ++i)
        html += QStringLiteral(" a%1").arg(i);  // attributes, each of its own name
    return {k.name, html + QString::fromUtf8(k.tail), QString::fromUtf8(k.survives)};
}

}  // namespace qv::test
