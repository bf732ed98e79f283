#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

class QNetworkAccessManager;
class QObject;

// What one try of a notification came to.
struct NotifyAnswer {
    int status = 0;    // the HTTP status; 0 when none came
    QString reason;    // its words, or why none came
    std::optional<std::chrono::milliseconds> retryAfter; // of a 429, in whole seconds or fractions of one

    bool delivered() const { return status >= 200 && status < 300; }
    // "204 No Content", or "no answer: …".
    QString text() const;
};

// One try: a POST of body (JSON) to url on the network's own threads, given
// up after timeout. done is called once, on context's thread, unless context
// goes first. A redirect is an answer, not followed: a webhook has one address.
void postNotification(QNetworkAccessManager& network, const QUrl& url, const QByteArray& body,
                      const QByteArray& userAgent, std::chrono::milliseconds timeout, QObject* context,
                      std::function<void(const NotifyAnswer&)> done);

// One try to each address at once: done is called with every answer, in
// the order of urls, once the last has come.
void postToEach(QNetworkAccessManager& network, const std::vector<QUrl>& urls, const QByteArray& body,
                const QByteArray& userAgent, std::chrono::milliseconds timeout, QObject* context,
                std::function<void(const std::vector<NotifyAnswer>&)> done);
