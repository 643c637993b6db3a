#pragma once

#include <QDate>
#include <QString>

class SettingsStore;

// Names in the settings store.
namespace Options {
inline const QString kApplication = QStringLiteral("DorOdor");
inline const QString kSection = QStringLiteral("Options");
inline const QString kShowFav = QStringLiteral("ShowFav");
inline const QString kFullScreen = QStringLiteral("FullScreen");
inline const QString kMaximized = QStringLiteral("Maximized");
inline const QString kRcOnly = QStringLiteral("RCOnly");
inline const QString kDefBrw = QStringLiteral("DefBrw");
inline const QString kUpdate = QStringLiteral("update");
// The list server the user chose in the options; empty or absent: the built-in list.
inline const QString kListServer = QStringLiteral("ListServer");
// The width the user gave the tree column, in twips.
inline const QString kTreeWidth = QStringLiteral("TreeWidth");

// A start-up switch is on when its text reads as the number 1 ("1", " 1", "1.0").
bool isOn(const SettingsStore &store, const QString &key);
// The remote control's browser choice: on when the text reads as a number other than 0.
bool isNonZero(const SettingsStore &store, const QString &key);
} // namespace Options

// Dates as the program writes them: mm-dd-yyyy.
QString dateStamp(const QDate &date);

// The update date of a list: its stored stamp, or today's date when it was never updated.
QString updateDate(const SettingsStore &store, const QString &settingsName, const QDate &today);
