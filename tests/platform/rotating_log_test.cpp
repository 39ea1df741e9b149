#include "platform/rotating_log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kelmora::platform;

namespace {

const QString kStamp = QStringLiteral("2024-03-03 17:05:09.042 ");

class RotatingLogFileTest : public ::testing::Test {
protected:
    QString path(const QString& suffix = QString()) const { return dir_.filePath(kLogFileName + suffix); }

    QByteArray contents(const QString& suffix = QString()) const {
        QFile file(path(suffix));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    FixedClock clock_{QDateTime(QDate(2024, 3, 3), QTime(17, 5, 9, 42))};
    QTemporaryDir dir_;
};

TEST_F(RotatingLogFileTest, EachEntryIsOneTimestampedLineAppendedAcrossReopens) {
    {
        RotatingLogFile log(path(), clock_);
        log.append(QStringLiteral("Servidor sin respuesta"));
        log.append(QStringLiteral("Comanda Mesa 4\r\nen Cocina\n\nimpresa\n"));
    }
    RotatingLogFile again(path(), clock_);
    again.append(QStringLiteral("a\rb\x0B" "c\x0C" "d") + QChar(0x2028) + QStringLiteral("e"));
    EXPECT_EQ(contents(), (kStamp + QStringLiteral("Servidor sin respuesta\n") + kStamp +
                           QStringLiteral("Comanda Mesa 4 | en Cocina | impresa\n") + kStamp +
                           QStringLiteral("a | b | c | d | e\n"))
                              .toUtf8());
}

TEST_F(RotatingLogFileTest, RotatesBeforePassingItsSizeAndKeepsThreeOldFiles) {
    // 24 bytes of time, 25 of text and the line end: two lines fill a file of 100 bytes.
    RotatingLogFile log(path(), clock_, {}, 100);
    const auto line = [](int n) { return QStringLiteral("entrada %1").arg(n, 2, 10, QChar(u'0')).leftJustified(25, u'.'); };
    for (int n = 1; n <= 12; ++n) log.append(line(n));
    const auto twoLines = [&](int first) {
        return (kStamp + line(first) + u'\n' + kStamp + line(first + 1) + u'\n').toUtf8();
    };
    EXPECT_EQ(contents(), twoLines(11));
    EXPECT_EQ(contents(QStringLiteral(".1")), twoLines(9));
    EXPECT_EQ(contents(QStringLiteral(".2")), twoLines(7));
    EXPECT_EQ(contents(QStringLiteral(".3")), twoLines(5));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral(".4"))));

    // A line longer than the bound goes in alone rather than being lost.
    const QString huge(200, u'x');
    log.append(huge);
    EXPECT_EQ(contents(), (kStamp + huge + u'\n').toUtf8());
    EXPECT_EQ(contents(QStringLiteral(".1")), twoLines(11));
    log.append(line(13));
    EXPECT_EQ(contents(), (kStamp + line(13) + u'\n').toUtf8());
}

TEST_F(RotatingLogFileTest, AFileLeftByAnEarlierRunCountsTowardsTheMebibyte) {
    QFile earlier(path());
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    const QByteArray almostFull(RotatingLogFile::kDefaultMaxBytes - 30, 'a');
    earlier.write(almostFull);
    earlier.close();

    RotatingLogFile log(path(), clock_);
    log.append(QStringLiteral("corta"));  // 30 bytes: exactly full
    EXPECT_EQ(contents(), almostFull + (kStamp + QStringLiteral("corta\n")).toUtf8());
    log.append(QStringLiteral("otra"));
    EXPECT_EQ(contents(), (kStamp + QStringLiteral("otra\n")).toUtf8());
    EXPECT_EQ(QFileInfo(path(QStringLiteral(".1"))).size(), RotatingLogFile::kDefaultMaxBytes);
}

TEST_F(RotatingLogFileTest, AFolderThatCannotBeWrittenIsToldOnceUntilTheLogWorksAgain) {
    // A plain file where the folder should be: no write can succeed, not even as root.
    const QString folder = dir_.filePath(QStringLiteral("programa"));
    const auto blockFolder = [&] {
        QFile blocker(folder);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    };
    blockFolder();
    QStringList problems;
    const QString file = QDir(folder).filePath(kLogFileName);
    RotatingLogFile log(file, clock_, [&](const QString& problem) { problems.append(problem); });
    for (int n = 0; n < 5; ++n) log.append(QStringLiteral("Comanda impresa en Cocina"));
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0].contains(QDir::toNativeSeparators(file))) << problems[0].toStdString();

    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_TRUE(QDir().mkdir(folder));
    log.append(QStringLiteral("de vuelta"));
    EXPECT_EQ(problems.size(), 1);
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), (kStamp + QStringLiteral("de vuelta\n")).toUtf8());
    written.close();

    ASSERT_TRUE(QDir(folder).removeRecursively());
    blockFolder();
    log.append(QStringLiteral("otra vez"));
    log.append(QStringLiteral("y otra"));
    EXPECT_EQ(problems.size(), 2);
}

}  // namespace
