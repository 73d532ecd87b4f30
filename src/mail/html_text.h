#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace qv::mail {

// The readable text of an HTML mail, read with libxml2's HTML parser: no tags, no style sheets,
// scripts or head, entities decoded by the parser, blocks and <br> as line breaks, list items one
// a line after "・", table cells apart by a blank and rows a line each. Runs on any thread, fetches
// nothing, and takes linear time and bounded stack on any input (see html_text.cpp).
QString html_to_text(QStringView html);

// The processor time after which html_to_text() stops and keeps the text read so far: 0.7 s, and
// three times that in a build with AddressSanitizer, which runs everything about that much slower.
#if defined(__SANITIZE_ADDRESS__)
constexpr double kHtmlBudgetSeconds = 2.1;
#else
constexpr double kHtmlBudgetSeconds = 0.7;
#endif

// The charset an HTML document declares for itself in a <meta> tag, lower-case; empty if none.
QByteArray html_declared_charset(QByteArrayView html);

}  // namespace qv::mail
