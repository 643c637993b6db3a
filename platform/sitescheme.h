#pragma once

#include <QString>

class QObject;
class QWebEngineProfile;

// Makes the built-in list's address scheme (kestrelmoor://) known to the web
// engine: a secure scheme with a host, whose pages web pages can neither embed
// nor open. Must run before the application object is made.
void registerSiteScheme();

// Serves the built-in list's pages from the site folder to the profile's web
// views from now on: the file an address names, or the engine's "not found" or
// "denied" for an address with no file or one that reaches outside the folder.
// The handler lives as long as `owner`.
void serveSiteScheme(QWebEngineProfile *profile, const QString &siteFolder, QObject *owner);
