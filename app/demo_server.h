#pragma once

#include <QHttpServer>
#include <QString>
#include <QStringList>

#include <functional>

namespace kelmora::app {

// A stand-in for the central server on a free loopback port: it answers the polls of one branch
// with a round of prepared answers, one per poll, then with answers that hold nothing new.
class DemoServer {
public:
    // `answers` are JSON payloads; each goes out after five leading characters.
    DemoServer(QString branchCode, QStringList answers);

    // Listens on 127.0.0.1; false when no port could be had.
    bool listen();
    QString url() const;

    // Called once, at the first poll after the round: the service has handled every answer, as it
    // polls again only once the previous answer is done.
    std::function<void()> onRoundDone;

private:
    QString answerPoll(const QString& path, const QString& code);

    QHttpServer http_;
    quint16 port_ = 0;
    QString branchCode_;
    QStringList answers_;
    int served_ = 0;
    bool roundDone_ = false;
};

}  // namespace kelmora::app
