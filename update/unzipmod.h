#pragma once

#include "archiveextractor.h"

#include <QString>
#include <QStringList>

#include <functional>

// The bridge between the list update and the extraction: the routines that run
// it and the callbacks through which it reports. Text output collects in
// uz_log(), a listing in uz_listing_text(); both stay until the next run.
class unzipmod final : private ExtractionCallbacks
{
public:
    enum class Answer { Yes, No, Cancel };
    // A modal Yes/No/Cancel question without an icon. With none set, every
    // question is answered No, so no file is replaced without being asked.
    using Question = std::function<Answer(const QString &title, const QString &text)>;

    // Slots of the include and exclude name lists.
    static constexpr int kNameSlots = 100;

    explicit unzipmod(ExtractionLimits limits = {});

    void setQuestion(Question question) { m_question = std::move(question); }
    void setLimits(const ExtractionLimits &limits) { m_extractor.setLimits(limits); }
    // Top-level names (wildcards allowed) that no archive may write.
    void setProtectedNames(QStringList patterns) { m_protectedNames = std::move(patterns); }

    // Unpacks every entry of the archive `filename` below `destination`, re-creating
    // its folders and replacing files of the same name without asking, then deletes
    // the archive, also when it could not be unpacked (no zip at all, for one).
    // The result says whether every entry landed; on failure the destination keeps
    // its old files.
    ExtractionResult unzip_data(const QString &filename, const QString &destination);

    // Runs the extraction with the given switches (0 off, anything else on). The
    // first includeCount and excludeCount non-null slots of uz_include() and
    // uz_exclude() are name patterns; no include pattern takes every entry.
    ExtractionResult unzip_run(const QString &zipPath, const QString &extractDir, qint16 promptOverwrite,
                               qint16 overwrite, qint16 listOnly, qint16 keepPaths, qint32 includeCount,
                               qint32 excludeCount);

    // Text output: the buffer's bytes up to the first NUL, at most count of them,
    // appended to the log. Returns 0.
    qint32 uz_print(QByteArrayView buffer, qint32 count);
    // A file to be written exists: asks "Overwrite <name>?" under "Packwell - File
    // already exists". Returns 102 for Yes, 100 for No, 104 for Cancel (replace none).
    qint32 uz_replace(QByteArrayView name);
    // An entry is encrypted: supplies no password (the lists come unencrypted) and
    // returns 1.
    qint32 uz_password(QByteArray &password, qint32 size, QByteArrayView prompt, QByteArrayView name);
    // One listing line of 80 characters: name in columns 1-50, size right-aligned in
    // 51-57, date d/mm/yy in 60-67, time h:mm in 70-74; a new listing starts with a
    // header line. Each line ends with uz_newline().
    void uz_listing(const ListingEntry &entry);

    const QString &uz_log() const { return m_log; }
    const QString &uz_listing_text() const { return m_listingText; }
    qint32 uz_listing_count() const { return m_listingCount; }
    // A listing that follows starts afresh.
    void resetListing() { m_listingCount = 0; }
    const QString &uz_newline() const { return m_newline; }
    void setNewline(const QString &newline) { m_newline = newline; }
    QStringList &uz_include() { return m_include; }
    QStringList &uz_exclude() { return m_exclude; }

private:
    void print(QByteArrayView text) override;
    int replace(QByteArrayView name) override;
    QByteArray password(QByteArrayView prompt, QByteArrayView name) override;
    void listing(const ListingEntry &entry) override;

    ArchiveExtractor m_extractor;
    QStringList m_protectedNames;
    Question m_question;
    QString m_newline = QStringLiteral("\r\n");
    QString m_log;
    QString m_listingText;
    qint32 m_listingCount = 0;
    QStringList m_include;
    QStringList m_exclude;
};
