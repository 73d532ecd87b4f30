#include "mail/html_text.h"

#include <QHash>

#include <algorithm>
#include <cctype>

namespace qv::mail {
namespace {

constexpr qsizetype kMaxEntityLength = 32;

const QHash<QString, char32_t>& named_entities() {
    static const QHash<QString, char32_t> table = {
        {QStringLiteral("nbsp"), U' '},      {QStringLiteral("amp"), U'&'},
        {QStringLiteral("lt"), U'<'},        {QStringLiteral("gt"), U'>'},
        {QStringLiteral("quot"), U'"'},      {QStringLiteral("apos"), U'\''},
        {QStringLiteral("copy"), U'©'},      {QStringLiteral("reg"), U'®'},
        {QStringLiteral("trade"), U'™'},     {QStringLiteral("yen"), U'¥'},
        {QStringLiteral("euro"), U'€'},      {QStringLiteral("pound"), U'£'},
        {QStringLiteral("cent"), U'¢'},      {QStringLiteral("sect"), U'§'},
        {QStringLiteral("deg"), U'°'},       {QStringLiteral("plusmn"), U'±'},
        {QStringLiteral("times"), U'×'},     {QStringLiteral("divide"), U'÷'},
        {QStringLiteral("middot"), U'·'},    {QStringLiteral("bull"), U'•'},
        {QStringLiteral("hellip"), U'…'},    {QStringLiteral("ndash"), U'–'},
        {QStringLiteral("mdash"), U'—'},     {QStringLiteral("lsquo"), U'‘'},
        {QStringLiteral("rsquo"), U'’'},     {QStringLiteral("ldquo"), U'“'},
        {QStringLiteral("rdquo"), U'”'},     {QStringLiteral("laquo"), U'«'},
        {QStringLiteral("raquo"), U'»'},     {QStringLiteral("larr"), U'←'},
        {QStringLiteral("rarr"), U'→'},      {QStringLiteral("uarr"), U'↑'},
        {QStringLiteral("darr"), U'↓'},      {QStringLiteral("ensp"), U' '},
        {QStringLiteral("emsp"), U' '},      {QStringLiteral("thinsp"), U' '},
        {QStringLiteral("zwnj"), U'\u200C'}, {QStringLiteral("zwj"), U'\u200D'},
        {QStringLiteral("shy"), U'\u00AD'},  {QStringLiteral("iexcl"), U'¡'},
        {QStringLiteral("iquest"), U'¿'},    {QStringLiteral("para"), U'¶'},
        {QStringLiteral("micro"), U'µ'},     {QStringLiteral("frac12"), U'½'},
        {QStringLiteral("frac14"), U'¼'},    {QStringLiteral("frac34"), U'¾'},
    };
    return table;
}

bool is_html_space(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\r') || c == QLatin1Char('\f');
}

void append_code_point(QString& out, char32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        cp = 0xFFFD;
    }
    out += QString::fromUcs4(&cp, 1);
}

QString decode_entities(QStringView s) {
    if (!s.contains(QLatin1Char('&'))) {
        return s.toString();
    }
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != QLatin1Char('&')) {
            out += s[i];
            continue;
        }
        const qsizetype limit = std::min(s.size(), i + kMaxEntityLength);
        qsizetype semi = -1;
        for (qsizetype k = i + 1; k < limit; ++k) {
            if (s[k] == QLatin1Char(';')) {
                semi = k;
                break;
            }
            if (!s[k].isLetterOrNumber() && s[k] != QLatin1Char('#')) break;
        }
        if (semi < 0) {
            out += s[i];
            continue;
        }
        const QStringView name = s.sliced(i + 1, semi - i - 1);
        if (name.startsWith(QLatin1Char('#'))) {
            bool ok = false;
            const bool hex =
                name.size() > 1 && (name[1] == QLatin1Char('x') || name[1] == QLatin1Char('X'));
            const uint cp = hex ? name.sliced(2).toUInt(&ok, 16) : name.sliced(1).toUInt(&ok, 10);
            if (!ok) {
                out += s[i];
                continue;
            }
            append_code_point(out, cp == 0xA0 ? U' ' : char32_t(cp));
        } else {
            const auto it = named_entities().constFind(name.toString());
            if (it == named_entities().cend()) {
                out += s[i];
                continue;
            }
            append_code_point(out, it.value());
        }
        i = semi;
    }
    return out;
}

