#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

// Stands in for the desktop's handler of a URL scheme and records what it is asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    QStringList opened;

public slots:
    void Open(const QUrl &url) { opened << url.toString(); }
};
