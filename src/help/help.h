#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace qv {

class DesktopOpener;
class Feedback;

// The help sections as read from the help file: section 0 is the lead-in before the first marker
// line, sections 1 to 10 follow the markers.
using HelpSections = std::array<QString, 11>;

// Reads the lines of a help file into its sections. A marker line (one holding "<") starts the
// next section and the line after it always counts as text; a text line holding "</" is dropped
// together with the line after it. Lines of a section are joined without line breaks. Markers
// past the tenth keep their text in section 10, so nothing the file says is lost.
HelpSections parse_help(const QStringList& lines);

// The spoken help (F1) and the HTML manual, both read from beside the program.
class Help : public QObject {
    Q_OBJECT
  public:
    // program_dir: where the help file and the manual lie.
    Help(QString program_dir, Feedback& out, DesktopOpener& opener, QObject* parent);

    static QString fileName() { return QStringLiteral("help.txt"); }
    static QString manualName() { return QStringLiteral("はじめにお読みください.html"); }

    // Start-up: reads the help sections from the help file. A missing or unreadable file is said
    // aloud and shown; the program goes on without spoken help.
    void load_help();
    // F1: the help of the area that last had the focus, then the common help. Until the user
    // has moved anywhere (the program itself put the focus where it is) the general help, the
    // lead-in, comes first.
    void help_help_Click();
    // Tells whether the user has moved to an area yet; without it every F1 counts as later.
    void set_user_moved(std::function<bool()> moved) { user_moved_ = std::move(moved); }
    // Opens the HTML manual in the desktop's browser.
    void htmlhelp_Click();

  private:
    void say_missing(const QString& consequence);
    QString path_of(const QString& name) const;

    QString program_dir_;
    Feedback& out_;
    DesktopOpener& opener_;
    HelpSections help_text_;
    bool loaded_ = false;
    std::function<bool()> user_moved_;
};

}  // namespace qv
