#pragma once

#include <QDate>
#include <QString>

class SettingsStore;

// Names in the settings store.
namespace Options {
inline const QString kApplication = QStringLiteral("DorOdor");
inline const QString kSection = QStringLiteral("Options");
inline const QString kShowRemoteControl = QStringLiteral("ShowFav");
inline const QString kStartFullScreen = QStringLiteral("FullScreen");
inline const QString kStartMaximized = QStringLiteral("Maximized");
inline const QString kRemoteControlOnly = QStringLiteral("RCOnly");
inline const QString kUseDefaultBrowser = QStringLiteral("DefBrw");
inline const QString kUpdateDate = QStringLiteral("update");
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

// The text of the window's label that tells a list's update date: "updated: " and the date.
QString updatedLabelText(const QString &date);

// The update date of a list: its stored stamp, or today's date when it was never updated.
QString updateDate(const SettingsStore &store, const QString &settingsName, const QDate &today);
