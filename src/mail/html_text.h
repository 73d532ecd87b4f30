#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace qv::mail {

// The readable text of an HTML mail: no tags, no style sheets or scripts, entities decoded,
// blocks and line breaks kept as lines. Written out here (rather than QTextDocument) so that it
// runs on any thread without a GUI application and copes with any junk in linear time.
QString html_to_text(QStringView html);

// The charset an HTML document declares for itself in a <meta> tag, lower-case; empty if none.
QByteArray html_declared_charset(QByteArrayView html);

}  // namespace qv::mail
