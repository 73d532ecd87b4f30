#include "mail/html_text.h"

#include <QList>

#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>

#include <time.h>
#include <array>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

// Why libxml2's HTML parser, driven through SAX, and what is around it.
//
// Mail is hostile input. Both candidate parsers (gumbo, libxml2) were tried on 10 MB of unclosed
// <div>, <b><i>, <table> and <title> tags, a million nested elements, NUL bytes and a 1 MB
// attribute: gumbo took minutes on the unclosed <div> and <b><i> (its scope checks walk the whole
// stack of open elements) and crashed on the tables and the deep nesting; libxml2's SAX parser read
// each in under a second, without building a tree (so there is no tree to walk or free).
// libxml2 still has costs that grow faster than the input, which the code below keeps in bounds:
//  - it compares every attribute of a tag with every other one (30 000 attributes in one tag
//    take over a second, a million take hours), and looks entities in attribute values up in a
//    table: attributes are of no use for the text, so they are removed before parsing
//    (strip_attributes);
//  - each parse error and each entity costs it about a microsecond, and an end tag that matches
//    nothing makes it search the whole stack of open elements: a document that takes longer than
//    kBudgetNs of processor time is cut there, with the text read so far. The clock is read
//    every kClockEvery callbacks; an error counts as more the deeper the stack (the search
//    comes before the error), so that the work between two readings stays small however deep
//    the document nests.
// No network: HTML_PARSE_NONET, no entity loader, and the SAX handler has no callbacks that would
// resolve anything.

