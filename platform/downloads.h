#pragma once

#include <QWidget>

#include <functional>

class QGridLayout;
class QWebEngineDownloadRequest;
class Messages;
class QWebEngineProfile;
class Shell;

// Files that pages offer for download: asks where to save each one (the
// Downloads folder by default), shows its progress, size and speed with a
// Cancel button, and lets a finished file be shown in its folder (or says that
// no file manager could show it). A cancelled or failed download leaves no
// partial file behind. A finished zip archive (a mod, as a rule) offers "Install".
class Downloads final : public QWidget
{
    Q_OBJECT

public:
    // Returns the chosen path for a suggested file, or an empty string to refuse.
    using SaveChooser = std::function<QString(QWidget *parent, const QString &suggestedPath)>;

    Downloads(QWebEngineProfile *profile, Shell &shell, Messages &messages, SaveChooser chooser,
              QWidget *parent = nullptr);

    // The standard "Save as" dialog.
    static QString askWhereToSave(QWidget *parent, const QString &suggestedPath);
    // Where the dialog opens: the user's download folder when it exists, else home.
    static QString defaultFolder();

Q_SIGNALS:
    // For tests and the status bar: a download ended (finished, cancelled or failed).
    void downloadEnded(const QString &path, bool complete);
    // "Install" was pressed on a finished zip archive, downloaded from `page`.
    void installRequested(const QString &path, const QString &page);

private:
    void start(QWebEngineDownloadRequest *request);

    Shell &m_shell;
    Messages &m_messages;
    SaveChooser m_chooser;
    QGridLayout *m_rows = nullptr;
};