enum class Block { None, Line, Paragraph, Cell, ListItem };

Block block_of(QStringView tag) {
    static const QStringList paragraphs = {
        QStringLiteral("p"),  QStringLiteral("h1"),    QStringLiteral("h2"),
        QStringLiteral("h3"), QStringLiteral("h4"),    QStringLiteral("h5"),
        QStringLiteral("h6"), QStringLiteral("table"), QStringLiteral("blockquote"),
        QStringLiteral("ul"), QStringLiteral("ol"),    QStringLiteral("pre"),
        QStringLiteral("dl"), QStringLiteral("hr")};
    static const QStringList lines = {
        QStringLiteral("br"),      QStringLiteral("div"),     QStringLiteral("tr"),
        QStringLiteral("dt"),      QStringLiteral("dd"),      QStringLiteral("section"),
        QStringLiteral("article"), QStringLiteral("header"),  QStringLiteral("footer"),
        QStringLiteral("nav"),     QStringLiteral("aside"),   QStringLiteral("main"),
        QStringLiteral("form"),    QStringLiteral("center"),  QStringLiteral("address"),
        QStringLiteral("figure"),  QStringLiteral("caption"), QStringLiteral("body")};
    if (tag == QLatin1String("li")) return Block::ListItem;
    if (tag == QLatin1String("td") || tag == QLatin1String("th")) return Block::Cell;
    for (const QString& p : paragraphs) {
        if (tag == p) return Block::Paragraph;
    }
    for (const QString& l : lines) {
        if (tag == l) return Block::Line;
    }
    return Block::None;
}

void trim_trailing_spaces(QString& out) {
    while (!out.isEmpty() && out.back() == QLatin1Char(' ')) {
        out.chop(1);
    }
}

void break_line(QString& out, bool paragraph) {
    trim_trailing_spaces(out);
    if (out.isEmpty()) return;
    if (!out.endsWith(QLatin1Char('\n'))) out += QLatin1Char('\n');
    if (paragraph && !out.endsWith(QLatin1String("\n\n"))) out += QLatin1Char('\n');
}

// Index just past the '>' that closes the tag opened at i, quotes in attributes respected.
qsizetype tag_end(QStringView s, qsizetype i) {
    QChar quote;
    for (qsizetype k = i + 1; k < s.size(); ++k) {
        const QChar c = s[k];
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            // a quote only opens inside an attribute value (after '=')
            if (k > 0 && s[k - 1] == QLatin1Char('=')) quote = c;
        } else if (c == QLatin1Char('>')) {
            return k + 1;
        }
    }
    return s.size();
}

qsizetype find_closing(QStringView s, qsizetype from, QStringView tag) {
    const QString needle = QStringLiteral("</") + tag.toString();
    const qsizetype at = s.indexOf(needle, from, Qt::CaseInsensitive);
    return at < 0 ? -1 : tag_end(s, at);
}

void append_text(QString& out, QStringView run, bool pre) {
    if (pre) {
        out += decode_entities(run);
        return;
    }
    // Runs of white space become one space, and none at the start of a line.
    QString collapsed;
    collapsed.reserve(run.size());
    bool space = false;
    const auto last = [&] {
        if (!collapsed.isEmpty()) return collapsed.back();
        return out.isEmpty() ? QChar(QLatin1Char('\n')) : out.back();
    };
    for (QChar c : run) {
        if (is_html_space(c)) {
            space = true;
            continue;
        }
        if (space && last() != QLatin1Char('\n') && last() != QLatin1Char(' ')) {
            collapsed += QLatin1Char(' ');
        }
        space = false;
        collapsed += c;
    }
    if (space && last() != QLatin1Char('\n') && last() != QLatin1Char(' ')) {
        collapsed += QLatin1Char(' ');
    }
    out += decode_entities(collapsed);
}