namespace qv::mail {
namespace {

constexpr long kBudgetNs = static_cast<long>(kHtmlBudgetSeconds * 1e9);  // from the start
constexpr long kClockEvery = 1024;  // callbacks between two looks at the clock
constexpr int kDepthWeight = 64;    // open elements that make an error count once more

long thread_cpu_ns() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1000L * 1000 * 1000 + t.tv_nsec;
}

void init_libxml() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The text as UTF-8 without what XML parsers refuse character by character (NUL and the other
// C0 controls, U+FFFE, U+FFFF): each would cost a parse error, and NUL ends libxml2's input.
QByteArray parser_input(QStringView html) {
    QString clean;
    clean.reserve(html.size());
    for (const QChar c : html) {
        const char16_t u = c.unicode();
        if (u == u'\f') {
            clean += QLatin1Char(' ');
        } else if ((u >= 0x20 && u != 0xFFFE && u != 0xFFFF) || u == u'\t' || u == u'\n' ||
                   u == u'\r') {
            clean += c;
        }
    }
    return clean.toUtf8();
}

// Position of the first case-insensitive `needle` (ASCII) in bytes at or after `from`, or -1.
qsizetype find_ascii_nocase(const QByteArray& bytes, qsizetype from, const char* needle) {
    const qsizetype n = static_cast<qsizetype>(std::strlen(needle));
    const char* data = bytes.constData();
    qsizetype at = from;
    while (at + n <= bytes.size()) {
        const void* hit = std::memchr(data + at, needle[0], static_cast<size_t>(bytes.size() - at));
        if (!hit) return -1;
        at = static_cast<const char*>(hit) - data;
        if (at + n <= bytes.size() && qstrnicmp(data + at, needle, n) == 0) return at;
        ++at;
    }
    return -1;
}

// Every start tag with its attributes removed ("<td class=x>" becomes "<td>"). The tag's end is
// found as libxml2 finds it (quoted values may hold '>'); comments and the content of <script>
// and <style>, which libxml2 does not read as markup, are left as they are.
QByteArray strip_attributes(const QByteArray& in) {
    const char* p = in.constData();
    const qsizetype n = in.size();
    QByteArray out;
    qsizetype copied = 0;  // in[0, copied) is in out
    qsizetype i = 0;
    while (i < n) {
        const void* hit = std::memchr(p + i, '<', static_cast<size_t>(n - i));
        if (!hit) break;
        i = static_cast<const char*>(hit) - p;
        if (n - i >= 4 && std::memcmp(p + i, "<!--", 4) == 0) {
            const qsizetype end = QByteArrayView(p + i + 4, n - i - 4).indexOf("-->");
            i = end < 0 ? n : i + 4 + end + 3;
            continue;
        }
        if (i + 1 >= n || !(is_alpha(p[i + 1]) || p[i + 1] == '_' || p[i + 1] == ':')) {
            ++i;
            continue;
        }
        qsizetype k = i + 1;
        while (k < n && !is_space(p[k]) && p[k] != '/' && p[k] != '>') ++k;
        const QByteArrayView name(p + i + 1, k - i - 1);
        const qsizetype name_end = k;
        bool self_closing = false;
        while (k < n && p[k] != '>') {
            if (p[k] == '/' && k + 1 < n && p[k + 1] == '>') {
                self_closing = true;
                break;
            }
            if (p[k] == '=') {
                ++k;
                while (k < n && is_space(p[k])) ++k;
                if (k < n && (p[k] == '"' || p[k] == '\'')) {
                    const void* close =
                        std::memchr(p + k + 1, p[k], static_cast<size_t>(n - k - 1));
                    k = close ? static_cast<const char*>(close) - p + 1 : n;
                }
                continue;
            }
            ++k;
        }
        const qsizetype tag_end = std::min(n, k + (self_closing ? 2 : 1));
        if (k > name_end) {
            if (out.isEmpty()) out.reserve(n);
            out.append(p + copied, name_end - copied);
            out.append(self_closing ? "/>" : ">");
            copied = tag_end;
        }
        i = tag_end;
        if (!self_closing && (name.compare("script", Qt::CaseInsensitive) == 0 ||
                              name.compare("style", Qt::CaseInsensitive) == 0)) {
            const QByteArray close = "</" + name.toByteArray();
            const qsizetype end = find_ascii_nocase(in, i, close.constData());
            i = end < 0 ? n : end;
        }
    }
    if (copied == 0) return in;
    out.append(p + copied, n - copied);
    return out;
}

// What an element is to the reader.
enum class Kind { Inline, Hidden, Line, Paragraph, Break, ListItem, Cell, Pre };

Kind kind_of(const char* name) {
    struct Entry {
        const char* name;
        Kind kind;
    };
    // libxml2 gives element names in lower case.
    static const Entry entries[] = {
        {"script", Kind::Hidden},
        {"style", Kind::Hidden},
        {"head", Kind::Hidden},
        {"title", Kind::Hidden},
        {"template", Kind::Hidden},
        {"br", Kind::Break},
        {"li", Kind::ListItem},
        {"td", Kind::Cell},
        {"th", Kind::Cell},
        {"pre", Kind::Pre},
        {"p", Kind::Paragraph},
        {"h1", Kind::Paragraph},
        {"h2", Kind::Paragraph},
        {"h3", Kind::Paragraph},
        {"h4", Kind::Paragraph},
        {"h5", Kind::Paragraph},
        {"h6", Kind::Paragraph},
        {"table", Kind::Paragraph},
        {"ul", Kind::Paragraph},
        {"ol", Kind::Paragraph},
        {"dl", Kind::Paragraph},
        {"hr", Kind::Paragraph},
        {"blockquote", Kind::Paragraph},
        {"div", Kind::Line},
        {"tr", Kind::Line},
        {"dt", Kind::Line},
        {"dd", Kind::Line},
        {"section", Kind::Line},
        {"article", Kind::Line},
        {"header", Kind::Line},
        {"footer", Kind::Line},
        {"nav", Kind::Line},
        {"aside", Kind::Line},
        {"main", Kind::Line},
        {"form", Kind::Line},
        {"center", Kind::Line},
        {"address", Kind::Line},
        {"figure", Kind::Line},
        {"figcaption", Kind::Line},
        {"caption", Kind::Line},
        {"body", Kind::Line},
        {"fieldset", Kind::Line},
        {"legend", Kind::Line},
        {"details", Kind::Line},
        {"summary", Kind::Line},
        {"menu", Kind::Line},
        {"dir", Kind::Line},
        {"thead", Kind::Line},
        {"tbody", Kind::Line},
        {"tfoot", Kind::Line},
        {"option", Kind::Line},
        {"textarea", Kind::Line},
    };
    for (const Entry& e : entries) {
        if (std::strcmp(name, e.name) == 0) return e.kind;
    }
    return Kind::Inline;
}

// kind_of() for names from the parser's dictionary, which gives each name one address: most
// documents use a few dozen names, millions of times.
class KindCache {
  public:
    Kind operator()(const xmlChar* name) {
        // Names lie a few bytes apart: mix the address so that they spread over the slots.
        const std::uint64_t key = reinterpret_cast<std::uintptr_t>(name);
        Slot& slot = slots_[(key * 0x9E3779B97F4A7C15ULL) >> 57];
        if (slot.name != name) {
            slot.name = name;
            slot.kind = kind_of(reinterpret_cast<const char*>(name));
        }
        return slot.kind;
    }

  private:
    struct Slot {
        const xmlChar* name = nullptr;
        Kind kind = Kind::Inline;
    };
    static constexpr std::size_t kSlots = 128;  // the top 7 bits of the mixed address
    std::array<Slot, kSlots> slots_{};
};

// The text being written, with the state of one document read in one or more parser runs.
struct Reader {
    KindCache kind;
    std::string out;
    bool space = false;  // white space seen since the last character written
    int hidden = 0;      // inside script, style, head ...
    int pre = 0;
    int depth = 0;  // elements open
    long work = 0;  // callbacks since the last look at the clock, weighted by depth
    long deadline_ns = 0;
    htmlParserCtxtPtr ctxt = nullptr;
    bool halted = false;  // the parser was stopped: ignore what it still reports

    void trim_trailing_spaces() {
        while (!out.empty() && out.back() == ' ') out.pop_back();
    }
    void break_line(bool paragraph) {
        space = false;
        trim_trailing_spaces();
        if (out.empty()) return;
        if (out.back() != '\n') out += '\n';
        if (paragraph &&
            out.compare(out.size() - std::min<size_t>(2, out.size()), 2, "\n\n") != 0) {
            out += '\n';
        }
    }
    void text(const char* s, int len) {
        if (hidden > 0) return;
        if (pre > 0) {
            out.append(s, static_cast<size_t>(len));
            return;
        }
        for (int i = 0; i < len; ++i) {
            const char c = s[i];
            if (is_space(c)) {
                space = true;
                continue;
            }
            if (space && !out.empty() && out.back() != '\n' && out.back() != ' ') out += ' ';
            space = false;
            if (static_cast<unsigned char>(c) == 0xC2 && i + 1 < len &&
                static_cast<unsigned char>(s[i + 1]) == 0xA0) {
                out += ' ';  // a no-break space is a space that stays
                ++i;
                continue;
            }
            out += c;
        }
    }
    // Stops the parser once it has run past the budget; true when it has.
    bool over_budget(long weight = 1) {
        if (halted) return true;
        work += weight;
        if (work < kClockEvery) return false;
        work = 0;
        if (thread_cpu_ns() <= deadline_ns) return false;
        halted = true;
        xmlStopParser(ctxt);
        return true;
    }
};

Reader* reader_of(void* user) { return static_cast<Reader*>(user); }

void on_start(void* user, const xmlChar* name, const xmlChar**) {
    Reader& r = *reader_of(user);
    if (r.over_budget()) return;
    ++r.depth;
    switch (r.kind(name)) {
        case Kind::Hidden:
            ++r.hidden;
            break;
        case Kind::Pre:
            r.break_line(true);
            ++r.pre;
            break;
        case Kind::Paragraph:
            r.break_line(true);
            break;
        case Kind::Line:
            r.break_line(false);
            break;
        case Kind::Break:
            r.space = false;
            r.trim_trailing_spaces();
            if (r.hidden == 0) r.out += '\n';
            break;
        case Kind::ListItem:
            r.break_line(false);
            if (r.hidden == 0) r.out += "・";
            break;
        case Kind::Cell:
            if (!r.out.empty() && r.out.back() != '\n' && r.out.back() != ' ') r.out += ' ';
            r.space = false;
            break;
        case Kind::Inline:
            break;
    }
}

void on_end(void* user, const xmlChar* name) {
    Reader& r = *reader_of(user);
    if (r.over_budget()) return;
    if (r.depth > 0) --r.depth;
    switch (r.kind(name)) {
        case Kind::Hidden:
            if (r.hidden > 0) --r.hidden;
            break;
        case Kind::Pre:
            if (r.pre > 0) --r.pre;
            r.break_line(true);
            break;
        case Kind::Paragraph:
            r.break_line(true);
            break;
        case Kind::Line:
        case Kind::ListItem:
            r.break_line(false);
            break;
        case Kind::Break:
        case Kind::Cell:
        case Kind::Inline:
            break;
    }
}

void on_text(void* user, const xmlChar* text, int len) {
    Reader& r = *reader_of(user);
    if (r.over_budget()) return;
    r.text(reinterpret_cast<const char*>(text), len);
}

void on_error(void* user, xmlErrorPtr) {
    Reader& r = *reader_of(user);
    r.over_budget(1 + r.depth / kDepthWeight);
}

// Runs libxml2's HTML parser over UTF-8 text with the given callbacks; `started` is told the
// parser before it reads (the callbacks stop it through xmlStopParser).
template <typename Started>
void parse_utf8(const QByteArray& bytes, const htmlSAXHandler& handler, void* user,
                Started started) {
    // A parser over a copy of the text: libxml2 2.9 loses its place in multibyte text near the
    // end of a buffer it does not own.
    htmlParserCtxtPtr ctxt =
        htmlCreateMemoryParserCtxt(bytes.constData(), static_cast<int>(bytes.size()));
    if (!ctxt) return;
    *ctxt->sax = handler;
    ctxt->userData = user;
    htmlCtxtUseOptions(ctxt, HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR |
                                 HTML_PARSE_NOWARNING | HTML_PARSE_IGNORE_ENC);
    xmlSwitchEncoding(ctxt, XML_CHAR_ENCODING_UTF8);
    started(ctxt);
    htmlParseDocument(ctxt);
    htmlFreeParserCtxt(ctxt);
}

// Errors are counted against the budget and go nowhere else (without serror libxml2 prints
// them).
htmlSAXHandler text_handler() {
    htmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.startElement = on_start;
    sax.endElement = on_end;
    sax.characters = on_text;
    sax.ignorableWhitespace = on_text;
    sax.serror = on_error;
    sax.initialized = XML_SAX2_MAGIC;
    return sax;
}

// Lines without trailing blanks, at most one empty line in a row, none at either end.
QString tidy(const std::string& text) {
    const QString all = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QString out;
    out.reserve(all.size());
    int blank = 0;
    for (QStringView line : QStringView(all).split(QLatin1Char('\n'))) {
        while (!line.isEmpty() && line.back().isSpace()) line.chop(1);
        if (line.isEmpty()) {
            ++blank;
            continue;
        }
        if (!out.isEmpty()) out += blank > 0 ? QLatin1String("\n\n") : QLatin1String("\n");
        blank = 0;
        out += line;
    }
    return out;
}

}  // namespace

QString html_to_text(QStringView html) {
    init_libxml();
    Reader r;
    r.deadline_ns = thread_cpu_ns() + kBudgetNs;
    const QByteArray bytes = strip_attributes(parser_input(html));
    if (!bytes.isEmpty()) {
        parse_utf8(bytes, text_handler(), &r, [&r](htmlParserCtxtPtr ctxt) { r.ctxt = ctxt; });
    }
    return tidy(r.out);
}

// The first <meta> that names a charset, read by the same parser over the head of the document
// (its bytes taken as Latin-1, so that any charset's ASCII shows through).
QByteArray html_declared_charset(QByteArrayView html) {
    init_libxml();
    struct Sniffer {
        QByteArray charset;
        htmlParserCtxtPtr ctxt = nullptr;
    } sniffer;
    // The declaration belongs at the top; the bound also keeps libxml2's attribute check short.
    const QByteArray bytes =
        QString::fromLatin1(html.first(std::min<qsizetype>(html.size(), 16 * 1024))).toUtf8();
    htmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.startElement = [](void* user, const xmlChar* name, const xmlChar** attributes) {
        auto& s = *static_cast<Sniffer*>(user);
        const QByteArrayView element(reinterpret_cast<const char*>(name));
        if (element == "body") {
            xmlStopParser(s.ctxt);
            return;
        }
        if (element != "meta" || !attributes) return;
        for (const xmlChar** a = attributes; a[0]; a += 2) {
            const QByteArray attribute = QByteArray(reinterpret_cast<const char*>(a[0])).toLower();
            const QByteArray value(a[1] ? reinterpret_cast<const char*>(a[1]) : "");
            QByteArray found;
            if (attribute == "charset") {
                found = value;
            } else if (attribute == "content") {
                const qsizetype at = value.toLower().indexOf("charset=");
                if (at >= 0) found = value.mid(at + 8).split(';').first();
            }
            found = found.trimmed();
            while (found.startsWith('"') || found.startsWith('\'')) found.remove(0, 1);
            while (found.endsWith('"') || found.endsWith('\'')) found.chop(1);
            if (!found.isEmpty()) {
                s.charset = found.trimmed().toLower();
                xmlStopParser(s.ctxt);
                return;
            }
        }
    };
    sax.serror = [](void*, xmlErrorPtr) {};
    sax.initialized = XML_SAX2_MAGIC;
    parse_utf8(bytes, sax, &sniffer, [&sniffer](htmlParserCtxtPtr ctxt) { sniffer.ctxt = ctxt; });
    return sniffer.charset;
}

}  // namespace qv::mail
