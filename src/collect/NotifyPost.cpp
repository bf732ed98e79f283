#include "NotifyPost.h"

#include "NotifyTargets.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <cmath>
#include <memory>

namespace {

// Retry-After as seconds ("120", or "0.5" as some webhooks send it); an
// HTTP date is not taken.
std::optional<std::chrono::milliseconds> retryAfterOf(const QByteArray& header)
{
    bool ok = false;
    const double seconds = header.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 86'400 * 7)
        return std::nullopt;
    return std::chrono::milliseconds(qint64(std::ceil(seconds * 1000)));
}

} // namespace

QString NotifyAnswer::text() const
{
    if (status == 0)
        return QStringLiteral("no answer: %1").arg(reason);
    return reason.isEmpty() ? QString::number(status) : QStringLiteral("%1 %2").arg(status).arg(reason);
}

void postNotification(QNetworkAccessManager& network, const QUrl& url, const QByteArray& body,
                      const QByteArray& userAgent, std::chrono::milliseconds timeout, QObject* context,
                      std::function<void(const NotifyAnswer&)> done)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = network.post(request, body);
    // The answer's body is not wanted: read and let go, so a large one costs no memory.
    reply->setReadBufferSize(64 * 1024);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply] { reply->skip(reply->bytesAvailable()); });
    // The whole try, however slowly the bytes come.
    auto timedOut = std::make_shared<bool>(false);
    auto* clock = new QTimer(reply);
    clock->setSingleShot(true);
    QObject::connect(clock, &QTimer::timeout, reply, [reply, timedOut] {
        *timedOut = true;
        reply->abort();
    });
    clock->start(timeout);
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    QObject::connect(reply, &QNetworkReply::finished, context, [reply, timedOut, timeout, done = std::move(done)] {
        NotifyAnswer answer;
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (answer.status != 0) {
            answer.reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
            if (answer.status == 429 && reply->hasRawHeader("Retry-After"))
                answer.retryAfter = retryAfterOf(reply->rawHeader("Retry-After"));
        } else {
            // Qt names the whole address in some of its words; its secret parts stay hidden.
            const QUrl url = reply->url();
            answer.reason = *timedOut ? QStringLiteral("none within %1 s").arg(double(timeout.count()) / 1000)
                                      : reply->errorString()
                                            .replace(url.toString(QUrl::FullyEncoded), NotifyTargets::shown(url))
                                            .replace(url.toString(), NotifyTargets::shown(url));
        }
        done(answer);
    });
}

void postToEach(QNetworkAccessManager& network, const std::vector<QUrl>& urls, const QByteArray& body,
                const QByteArray& userAgent, std::chrono::milliseconds timeout, QObject* context,
                std::function<void(const std::vector<NotifyAnswer>&)> done)
{
    struct Waiting {
        std::vector<NotifyAnswer> answers;
        std::size_t left = 0;
        std::function<void(const std::vector<NotifyAnswer>&)> done;
    };
    auto waiting = std::make_shared<Waiting>(Waiting{std::vector<NotifyAnswer>(urls.size()), urls.size(), std::move(done)});
    if (urls.empty()) {
        waiting->done(waiting->answers);
        return;
    }
    for (std::size_t i = 0; i < urls.size(); ++i) {
        postNotification(network, urls[i], body, userAgent, timeout, context, [waiting, i](const NotifyAnswer& answer) {
            waiting->answers[i] = answer;
            if (--waiting->left == 0)
                waiting->done(waiting->answers);
        });
    }
}
