#include "platform/net/http_response_reader.h"

#include <gtest/gtest.h>

namespace kelmora::platform {
namespace {

using State = HttpResponseReader::State;

// The body a reader takes from `bytes` fed in pieces of `piece` bytes, and the state it ends in.
std::pair<QByteArray, State> readInPieces(const QByteArray& bytes, qsizetype piece, bool closeAtEnd = false) {
    HttpResponseReader reader;
    QByteArray body;
    for (qsizetype i = 0; i < bytes.size(); i += piece) body += reader.feed(QByteArrayView(bytes).sliced(i, std::min(piece, bytes.size() - i)));
    if (closeAtEnd) reader.connectionClosed();
    return {body, reader.state()};
}

TEST(HttpResponseReader, EveryFramingGivesTheWholeBodyHoweverTheBytesArrive) {
    const QByteArray withLength = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 11\r\n\r\nxxxxx{\"a\":1}";
    const QByteArray chunked =
        "HTTP/1.1 200 OK\r\ntransfer-encoding: Chunked\r\n\r\n5\r\nxxxxx\r\n1;ext=1\r\n{\r\nA\r\n\"a\":12345}\r\n0\r\nX-T: 1\r\n\r\n";
    const QByteArray untilClose = "HTTP/1.0 200 OK\r\n\r\nxxxxx{}";
    for (qsizetype piece : {1, 3, 7, 4096}) {
        SCOPED_TRACE(piece);
        EXPECT_EQ(readInPieces(withLength, piece), std::make_pair(QByteArray("xxxxx{\"a\":1"), State::Complete));
        EXPECT_EQ(readInPieces(chunked, piece), std::make_pair(QByteArray("xxxxx{\"a\":12345}"), State::Complete));
        EXPECT_EQ(readInPieces(untilClose, piece).second, State::Body);
        EXPECT_EQ(readInPieces(untilClose, piece, true), std::make_pair(QByteArray("xxxxx{}"), State::Complete));
    }
}

TEST(HttpResponseReader, HeadStatusAndHeaders) {
    HttpResponseReader reader;
    reader.feed("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 500 Internal Server Error\r\nLocation:  /x \r\n"
                "Content-Length: 0\r\n\r\n");
    EXPECT_EQ(reader.state(), State::Complete);
    EXPECT_EQ(reader.status(), 500);
    EXPECT_EQ(reader.reason(), QStringLiteral("Internal Server Error"));
    EXPECT_EQ(reader.header("location"), QByteArray("/x"));
    EXPECT_EQ(reader.header("Missing"), QByteArray());
    EXPECT_EQ(reader.contentLength(), 0);

    HttpResponseReader noReason;
    noReason.feed("HTTP/1.1 204\r\n\r\n");
    EXPECT_EQ(noReason.state(), State::Complete);
    EXPECT_EQ(noReason.reason(), QString());
}

TEST(HttpResponseReader, WhatIsNotAWholeAnswerIsInvalid) {
    // Cut short: in the head, in a body of announced length, in a chunk.
    for (const QByteArray& cut : {QByteArray("HTTP/1.1 200 OK\r\nContent-"), QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc"),
                                  QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab")}) {
        EXPECT_EQ(readInPieces(cut, 5, true).second, State::Invalid) << cut.constData();
    }
    // Not HTTP, bad lengths, bad chunks, and a head that never ends.
    for (const QByteArray& bad :
         {QByteArray("SSH-2.0-OpenSSH\r\n\r\n"), QByteArray("HTTP/1.1 abc\r\n\r\n"),
          QByteArray("HTTP/1.1 200 OK\r\nContent-Length: -4\r\n\r\n"),
          QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"),
          QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabXY"),
          QByteArray("HTTP/1.1 200 OK\r\n") + QByteArray(70 * 1024, 'h')}) {
        EXPECT_EQ(readInPieces(bad, 1000).second, State::Invalid) << bad.left(60).constData();
    }
}

}  // namespace
}  // namespace kelmora::platform
