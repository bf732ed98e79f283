#pragma once

#include <QAbstractHttpServer>

class EventStream;
class HttpDoor;
class LeagueSite;

// The only code that meets Qt's HTTP server module, whose interface is
// still changing: requests in, the site's answers out, and the streams of
// events handed on to their listeners.
class LeagueHttp : public QAbstractHttpServer
{
    Q_OBJECT

public:
    // Takes door, listening, as its own.
    LeagueHttp(const LeagueSite& site, HttpDoor& door, EventStream& events, QObject* parent = nullptr);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    const LeagueSite& m_site;
    HttpDoor& m_door;
    EventStream& m_events;
};
