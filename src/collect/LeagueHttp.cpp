#include "LeagueHttp.h"

#include "EventStream.h"
#include "HttpDoor.h"
#include "LeagueSite.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>

LeagueHttp::LeagueHttp(const LeagueSite& site, HttpDoor& door, EventStream& events, QObject* parent)
    : QAbstractHttpServer(parent)
    , m_site(site)
    , m_door(door)
    , m_events(events)
{
    bind(&door);
}

bool LeagueHttp::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    using Method = QHttpServerRequest::Method;
    const bool head = request.method() == Method::Head;
    const QByteArray method = request.method() == Method::Get ? "GET" : head ? "HEAD" : "OTHER";
    const LeagueAnswer answer = m_site.answer(method, request.url().path(QUrl::FullyEncoded).toUtf8());

    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(QHttpServerResponder::StatusCode(answer.status));
    responder.writeHeaders({{"Content-Type", answer.type},
                            {"Cache-Control", "no-store"},
                            {"X-Content-Type-Options", "nosniff"},
                            {"Referrer-Policy", "no-referrer"},
                            {"Content-Security-Policy",
                             "default-src 'none'; script-src 'self'; connect-src 'self'; style-src 'unsafe-inline'; "
                             "base-uri 'none'; form-action 'none'; frame-ancestors 'none'"}});
    if (answer.status == 405)
        responder.writeHeader("Allow", "GET, HEAD");
    if (answer.stream && !head) {
        responder.writeBody(answer.body);
        m_door.streams(socket);
        m_events.listen(socket);
        return true;
    }
    responder.writeHeader("Content-Length", QByteArray::number(answer.stream ? 0 : answer.body.size()));
    responder.writeBody(head || answer.stream ? QByteArray() : answer.body);
    m_door.answered(socket);
    if (m_door.ending(socket) || request.value("Connection").compare("close", Qt::CaseInsensitive) == 0)
        socket->disconnectFromHost();
    return true;
}

void LeagueHttp::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
    m_door.answered(socket);
    if (m_door.ending(socket))
        socket->disconnectFromHost();
}