QString tidy(const QString& text) {
    QStringList lines = text.split(QLatin1Char('\n'));
    QString out;
    out.reserve(text.size());
    int blank = 0;
    for (QString& line : lines) {
        while (!line.isEmpty() && line.back().isSpace()) line.chop(1);
        if (line.isEmpty()) {
            ++blank;
            continue;
        }
        if (!out.isEmpty()) out += blank > 0 ? QStringLiteral("\n\n") : QStringLiteral("\n");
        blank = 0;
        out += line;
    }
    return out;
}

}  // namespace

QString html_to_text(QStringView s) {
    QString out;
    out.reserve(s.size() / 2);
    bool pre = false;
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n) {
        if (s[i] != QLatin1Char('<')) {
            qsizetype next = s.indexOf(QLatin1Char('<'), i);
            if (next < 0) next = n;
            append_text(out, s.sliced(i, next - i), pre);
            i = next;
            continue;
        }
        if (s.sliced(i).startsWith(QLatin1String("<!--"))) {
            const qsizetype end = s.indexOf(QLatin1String("-->"), i + 4);
            i = end < 0 ? n : end + 3;
            continue;
        }
        qsizetype k = i + 1;
        const bool closing = k < n && s[k] == QLatin1Char('/');
        if (closing) ++k;
        if (k < n && (s[k] == QLatin1Char('!') || s[k] == QLatin1Char('?'))) {
            i = tag_end(s, i);  // doctype, processing instruction
            continue;
        }
        const qsizetype name_start = k;
        while (k < n && (s[k].isLetterOrNumber() && s[k].unicode() < 0x80)) ++k;
        if (k == name_start) {
            append_text(out, s.sliced(i, 1), pre);  // a lone '<' in the text
            ++i;
            continue;
        }
        const QString tag = s.sliced(name_start, k - name_start).toString().toLower();
        const qsizetype after = tag_end(s, i);
        i = after;
        if (!closing && (tag == QLatin1String("script") || tag == QLatin1String("style") ||
                         tag == QLatin1String("head") || tag == QLatin1String("title"))) {
            const qsizetype end = find_closing(s, after, tag);
            if (end >= 0) {
                i = end;
            } else if (tag == QLatin1String("script") || tag == QLatin1String("style")) {
                i = n;  // an unclosed script runs to the end
            }
            continue;
        }
        if (tag == QLatin1String("pre")) pre = !closing;
        switch (block_of(tag)) {
            case Block::None:
                break;
            case Block::Line:
                if (tag == QLatin1String("br")) {
                    trim_trailing_spaces(out);
                    out += QLatin1Char('\n');
                } else {
                    break_line(out, false);
                }
                break;
            case Block::Paragraph:
                break_line(out, true);
                break;
            case Block::ListItem:
                break_line(out, false);
                if (!closing) out += QStringLiteral("・");
                break;
            case Block::Cell:
                if (!closing && !out.isEmpty() && !out.endsWith(QLatin1Char('\n')) &&
                    !out.endsWith(QLatin1Char(' '))) {
                    out += QLatin1Char(' ');
                }
                break;
        }
    }
    return tidy(out);
}

QByteArray html_declared_charset(QByteArrayView html) {
    const QByteArray head =
        html.first(std::min<qsizetype>(html.size(), 8192)).toByteArray().toLower();
    qsizetype at = 0;
    while ((at = head.indexOf("charset", at)) >= 0) {
        qsizetype k = at + 7;
        while (k < head.size() && (head[k] == ' ' || head[k] == '\t')) ++k;
        if (k < head.size() && head[k] == '=') {
            ++k;
            while (k < head.size() && (head[k] == ' ' || head[k] == '"' || head[k] == '\'')) ++k;
            const qsizetype start = k;
            while (k < head.size() &&
                   (std::isalnum(static_cast<unsigned char>(head[k])) || head[k] == '-' ||
                    head[k] == '_' || head[k] == ':' || head[k] == '.')) {
                ++k;
            }
            if (k > start) return head.mid(start, k - start);
        }
        at += 7;
    }
    return {};
}

}  // namespace qv::mail
