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

// The charset an HTML document declares for itself in a <meta> tag, lower-case; empty if none.
QByteArray html_declared_charset(QByteArrayView html);

}  // namespace qv::mail
