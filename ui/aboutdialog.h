#pragma once

#include <QDialog>

class QLabel;
class Messages;
class Shell;

// The about box: the publisher, where to get help, and a link that opens the
// publisher's site in the user's default browser (or, for a site of the
// built-in list, which no browser can open, in the program), and the program's
// version. No title bar; the "Return" picture (or Escape) closes it. Modal to
// the window it belongs to; deletes itself when closed.
class AboutDialog final : public QDialog
{
    Q_OBJECT

public:
    AboutDialog(Shell &shell, Messages &messages, const QString &siteAddress, QWidget *parent = nullptr);

    // The address the link opens: the site with one "/" at its end.
    QString linkTarget() const;

    // The link: opens the site in the default browser, and the box stays open;
    // a site of the built-in list is asked for in the program, and the box
    // closes to show it.
    void openSite();

    // The window's background, on which the labels and the "Return" picture are drawn.
    static QColor backgroundColour() { return QColor(198, 199, 123); }

Q_SIGNALS:
    // The site is one of the built-in list's pages: the program shows it.
    void openInProgramRequested(const QString &url);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Shell &m_shell;
    Messages &m_messages;
    QString m_site;
    QLabel *m_siteLink = nullptr;
};
